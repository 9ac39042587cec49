// host/posix/files.cpp: files named by Windows paths, opened on the host.
// No state.
//
// Every file is opened through the descriptor of its folder (openat), so
// that what was checked is what gets opened; a file is written as a new
// file beside its entry (host/posix/new_files.h).
#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/posix/codepage.h"
#include "host/posix/fd_io.h"
#include "host/posix/new_files.h"
#include "host/posix/path_map.h"
#include "shared/buffers.h"

// Opens the entry `name` of the open folder `folder` for reading as a
// regular file, without blocking: O_NONBLOCK lets a FIFO or a device open
// at once, and fstat then turns away everything that is not a regular file
// before a byte is read. Returns the stream or nullptr.
static FILE* open_for_reading(int folder, const char* name)
{
    const int fd = openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr)
        close(fd);
    return stream;
}

// The file `name` of the open folder `folder` in `mode`: read where it
// stands, or written as a new file beside it (host/posix/new_files.h).
static FILE* open_in_folder(int folder, const char* name, const char* mode)
{
    if (strcmp(mode, "rb") == 0)
        return open_for_reading(folder, name);
    return create_new_file(folder, name, strcmp(mode, "w") == 0 ? NEW_FILE_TEXT : NEW_FILE_BINARY);
}

static bool is_known_mode(const char* mode)
{
    return strcmp(mode, "rb") == 0 || strcmp(mode, "wb") == 0 || strcmp(mode, "w") == 0;
}

// Splits the host path at its last slash: the folder is opened (links
// followed), the last name is left in `*name`. Returns the folder's
// descriptor or -1.
static int open_parent(char* host_path, const char** name)
{
    char* slash = strrchr(host_path, '/');
    if (slash == nullptr) {
        *name = host_path;
        return open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    *name = slash[1] != '\0' ? slash + 1 : ".";
    if (slash == host_path)
        return open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    *slash = '\0';
    const int folder = open(host_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    *slash = '/';
    return folder;
}

FILE* open_file(const char* path, const char* mode)
{
    char host_path[HOST_PATH_SIZE];
    if (!is_known_mode(mode)) {
        errno = EINVAL;
        return nullptr;
    }
    if (!map_path(path, host_path)) {
        errno = ENOENT;
        return nullptr;
    }
    const char* name;
    const int folder = open_parent(host_path, &name);
    if (folder < 0)
        return nullptr;
    FILE* stream = open_in_folder(folder, name, mode);
    close(folder);
    return stream;
}

FILE* open_file_in(const char* folder_path, const char* name, const char* mode)
{
    char windows_path[HOST_PATH_SIZE];
    char host_folder[HOST_PATH_SIZE];
    char host_path[HOST_PATH_SIZE];
    if (!is_known_mode(mode) || !compose(windows_path, sizeof windows_path, {folder_path, name})) {
        errno = EINVAL;
        return nullptr;
    }
    if (!map_path(folder_path, host_folder) || !map_path(windows_path, host_path)) {
        errno = ENOENT;
        return nullptr;
    }
    // The file must lie below the folder; what follows the folder's own
    // path is then walked one folder at a time, never through a link nor
    // into another mount.
    const size_t host_folder_length = strlen(host_folder);
    const bool at_root = strcmp(host_folder, "/") == 0;
    if (strncmp(host_path, host_folder, host_folder_length) != 0 ||
        (!at_root && host_path[host_folder_length] != '/')) {
        errno = EACCES;
        return nullptr;
    }
    int folder = open(host_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    char* rest = host_path + host_folder_length + (at_root ? 0 : 1);
    for (char* slash; folder >= 0 && (slash = strchr(rest, '/')) != nullptr; rest = slash + 1) {
        *slash = '\0';
        int inner = openat(folder, rest, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inner >= 0 && !on_same_mount(folder, inner)) {
            close(inner);
            inner = -1;
        }
        close(folder);
        folder = inner;
    }
    if (folder < 0)
        return nullptr;
    FILE* stream = open_in_folder(folder, *rest != '\0' ? rest : ".", mode);
    close(folder);
    return stream;
}

bool finish_file(FILE* file)
{
    return finish_new_file(file);
}

void discard_file(FILE* file)
{
    discard_new_file(file);
}

bool is_path_convertible(const char* path)
{
    char host_path[HOST_PATH_SIZE];
    return cp932_to_utf8(path, strlen(path), host_path, sizeof host_path, true) >= 0;
}
