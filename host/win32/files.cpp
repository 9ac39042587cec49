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
#include "shared/sjis.h"

// The ANSI functions take paths of up to MAX_PATH bytes.
constexpr size_t FILE_PATH_SIZE = MAX_PATH;

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

FILE* open_file_in(const char* folder, const char* name, const char* mode)
{
    char path[FILE_PATH_SIZE];
    const size_t folder_length = strlen(folder);
    const size_t name_length = strlen(name);
    if (folder_length + name_length >= sizeof path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    memcpy(path, folder, folder_length);
    memcpy(path + folder_length, name, name_length + 1);
    // Every folder of the name on the way to the file must be a real one,
    // not a junction or a link that leads out of `folder`.
    for (size_t i = folder_length; path[i] != '\0'; i += sjis_character_length(path + i)) {
        if (path[i] != '\\' && path[i] != '/')
            continue;
        const char separator = path[i];
        path[i] = '\0';
        const DWORD attributes = GetFileAttributesA(path);
        path[i] = separator;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            errno = EACCES;
            return nullptr;
        }
    }
    return open_file(path, mode);
}

bool is_path_convertible(const char* path)
{
    // The NT family names files in UTF-16; Windows 95 and 98 take the bytes.
    constexpr UINT CODE_PAGE_932 = 932;
    const bool nt_family = (GetVersion() & 0x80000000u) == 0;
    return !nt_family || MultiByteToWideChar(CODE_PAGE_932, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0) > 0;
}
