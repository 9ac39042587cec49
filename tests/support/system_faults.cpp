// tests/support/system_faults.cpp: preloaded (LD_PRELOAD) into a run of the
// installer, makes this system fail it as other systems and other endings
// would.
//
// REFUSE_UNNAMED makes it look like a system where a new file cannot be
// made unnamed, or cannot be linked by its descriptor, so that the ways
// the writer falls back to run too. It says what is refused:
//   files        open with O_TMPFILE, as a file system without it refuses it
//   descriptor   linkat of a descriptor (AT_EMPTY_PATH), as a kernel refuses
//                it to a process without the privilege
//   links        that, and linkat through /proc, as where /proc is missing
// Each refusal appends a line to the file REFUSE_UNNAMED_RECORD, if given.
//
// SIGNAL_AMID_WRITE, a signal's number, ends the run by that signal in the
// middle of its first write to a regular file that is not standard output
// or standard error: half of the bytes are written, then the signal is
// raised (SIGKILL, a crash's SIGSEGV, or one the program catches).
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using OpenAt = int (*)(int, const char*, int, ...);
using LinkAt = int (*)(int, const char*, int, const char*, int);
using FileWrite = size_t (*)(const void*, size_t, size_t, FILE*);

bool signalled;

bool refuses(const char* what)
{
    const char* refused = getenv("REFUSE_UNNAMED");
    return refused != nullptr && strcmp(refused, what) == 0;
}

OpenAt real_openat()
{
    return reinterpret_cast<OpenAt>(dlsym(RTLD_NEXT, "openat"));
}

// Records the refusal `line` and fails with `error`.
int refuse(const char* line, int error)
{
    const char* record = getenv("REFUSE_UNNAMED_RECORD");
    if (record != nullptr) {
        const int fd = real_openat()(AT_FDCWD, record, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            (void)!write(fd, line, strlen(line));
            close(fd);
        }
    }
    errno = error;
    return -1;
}

}  // namespace

extern "C" int openat(int folder, const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    if ((flags & O_TMPFILE) == O_TMPFILE && refuses("files"))
        return refuse("openat O_TMPFILE\n", EOPNOTSUPP);
    return real_openat()(folder, path, flags, mode);
}

// The same call, where the headers name it so.
extern "C" int openat64(int folder, const char* path, int flags, ...) __attribute__((alias("openat")));

extern "C" int linkat(int from_folder, const char* from, int to_folder, const char* to, int flags)
{
    const bool descriptor = (flags & AT_EMPTY_PATH) != 0 && from[0] == '\0';
    if (descriptor && (refuses("descriptor") || refuses("links")))
        return refuse("linkat AT_EMPTY_PATH\n", ENOENT);
    if (strncmp(from, "/proc/", 6) == 0 && refuses("links"))
        return refuse("linkat /proc\n", ENOENT);
    return reinterpret_cast<LinkAt>(dlsym(RTLD_NEXT, "linkat"))(from_folder, from, to_folder, to, flags);
}

// The program writes its files through streams: the middle of the first
// write to one is where the signal comes.
extern "C" size_t fwrite(const void* bytes, size_t size, size_t count, FILE* stream)
{
    const auto real_fwrite = reinterpret_cast<FileWrite>(dlsym(RTLD_NEXT, "fwrite"));
    const char* number = getenv("SIGNAL_AMID_WRITE");
    struct stat info;
    const int fd = fileno(stream);
    if (number == nullptr || signalled || size * count < 2 || fd <= STDERR_FILENO || fstat(fd, &info) != 0 ||
        !S_ISREG(info.st_mode))
        return real_fwrite(bytes, size, count, stream);
    signalled = true;
    real_fwrite(bytes, 1, size * count / 2, stream);
    fflush(stream);
    raise(atoi(number));
    return 0;
}
