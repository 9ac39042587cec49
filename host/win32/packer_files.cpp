// host/win32/packer_files.cpp: the packer's files on Windows (the NT
// family), named by UTF-8 paths that reach the kernel in UTF-16.
//
// State:
//   find          the folder being listed: its search handle,
//   found         the entry found last,
//   found_pending whether that entry is still to be returned,
//   found_name    and its UTF-8 name.
//
// The archive is written as every file is (host/win32/kernel/new_files.h).
#include "host/packer_files.h"

#include <io.h>

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "host/win32/kernel/base.h"
#include "host/win32/kernel/handles.h"
#include "host/win32/kernel/new_files.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

// Seconds from 1601-01-01 (file times) to 1970-01-01, and file time units
// (100 ns) in a second.
constexpr int64_t FILETIME_EPOCH_SECONDS = 11644473600;
constexpr int64_t FILETIME_UNITS = 10000000;
// Room for a name the kernel hands back, in UTF-8.
constexpr size_t FOUND_NAME_SIZE = 4 * MAX_PATH;

static HANDLE find = INVALID_HANDLE_VALUE;
static WIN32_FIND_DATAW found;
static bool found_pending;
static char found_name[FOUND_NAME_SIZE];

static int64_t seconds_of(const FILETIME& time)
{
    const int64_t units = static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    return units / FILETIME_UNITS - FILETIME_EPOCH_SECONDS;
}

// What the open handle is: a file or folder on a disk, or something else
// (a device, a pipe).
static SourceInfo info_of(HANDLE handle)
{
    SourceInfo info{};
    BY_HANDLE_FILE_INFORMATION data;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &data)) {
        info.kind = SOURCE_OTHER;
        return info;
    }
    info.kind = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? SOURCE_FOLDER : SOURCE_FILE;
    info.volume = data.dwVolumeSerialNumber;
    info.index = static_cast<uint64_t>(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
    info.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    info.modified = seconds_of(data.ftLastWriteTime);
    return info;
}

static HANDLE open_path(const char* path, DWORD access)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    if (!utf8_to_wide(path, wide, ENTRY_PATH_SIZE))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(wide, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

SourceInfo look_at_source(const char* path)
{
    const HANDLE handle = open_path(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return SourceInfo{};
    const SourceInfo info = info_of(handle);
    CloseHandle(handle);
    return info;
}

SourceInfo look_at_open_file(FILE* file)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle == INVALID_HANDLE_VALUE ? SourceInfo{} : info_of(handle);
}

FILE* open_source_file(const char* path, SourceInfo* info)
{
    const HANDLE handle = open_path(path, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) {
        *info = SourceInfo{};
        return nullptr;
    }
    *info = info_of(handle);
    if (info->kind != SOURCE_FILE) {
        CloseHandle(handle);
        return nullptr;
    }
    return reading_stream_of(handle);
}

bool open_source_folder(const char* path)
{
    char pattern[4 * ENTRY_PATH_SIZE];
    wchar_t wide[ENTRY_PATH_SIZE];
    const size_t length = strlen(path);
    const bool has_separator = length > 0 && is_path_separator(path[length - 1]);
    if (!compose(pattern, sizeof pattern, {path, has_separator ? "*" : "\\*"}) ||
        !utf8_to_wide(pattern, wide, ENTRY_PATH_SIZE))
        return false;
    find = FindFirstFileW(wide, &found);
    found_pending = find != INVALID_HANDLE_VALUE;
    return find != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND;
}

const char* next_source_name()
{
    while (find != INVALID_HANDLE_VALUE) {
        if (!found_pending && !FindNextFileW(find, &found))
            return nullptr;
        found_pending = false;
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
            continue;
        // A name that UTF-8 cannot carry (a lone surrogate) stays as '?',
        // which no file has: opening it then fails with its line.
        if (!wide_to_utf8(found.cFileName, found_name, sizeof found_name))
            strcpy(found_name, "?");
        return found_name;
    }
    return nullptr;
}

void close_source_folder()
{
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    find = INVALID_HANDLE_VALUE;
}

const char* system_failure_reason()
{
    // Room for the longest message the system has, in UTF-8.
    constexpr DWORD REASON_UNITS = 512;
    static char reason[4 * REASON_UNITS];
    const DWORD error = GetLastError();
    wchar_t text[REASON_UNITS];
    DWORD units = error == 0 ? 0
                             : FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                              error, 0, text, REASON_UNITS, nullptr);
    // The message ends in a full stop and a line break.
    while (units > 0 && (text[units - 1] == L'\r' || text[units - 1] == L'\n' || text[units - 1] == L' ' ||
                         text[units - 1] == L'.'))
        units--;
    text[units] = 0;
    if (units == 0 || !wide_to_utf8(text, reason, sizeof reason))
        return strerror(errno);
    return reason;
}

FILE* create_archive_file(const char* archive)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    if (!utf8_to_wide(archive, wide, ENTRY_PATH_SIZE))
        return nullptr;
    return create_new_file(wide, 0, nullptr, NEW_FILE_BINARY, PATH_UNSEEN);
}
