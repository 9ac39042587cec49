// host/win32/files.cpp: files named by Windows paths, opened by the kernel
// and handed to the C runtime as streams. No state.
//
// Paths reach the kernel as host/win32/entries.h says: UTF-16 converted
// from code page 932 on the NT family, ANSI bytes on Windows 95 and 98.
//
// Only a file on a disk is opened: a device name (CON, NUL, COM1, in any
// folder), a pipe and a folder are refused before a byte is read or
// written, so that nothing the installer opens can block or reach a
// device. A file is never written through a link: a link shown as a
// reparse point at its path is removed first and the new file takes its
// place; a link that the system follows regardless (a Unix symbolic link
// under Wine) is refused. Nor is an existing file emptied before it is
// known to be a file of its own, and a new one is only ever created where
// nothing stands.
#include "host/files.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/win32/entries.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

static HANDLE open_for_reading(const char* path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

static HANDLE open_for_reading(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

static DWORD full_path(const char* path, char* out, char** name)
{
    return GetFullPathNameA(path, ENTRY_PATH_SIZE, out, name);
}

static DWORD full_path(const wchar_t* path, wchar_t* out, wchar_t** name)
{
    return GetFullPathNameW(path, ENTRY_PATH_SIZE, out, name);
}

// How far the character at `text` reaches: our own paths are code page
// 932 as bytes, and no UTF-16 unit is part of a separator.
static size_t character_length(const char* text)
{
    return sjis_character_length(text);
}

static size_t character_length(const wchar_t*)
{
    return 1;
}

// Whether the folder that the file `tail` (the end of `path`) goes into is
// reached from the folder whose final path is `folder_final` through no
// link and no mount point, before anything is created in it.
template <typename Char>
static bool is_reached_within(const Char* path, const wchar_t* folder_final, const Char* tail)
{
    size_t tail_folder_end = 0;
    for (size_t i = 0; tail[i] != 0; i += character_length(tail + i))
        if (is_path_separator(tail[i]))
            tail_folder_end = i;
    if (tail_folder_end == 0 || !final_paths_known())
        return true;
    Char inner_folder[ENTRY_PATH_SIZE];
    Char inner_tail[ENTRY_PATH_SIZE];
    const size_t path_end = text_length(path) - text_length(tail) + tail_folder_end;
    for (size_t i = 0; i < path_end; i++)
        inner_folder[i] = path[i];
    inner_folder[path_end] = 0;
    for (size_t i = 0; i < tail_folder_end; i++)
        inner_tail[i] = tail[i];
    inner_tail[tail_folder_end] = 0;
    const HANDLE entry = open_entry(inner_folder, 0, OPEN_EXISTING);
    if (entry == INVALID_HANDLE_VALUE)
        return false;
    const bool within = is_itself(entry, folder_final, inner_tail);
    CloseHandle(entry);
    return within;
}

// Opens `path`, the file named `tail` in `folder`, for writing and empties
// it, as this file's opening comment says. Returns the handle or
// INVALID_HANDLE_VALUE.
template <typename Char>
static HANDLE open_for_writing(const Char* path, const Char* folder, const Char* tail)
{
    static const Char CURRENT_FOLDER[] = {'.', 0};
    wchar_t folder_final[ENTRY_PATH_SIZE];
    if (!get_folder_final_path(folder[0] != 0 ? folder : CURRENT_FOLDER, folder_final) ||
        !is_reached_within(path, folder_final, tail) || !clear_link_at(path, folder_final, tail))
        return INVALID_HANDLE_VALUE;
    HANDLE file = open_entry(path, GENERIC_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
        file = open_entry(path, GENERIC_WRITE, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !is_itself(file, folder_final, tail) ||
        !SetEndOfFile(file)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// The stream of an open handle, or nullptr (the handle then closed).
static FILE* stream_of(HANDLE handle, const char* mode)
{
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return nullptr;
    }
    const bool reading = mode[0] == 'r';
    if (reading && GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        errno = EACCES;
        return nullptr;
    }
    const int flags = (reading ? _O_RDONLY : _O_WRONLY) | (strcmp(mode, "w") == 0 ? _O_TEXT : _O_BINARY);
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

template <typename Char>
static HANDLE open_path(const Char* path, bool reading)
{
    if (reading)
        return open_for_reading(path);
    Char full[ENTRY_PATH_SIZE];
    Char* name = nullptr;
    const DWORD length = full_path(path, full, &name);
    if (length == 0 || length >= ENTRY_PATH_SIZE || name == nullptr)
        return INVALID_HANDLE_VALUE;
    // The folder keeps its separator: "c:\" stays the root.
    Char folder[ENTRY_PATH_SIZE];
    const size_t folder_length = static_cast<size_t>(name - full);
    for (size_t i = 0; i < folder_length; i++)
        folder[i] = full[i];
    folder[folder_length] = 0;
    return open_for_writing(full, folder, name);
}

static bool is_known_mode(const char* mode)
{
    return strcmp(mode, "rb") == 0 || strcmp(mode, "wb") == 0 || strcmp(mode, "w") == 0;
}

FILE* open_file(const char* path, const char* mode)
{
    if (!is_known_mode(mode)) {
        errno = EINVAL;
        return nullptr;
    }
    const bool reading = mode[0] == 'r';
    if (!is_nt_family())
        return stream_of(open_path(path, reading), mode);
    wchar_t wide_path[ENTRY_PATH_SIZE];
    return stream_of(to_wide(path, wide_path, ENTRY_PATH_SIZE) ? open_path(wide_path, reading)
                                                              : INVALID_HANDLE_VALUE,
                     mode);
}

template <typename Char>
static HANDLE open_path_in(const Char* folder, const Char* name, bool reading)
{
    Char path[ENTRY_PATH_SIZE];
    if (!join_path(path, ENTRY_PATH_SIZE, folder, name, false))
        return INVALID_HANDLE_VALUE;
    // Every folder of the name on the way to the file must be a real one,
    // not a junction or a link that leads out of `folder`.
    for (size_t i = text_length(folder); path[i] != 0; i += character_length(path + i)) {
        if (!is_path_separator(path[i]))
            continue;
        const Char separator = path[i];
        path[i] = 0;
        const DWORD attributes = get_attributes(path);
        path[i] = separator;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return INVALID_HANDLE_VALUE;
    }
    return reading ? open_for_reading(path) : open_for_writing(path, folder, name);
}

FILE* open_file_in(const char* folder, const char* name, const char* mode)
{
    if (!is_known_mode(mode)) {
        errno = EINVAL;
        return nullptr;
    }
    const bool reading = mode[0] == 'r';
    if (!is_nt_family())
        return stream_of(open_path_in(folder, name, reading), mode);
    wchar_t wide_folder[ENTRY_PATH_SIZE];
    wchar_t wide_name[ENTRY_PATH_SIZE];
    const bool converted =
        to_wide(folder, wide_folder, ENTRY_PATH_SIZE) && to_wide(name, wide_name, ENTRY_PATH_SIZE);
    return stream_of(converted ? open_path_in(wide_folder, wide_name, reading) : INVALID_HANDLE_VALUE, mode);
}

bool is_path_convertible(const char* path)
{
    wchar_t wide_path[ENTRY_PATH_SIZE];
    return !is_nt_family() || to_wide(path, wide_path, ENTRY_PATH_SIZE);
}
