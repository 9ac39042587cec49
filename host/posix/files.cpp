// host/posix/files.cpp: files named by Windows paths, opened on the host.
//
// No state: each stream of the text mode carries its file descriptor as its
// fopencookie cookie.
//
// Every file is opened through the descriptor of its folder (openat), so
// that what was checked is what gets opened.
#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/posix/codepage.h"
#include "host/posix/fd_io.h"
#include "host/posix/path_map.h"
#include "shared/buffers.h"

// Bytes of CR LF text a text-mode write composes before handing them on.
constexpr size_t TEXT_CHUNK_SIZE = 1024;
// Opens of a file to be written: each may lose the entry that the one
// before found, when something removes it in between.
constexpr int CREATE_TRIES = 3;

static int cookie_fd(void* cookie)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(cookie));
}

// The stream's buffer goes to the file with each line feed made CR LF, as
// the Windows C runtime writes text files. Returns 0 on an error, as
// fopencookie asks; the stream then reports it through ferror and fclose.
static ssize_t write_text(void* cookie, const char* bytes, size_t count)
{
    char chunk[TEXT_CHUNK_SIZE];
    size_t used = 0;
    for (size_t i = 0; i < count; i++) {
        // Room for one CR LF pair before the chunk goes out.
        if (used + 2 > sizeof chunk) {
            if (!write_all(cookie_fd(cookie), chunk, used))
                return 0;
            used = 0;
        }
        if (bytes[i] == '\n')
            chunk[used++] = '\r';
        chunk[used++] = bytes[i];
    }
    if (!write_all(cookie_fd(cookie), chunk, used))
        return 0;
    return static_cast<ssize_t>(count);
}

static int close_text(void* cookie)
{
    return close(cookie_fd(cookie));
}

// Opens the entry `name` of the open folder `folder` as a regular file,
// without blocking: O_NONBLOCK lets a FIFO or a device open at once, and
// fstat then turns away everything that is not a regular file before a byte
// is read or written. Writing never follows a link at `name`: the link is
// removed and a new file made in its place; nor does it write into a file
// of another mount (a file bind-mounted there). A file that this call
// creates is empty already; one that existed is emptied only once it is
// known to be a regular file of the folder's mount.
// Returns the descriptor, in blocking mode again, or -1.
static int open_regular(int folder, const char* name, bool reading)
{
    const int common = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = -1;
    bool created = false;
    if (reading) {
        fd = openat(folder, name, O_RDONLY | common);
    } else {
        // O_EXCL takes a link at `name` for an entry that exists, wherever
        // it leads; the open without O_CREAT then finds it a link (ELOOP).
        // An entry that goes between the two opens is created afresh.
        for (int attempt = 0; attempt < CREATE_TRIES && fd < 0; attempt++) {
            fd = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | common, 0666);
            created = fd >= 0;
            if (fd < 0 && errno == EEXIST)
                fd = openat(folder, name, O_WRONLY | O_NOFOLLOW | common);
            if (fd < 0 && errno != ENOENT)
                break;
        }
        if (fd < 0 && errno == ELOOP) {
            if (unlinkat(folder, name, 0) != 0)
                return -1;
            fd = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | common, 0666);
            created = fd >= 0;
        }
    }
    if (fd < 0)
        return -1;
    struct stat info;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        (!reading && (!on_same_mount(folder, fd) || (!created && ftruncate(fd, 0) != 0))) ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

// The stream of an open descriptor: the text mode through fopencookie,
// the others through fdopen. Closes `fd` when no stream can be made.
//
// The binary writer is unbuffered: its one caller, the extraction, hands
// it whole buffers of its own, and each then goes out in one write. With
// the stream's buffer of one block (st_blksize, 4 KiB mostly) in between,
// stdio would fill that buffer from each piece first and write it and the
// rest apart: two writes for every buffer but the first.
static FILE* stream_of(int fd, const char* mode)
{
    FILE* stream = nullptr;
    if (strcmp(mode, "w") == 0) {
        const cookie_io_functions_t functions = {nullptr, write_text, nullptr, close_text};
        stream = fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), "w", functions);
    } else {
        stream = fdopen(fd, mode);
        if (stream != nullptr && strcmp(mode, "wb") == 0 && setvbuf(stream, nullptr, _IONBF, 0) != 0) {
            fclose(stream);
            return nullptr;
        }
    }
    if (stream == nullptr)
        close(fd);
    return stream;
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
    const int fd = open_regular(folder, name, strcmp(mode, "rb") == 0);
    close(folder);
    return fd < 0 ? nullptr : stream_of(fd, mode);
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
    const int fd = open_regular(folder, *rest != '\0' ? rest : ".", strcmp(mode, "rb") == 0);
    close(folder);
    return fd < 0 ? nullptr : stream_of(fd, mode);
}

bool is_path_convertible(const char* path)
{
    char host_path[HOST_PATH_SIZE];
    return cp932_to_utf8(path, strlen(path), host_path, sizeof host_path, true) >= 0;
}
