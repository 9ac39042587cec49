// host/win32/files.cpp: files named by Windows paths, opened by the kernel
// and handed to the C runtime as streams. No state.
//
// Only a file on a disk is opened: a device name (CON, NUL, COM1, in any
// folder) and a pipe are refused before a byte is read or written, so that
// nothing the installer opens can block or reach a device. A link at the
// path of a file being written is removed first; the new file takes its
// place and the link's target is untouched.
#define NOMINMAX
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/files.h"

FILE* open_file(const char* path, const char* mode)
{
    const bool reading = strcmp(mode, "rb") == 0;
    const bool text = strcmp(mode, "w") == 0;
    if (!reading && !text && strcmp(mode, "wb") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    if (!reading) {
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            DeleteFileA(path);
    }
    const HANDLE handle = CreateFileA(path, reading ? GENERIC_READ : GENERIC_WRITE,
                                      reading ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr,
                                      reading ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        errno = EACCES;
        return nullptr;
    }
    const int flags = (reading ? _O_RDONLY : _O_WRONLY) | (text ? _O_TEXT : _O_BINARY);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, mode);
    if (stream == nullptr)
        _close(fd);
    return stream;
}
