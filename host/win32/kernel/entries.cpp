// host/win32/kernel/entries.cpp: the kernel's names for files and folders, and
// the test that tells an entry from a link that was followed.
//
// Mount points. Wine shows a Unix mount point whose device differs from
// its folder's as a reparse point, but a bind mount of a folder of the
// same device as a plain folder, and its final path as its own. Under Wine
// the host reads the process's Unix mount table itself and asks Wine for
// the Windows path of each mount point, through Wine's own kernel32 call.
//
// State (every call is found at run time, once, so that the program still
// starts where one is missing):
//   looked_up          the three calls below have been looked for, at the
//                      first question about final paths.
//   get_final_path     GetFinalPathNameByHandleW, or null (before Vista).
//   compare_ordinal    CompareStringOrdinal, or null (before Vista).
//   unix_to_dos        Wine's wine_get_dos_file_name, or null (Windows).
//   information_looked_up  the two below have been looked for, at the
//                      first change made through a handle.
//   set_by_handle      SetFileInformationByHandle, or null (before Vista).
//   set_nt_information NtSetInformationFile, or null (Windows 95 and 98).
//   mount_line         one line of the mount table being read.
//   mount_holds        how many hold_mount_table calls are not yet
//                      released; while there are any, the table is read
//                      once, at the first check, into the three below.
//   held_table         what that reading found (HeldTable).
//   held_points        the mount points it found, each a Unix path and its
//                      NUL, one after another; held_used bytes in use.
#include "host/win32/kernel/entries.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include <cstring>

// A line of the mount table: its mount point and root are at most a Unix
// path each. A longer line makes the table unreadable.
constexpr size_t MOUNT_LINE_SIZE = 3 * 4096;
constexpr size_t MOUNT_CHUNK_SIZE = 4096;
// The mount points of a held table, all of them; a table with more is read
// again for every check, as when none is held.
constexpr size_t HELD_POINTS_SIZE = 64 * 1024;

// What reading the mount table came to.
enum TableRead {
    TABLE_READ,        // every line was read (and the caller was not stopped)
    TABLE_STOPPED,     // the caller stopped at a line
    TABLE_OVERLONG,    // a line too long to read: no line after it is known
    TABLE_UNOPENED,    // no table (not Wine, or no /proc)
};
// A held table: not yet read, read into held_points, or what went wrong.
enum HeldTable { HELD_UNREAD, HELD_READ, HELD_TOO_LARGE, HELD_OVERLONG, HELD_UNOPENED };

using GetFinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using CompareOrdinalFunction = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);
using UnixToDosFunction = WCHAR*(__cdecl*)(const char*);
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

static bool looked_up;
static GetFinalPathFunction get_final_path;
static CompareOrdinalFunction compare_ordinal;
static UnixToDosFunction unix_to_dos;
static bool information_looked_up;
static SetByHandleFunction set_by_handle;
static SetNtInformationFunction set_nt_information;
static char mount_line[MOUNT_LINE_SIZE];
static int mount_holds;
static HeldTable held_table;
static char held_points[HELD_POINTS_SIZE];
static size_t held_used;

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

bool final_paths_known()
{
    if (!looked_up) {
        looked_up = true;
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        get_final_path = find_call<GetFinalPathFunction>(kernel, "GetFinalPathNameByHandleW");
        compare_ordinal = find_call<CompareOrdinalFunction>(kernel, "CompareStringOrdinal");
        unix_to_dos = find_call<UnixToDosFunction>(kernel, "wine_get_dos_file_name");
    }
    return get_final_path != nullptr && compare_ordinal != nullptr;
}

bool is_nt_family()
{
    // The high bit of GetVersion is set on Windows 95, 98 and Me only.
    return (GetVersion() & 0x80000000u) == 0;
}

bool works_through_handles()
{
    return is_nt_family() || final_paths_known();
}

