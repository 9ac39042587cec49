// host/posix/fd_io.cpp: whole writes to file descriptors.
//
// No state.
#include "host/posix/fd_io.h"

#include <unistd.h>

#include <cerrno>

bool write_all(int fd, const char* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t written = write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}
