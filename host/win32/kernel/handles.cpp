// host/win32/kernel/handles.cpp: entries opened as themselves, and changed
// through their handles.
//
// State (the calls are found at run time, once, at the first change made
// through a handle, so that the program still starts where one is
// missing):
//   information_looked_up  the two below have been looked for.
//   set_by_handle          SetFileInformationByHandle, or null (before
//                          Vista).
//   set_nt_information     NtSetInformationFile, or null (Windows 95 and
//                          98).
#include "host/win32/kernel/handles.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>

using SetByHandleFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
// NtSetInformationFile's status record, and the numbers of the two kinds
// of information it sets here (FILE_INFORMATION_CLASS).
struct IoStatus {
    void* status;
    ULONG_PTR information;
};
using SetNtInformationFunction = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, ULONG);
constexpr ULONG NT_FILE_BASIC_INFORMATION = 4;
constexpr ULONG NT_FILE_DISPOSITION_INFORMATION = 13;

static bool information_looked_up;
static SetByHandleFunction set_by_handle;
static SetNtInformationFunction set_nt_information;

static DWORD every_share()
{
    return FILE_SHARE_READ | FILE_SHARE_WRITE | (works_through_handles() ? FILE_SHARE_DELETE : 0);
}

template <typename Char>
static HANDLE open_entry_of(const Char* path, DWORD access, DWORD disposition)
{
    // A folder opens only with backup semantics, and a link shown as a
    // reparse point is opened itself. Windows 95 and 98 know neither flag
    // nor access right.
    const bool through_handles = works_through_handles();
    return create_file(path, access | (through_handles ? FILE_READ_ATTRIBUTES : 0), every_share(), disposition,
                       through_handles ? FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS : 0);
}

HANDLE open_entry(const char* path, DWORD access, DWORD disposition)
{
    return open_entry_of(path, access, disposition);
}

HANDLE open_entry(const wchar_t* path, DWORD access, DWORD disposition)
{
    return open_entry_of(path, access, disposition);
}

HANDLE open_folder(const char* folder)
{
    return create_file(folder, FILE_READ_ATTRIBUTES, every_share(), OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

HANDLE open_folder(const wchar_t* folder)
{
    return create_file(folder, FILE_READ_ATTRIBUTES, every_share(), OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

FILE* reading_stream_of(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        errno = EACCES;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "rb");
    if (stream == nullptr)
        _close(fd);
    return stream;
}

// Sets one kind of information of an open entry through its handle:
// `kind` as SetFileInformationByHandle names it, `nt_kind` as
// NtSetInformationFile does, the record the same for both.
static bool set_information(HANDLE entry, FILE_INFO_BY_HANDLE_CLASS kind, ULONG nt_kind, void* record,
                            DWORD size)
{
    if (!information_looked_up) {
        information_looked_up = true;
        set_by_handle = find_call<SetByHandleFunction>(GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
        set_nt_information = find_call<SetNtInformationFunction>(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile");
    }
    if (set_by_handle != nullptr)
        return set_by_handle(entry, kind, record, size) != 0;
    IoStatus status = {};
    return set_nt_information != nullptr && set_nt_information(entry, &status, record, size, nt_kind) >= 0;
}

bool delete_through(HANDLE entry)
{
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return set_information(entry, FileDispositionInfo, NT_FILE_DISPOSITION_INFORMATION, &disposition,
                           sizeof disposition);
}

bool set_attributes_through(HANDLE entry, DWORD attributes)
{
    // Times of 0 stay as they are.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return set_information(entry, FileBasicInfo, NT_FILE_BASIC_INFORMATION, &basic, sizeof basic);
}