bool to_wide(const char* text, wchar_t* out, size_t capacity)
{
    if (MultiByteToWideChar(CODE_PAGE_932, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(capacity)) > 0)
        return true;
    if (GetLastError() != ERROR_INVALID_PARAMETER || IsValidCodePage(CODE_PAGE_932))
        return false;
    // A system without code page 932 still takes ASCII text.
    size_t length = 0;
    for (; text[length] != '\0'; length++) {
        if (static_cast<unsigned char>(text[length]) >= 0x80 || length + 1 >= capacity)
            return false;
        out[length] = static_cast<wchar_t>(text[length]);
    }
    out[length] = 0;
    return true;
}

bool to_exact_cp932(const wchar_t* name, char* out, size_t capacity)
{
    wchar_t read_back[ENTRY_PATH_SIZE];
    BOOL defaulted = FALSE;
    if (WideCharToMultiByte(CODE_PAGE_932, 0, name, -1, out, static_cast<int>(capacity), nullptr, &defaulted) <= 0 ||
        defaulted || !to_wide(out, read_back, ENTRY_PATH_SIZE))
        return false;
    size_t i = 0;
    while (name[i] != 0 && name[i] == read_back[i])
        i++;
    return name[i] == read_back[i];
}

static HANDLE create_file(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}

static HANDLE create_file(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}

static DWORD every_share()
{
    return FILE_SHARE_READ | FILE_SHARE_WRITE | (works_through_handles() ? FILE_SHARE_DELETE : 0);
}

// The final path of an open entry, into `out` (ENTRY_PATH_SIZE units).
static bool final_path(HANDLE entry, wchar_t* out)
{
    const DWORD length = get_final_path(entry, out, ENTRY_PATH_SIZE, 0);
    return length > 0 && length < ENTRY_PATH_SIZE;
}

template <typename Char>
static bool folder_final_path(const Char* folder, wchar_t* out)
{
    out[0] = 0;
    if (!final_paths_known())
        return true;
    const HANDLE handle = create_file(folder, FILE_READ_ATTRIBUTES, every_share(), OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool found = final_path(handle, out);
    CloseHandle(handle);
    return found;
}

bool get_folder_final_path(const char* folder, wchar_t* out)
{
    return folder_final_path(folder, out);
}

bool get_folder_final_path(const wchar_t* folder, wchar_t* out)
{
    return folder_final_path(folder, out);
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

// A tail as the kernel reads it: ANSI bytes in the system's code page.
static bool tail_to_wide(const char* tail, wchar_t* out)
{
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, tail, -1, out, ENTRY_PATH_SIZE) > 0;
}

static bool tail_to_wide(const wchar_t* tail, wchar_t* out)
{
    return join_path(out, ENTRY_PATH_SIZE, L"", tail, false);
}

// A final path without its "\\?\" prefix, as Wine names mount points.
static const wchar_t* without_prefix(const wchar_t* path)
{
    return path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\' ? path + 4 : path;
}

static bool same_ignoring_case(const wchar_t* a, size_t a_length, const wchar_t* b, size_t b_length)
{
    return compare_ordinal(a, static_cast<int>(a_length), b, static_cast<int>(b_length), TRUE) == CSTR_EQUAL;
}

// Whether `path` lies below `folder` (or is `folder`, unless `strictly`).
static bool is_within(const wchar_t* path, const wchar_t* folder, bool strictly)
{
    size_t length = text_length(folder);
    while (length > 0 && folder[length - 1] == '\\')
        length--;
    if (text_length(path) < length || !same_ignoring_case(path, length, folder, length))
        return false;
    return path[length] == '\\' || (!strictly && path[length] == 0);
}

// Whether a name of `path` below `base` is `name` (UTF-8): a cheap test
// before Wine is asked for a mount point's Windows path.
static bool names_on_the_way(const wchar_t* path, const wchar_t* base, const char* name)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    const int units = MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, ENTRY_PATH_SIZE);
    if (units <= 1)
        return units == 0;  // a name that does not convert: ask Wine
    const wchar_t* part = path + text_length(base);
    while (*part != 0) {
        while (*part == '\\')
            part++;
        size_t length = 0;
        while (part[length] != 0 && part[length] != '\\')
            length++;
        if (length > 0 && same_ignoring_case(part, length, wide, static_cast<size_t>(units - 1)))
            return true;
        part += length;
    }
    return false;
}

