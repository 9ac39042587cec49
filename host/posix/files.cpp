// host/posix/files.cpp: files named by Windows paths, opened on the host.
//
// Every file is opened through the descriptor of its folder (openat), so
// that what was checked is what gets opened; a file is written as a new
// file beside its entry (host/posix/unix/new_files.h).
//
// State (the batch, from begin_folder_batch to end_folder_batch):
//   in_batch          a batch is open.
//   batch_folder      its folder, the Windows path as given.
//   batch_descriptor  that folder, opened at the batch's first file and
//                     kept until its end; -1 before, and while it cannot
//                     be opened (each file then tries again).
#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/portable/open_mode.h"
#include "host/posix/codepage.h"
#include "host/posix/unix/fd_io.h"
#include "host/posix/unix/new_files.h"
#include "host/posix/wine/path_map.h"
#include "shared/compose.h"

static bool in_batch;
static char batch_folder[HOST_PATH_SIZE];
static int batch_descriptor = -1;

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
// stands, or written as a new file beside it (host/posix/unix/new_files.h),
// `kept` and `look` as create_new_file takes them.
static FILE* open_in_folder(int folder, const char* name, OpenMode mode, FolderKept kept, EntryLook look)
{
    if (mode == OPEN_TO_READ)
        return open_for_reading(folder, name);
    return create_new_file(folder, name, mode, kept, look);
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

FILE* open_file(const char* path, const char* mode_name)
{
    char host_path[HOST_PATH_SIZE];
    const OpenMode mode = open_mode_of(mode_name);
    if (mode == NO_OPEN_MODE) {
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
    FILE* stream = open_in_folder(folder, name, mode, FOLDER_COPIED, ENTRY_NOT_LOOKED_AT);
    close(folder);
    return stream;
}

// The folder `folder_path` (a Windows path), opened with links followed:
// the batch's descriptor, which `*owned` then says the caller must not
// close, or a new one. -1 when it cannot be opened.
static int open_base_folder(const char* folder_path, bool* owned)
{
    *owned = false;
    const bool batched = in_batch && strcmp(folder_path, batch_folder) == 0;
    if (batched && batch_descriptor >= 0)
        return batch_descriptor;
    char host_folder[HOST_PATH_SIZE];
    if (!map_path(folder_path, host_folder))
        return -1;
    const int folder = open(host_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    *owned = !batched && folder >= 0;
    if (batched && folder >= 0) {
        batch_descriptor = folder;
        remember_folders(folder);
        reclaim_leftover_files(folder);
    }
    return folder;
}

FILE* open_file_in(const char* folder_path, const char* name, const char* mode_name)
{
    char windows_path[HOST_PATH_SIZE];
    char names[HOST_PATH_SIZE];
    const OpenMode mode = open_mode_of(mode_name);
    if (mode == NO_OPEN_MODE || !compose(windows_path, sizeof windows_path, {folder_path, name})) {
        errno = EINVAL;
        return nullptr;
    }
    // The file must lie below the folder: the names that follow it are
    // walked one folder at a time, never through a link nor into another
    // mount, each matched by case in the folder it is in.
    if (!names_below_folder(windows_path, strlen(folder_path), names)) {
        errno = ENOENT;
        return nullptr;
    }
    bool owned = false;
    int folder = open_base_folder(folder_path, &owned);
    char found[HOST_NAME_SIZE];
    bool absent = false;
    char* rest = names;
    for (char* slash; folder >= 0 && (slash = strchr(rest, '/')) != nullptr; rest = slash + 1) {
        *slash = '\0';
        int inner = -1;
        if (match_entry_name(folder, rest, found, &absent))
            inner = openat(folder, found, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inner >= 0 && !on_same_mount(folder, inner)) {
            close(inner);
            inner = -1;
        }
        if (owned)
            close(folder);
        folder = inner;
        owned = true;
    }
    if (folder < 0)
        return nullptr;
    FILE* stream = match_entry_name(folder, rest, found, &absent)
                       ? open_in_folder(folder, found, mode, owned ? FOLDER_COPIED : FOLDER_KEPT_OPEN_BY_CALLER,
                                        absent ? ENTRY_SEEN_ABSENT : ENTRY_NOT_LOOKED_AT)
                       : nullptr;
    if (owned)
        close(folder);
    return stream;
}

void begin_folder_batch(const char* folder)
{
    end_folder_batch();
    in_batch = compose(batch_folder, sizeof batch_folder, {folder});
}

void end_folder_batch()
{
    if (batch_descriptor >= 0) {
        forget_folders();
        close(batch_descriptor);
    }
    batch_descriptor = -1;
    in_batch = false;
}

bool is_path_convertible(const char* path)
{
    char host_path[HOST_PATH_SIZE];
    return cp932_to_utf8(path, strlen(path), host_path, sizeof host_path, REFUSE_UNCONVERTIBLE) >= 0;
}
