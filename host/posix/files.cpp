// host/posix/files.cpp: files named by Windows paths, opened on the host.
//
// No state: each stream of the text mode carries its file descriptor as its
// fopencookie cookie.
#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/posix/fd_io.h"
#include "host/posix/path_map.h"

// Bytes of CR LF text a text-mode write composes before handing them on.
constexpr size_t TEXT_CHUNK_SIZE = 1024;

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

FILE* open_file(const char* path, const char* mode)
{
    const bool reading = strcmp(mode, "rb") == 0;
    const bool text = strcmp(mode, "w") == 0;
    if (!reading && !text && strcmp(mode, "wb") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    char host_path[HOST_PATH_SIZE];
    if (!map_path(path, host_path)) {
        errno = ENOENT;
        return nullptr;
    }

    // Windows opens no folder as a file, for reading either.
    const int flags = reading ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
    const int fd = open(host_path, flags | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return nullptr;
    }

    FILE* stream = nullptr;
    if (text) {
        const cookie_io_functions_t functions = {nullptr, write_text, nullptr, close_text};
        stream = fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), "w", functions);
    } else {
        stream = fdopen(fd, mode);
    }
    if (stream == nullptr)
        close(fd);
    return stream;
}