// The mount point of the mount table's line `line`, decoded in place, or
// null when the line has none.
static const char* mount_point_of(char* line)
{
    // The fifth field is the mount point, its blanks and backslashes
    // written as octal escapes.
    char* point = line;
    for (int field = 0; field < 4 && point != nullptr; field++)
        point = strchr(point, ' ') != nullptr ? strchr(point, ' ') + 1 : nullptr;
    if (point == nullptr)
        return nullptr;
    size_t length = 0;
    for (const char* c = point; *c != '\0' && *c != ' '; c++) {
        if (c[0] == '\\' && c[1] >= '0' && c[1] <= '3' && c[2] >= '0' && c[2] <= '7' && c[3] >= '0' && c[3] <= '7') {
            point[length++] = static_cast<char>((c[1] - '0') * 64 + (c[2] - '0') * 8 + (c[3] - '0'));
            c += 3;
        } else {
            point[length++] = *c;
        }
    }
    point[length] = '\0';
    return point;
}

// Whether the Unix mount point `point` lies below `base` and at or above
// `target`.
static bool is_mount_between(const char* point, const wchar_t* base, const wchar_t* target)
{
    const char* last = strrchr(point, '/');
    if (last == nullptr || last[1] == '\0' || !names_on_the_way(target, base, last + 1))
        return false;
    WCHAR* windows_path = unix_to_dos(point);
    if (windows_path == nullptr)
        return false;
    const wchar_t* mount = without_prefix(windows_path);
    const bool between = is_within(mount, base, true) && is_within(target, mount, false);
    HeapFree(GetProcessHeap(), 0, windows_path);
    return between;
}

