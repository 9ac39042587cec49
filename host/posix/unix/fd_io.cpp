// host/posix/unix/fd_io.cpp: whole writes to file descriptors, folders
// listed from their start, and their mounts.
//
// No state.
#include "host/posix/unix/fd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
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

DIR* list_from_start(int folder)
{
    const int own = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0)
        return nullptr;
    DIR* listing = fdopendir(own);
    if (listing == nullptr)
        close(own);
    return listing;
}

// Whether the entry `a_name` of `a` and `b_name` of `b` ("" for the open
// entry itself) belong to the same mount.
static bool same_mount(int a, const char* a_name, int b, const char* b_name)
{
    struct statx first;
    struct statx second;
    const int flags = AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW;
    if (statx(a, a_name, flags, STATX_MNT_ID, &first) == 0 && statx(b, b_name, flags, STATX_MNT_ID, &second) == 0) {
        if (first.stx_dev_major != second.stx_dev_major || first.stx_dev_minor != second.stx_dev_minor)
            return false;
        return (first.stx_mask & second.stx_mask & STATX_MNT_ID) == 0 || first.stx_mnt_id == second.stx_mnt_id;
    }
    // A kernel without statx: the devices alone.
    struct stat first_info;
    struct stat second_info;
    return errno == ENOSYS && fstatat(a, a_name, &first_info, flags) == 0 &&
           fstatat(b, b_name, &second_info, flags) == 0 && first_info.st_dev == second_info.st_dev;
}

bool on_same_mount(int a, int b)
{
    return same_mount(a, "", b, "");
}

bool entry_on_folder_mount(int folder, const char* name)
{
    return same_mount(folder, name, folder, "");
}
