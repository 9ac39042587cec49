// host/posix/packer_console.cpp: the packer's standard streams on POSIX,
// each open before the archive is. No state.
#include "host/packer_console.h"

#include <fcntl.h>

#include <cerrno>

void prepare_standard_streams()
{
    // A standard stream that was closed (`2>&-`) gets /dev/null: otherwise
    // the archive, opened later, could take its number, and the lines
    // meant for standard error would be written into the archive.
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR) != fd)
            break;
}