// Reads the process's Unix mount table and hands each mount point to
// `take` with `context`, until `take` returns true.
static TableRead read_mount_table(bool (*take)(const char* point, const void* context), const void* context)
{
    WCHAR* table_path = unix_to_dos("/proc/self/mountinfo");
    if (table_path == nullptr)
        return TABLE_UNOPENED;
    const HANDLE table = CreateFileW(table_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    HeapFree(GetProcessHeap(), 0, table_path);
    if (table == INVALID_HANDLE_VALUE)
        return TABLE_UNOPENED;
    TableRead result = TABLE_READ;
    bool overlong = false;
    size_t used = 0;
    char chunk[MOUNT_CHUNK_SIZE];
    DWORD got = 0;
    while (result == TABLE_READ && ReadFile(table, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got && result == TABLE_READ; i++) {
            if (chunk[i] != '\n') {
                overlong = overlong || used + 1 == MOUNT_LINE_SIZE;
                if (!overlong)
                    mount_line[used++] = chunk[i];
                continue;
            }
            mount_line[used] = '\0';
            const char* point = overlong ? nullptr : mount_point_of(mount_line);
            if (overlong)
                result = TABLE_OVERLONG;
            else if (point != nullptr && take(point, context))
                result = TABLE_STOPPED;
            used = 0;
            overlong = false;
        }
    }
    CloseHandle(table);
    return result;
}

// The base and target of one check, for read_mount_table.
struct MountCheck {
    const wchar_t* base;
    const wchar_t* target;
};

static bool stops_at_crossing(const char* point, const void* context)
{
    const MountCheck* check = static_cast<const MountCheck*>(context);
    return is_mount_between(point, check->base, check->target);
}

// Keeps a mount point in held_points; false, and the table too large to
// hold, when it does not fit.
static bool holds_point(const char* point, const void*)
{
    const size_t size = strlen(point) + 1;
    if (size > sizeof held_points - held_used) {
        held_table = HELD_TOO_LARGE;
        return true;
    }
    memcpy(held_points + held_used, point, size);
    held_used += size;
    return false;
}

void hold_mount_table()
{
    if (mount_holds++ == 0)
        held_table = HELD_UNREAD;
}

void release_mount_table()
{
    if (mount_holds > 0)
        mount_holds--;
}

// Reads the table into held_points once for all the checks of a hold.
static void read_held_table()
{
    held_used = 0;
    held_table = HELD_READ;
    const TableRead read = read_mount_table(holds_point, nullptr);
    if (read == TABLE_OVERLONG)
        held_table = HELD_OVERLONG;
    else if (read == TABLE_UNOPENED)
        held_table = HELD_UNOPENED;
}

// Whether a Unix mount point lies below the folder `base_final` and at or
// above the entry `target_final` (final paths). Only under Wine on a
// system with a mount table; a table that cannot be read in full counts as
// a crossing. While the table is held, it is read once for every check.
static bool crosses_mount(const wchar_t* base_final, const wchar_t* target_final)
{
    if (unix_to_dos == nullptr)
        return false;
    const MountCheck check = {without_prefix(base_final), without_prefix(target_final)};
    if (mount_holds > 0) {
        if (held_table == HELD_UNREAD)
            read_held_table();
        if (held_table == HELD_READ) {
            for (size_t at = 0; at < held_used; at += strlen(held_points + at) + 1)
                if (is_mount_between(held_points + at, check.base, check.target))
                    return true;
            return false;
        }
        if (held_table != HELD_TOO_LARGE)
            return held_table == HELD_OVERLONG;
    }
    const TableRead read = read_mount_table(stops_at_crossing, &check);
    return read == TABLE_STOPPED || read == TABLE_OVERLONG;
}

template <typename Char>
static bool is_itself_of(HANDLE entry, const wchar_t* folder_final, const Char* tail)
{
    if (!final_paths_known())
        return true;
    wchar_t wide_tail[ENTRY_PATH_SIZE];
    wchar_t expected[ENTRY_PATH_SIZE];
    wchar_t found[ENTRY_PATH_SIZE];
    if (!tail_to_wide(tail, wide_tail) || !join_path(expected, ENTRY_PATH_SIZE, folder_final, wide_tail, true) ||
        !final_path(entry, found))
        return false;
    for (wchar_t* c = expected; *c != 0; c++)
        if (*c == L'/')
            *c = L'\\';
    return same_ignoring_case(found, text_length(found), expected, text_length(expected)) &&
           !crosses_mount(folder_final, found);
}

bool is_itself(HANDLE entry, const wchar_t* folder_final, const char* tail)
{
    return is_itself_of(entry, folder_final, tail);
}

bool is_itself(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail)
{
    return is_itself_of(entry, folder_final, tail);
}

template <typename Char>
static bool is_replaceable_of(HANDLE entry, const wchar_t* folder_final, const Char* tail)
{
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileType(entry) == FILE_TYPE_DISK && GetFileInformationByHandle(entry, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && is_itself(entry, folder_final, tail);
}

bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const char* tail)
{
    return is_replaceable_of(entry, folder_final, tail);
}

bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail)
{
    return is_replaceable_of(entry, folder_final, tail);
}

// What may_replace_at and clear_entry_at share: the entry at `path` looked
// at through a handle of its own, and deleted through it when `removing`.
template <typename Char>
static bool check_entry_at(const Char* path, const wchar_t* folder_final, const Char* tail, bool removing)
{
    if (!works_through_handles()) {
        // Windows 95 and 98 have no links, nor a way to delete through a
        // handle.
        const DWORD attributes = get_attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return GetLastError() == ERROR_FILE_NOT_FOUND;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return false;
        return !removing || delete_file(path);
    }
    const HANDLE entry = open_entry(path, removing ? DELETE : 0, OPEN_EXISTING);
    if (entry == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    const bool done = is_replaceable(entry, folder_final, tail) && (!removing || delete_through(entry));
    CloseHandle(entry);
    return done;
}

bool may_replace_at(const char* path, const wchar_t* folder_final, const char* tail)
{
    return check_entry_at(path, folder_final, tail, false);
}

bool may_replace_at(const wchar_t* path, const wchar_t* folder_final, const wchar_t* tail)
{
    return check_entry_at(path, folder_final, tail, false);
}

bool clear_entry_at(const char* path, const wchar_t* folder_final, const char* tail)
{
    return check_entry_at(path, folder_final, tail, true);
}

bool clear_entry_at(const wchar_t* path, const wchar_t* folder_final, const wchar_t* tail)
{
    return check_entry_at(path, folder_final, tail, true);
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
