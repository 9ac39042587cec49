// host/win32/kernel/mount_table.cpp: the process's Unix mount table read
// under Wine, through Wine's own paths.
//
// State:
//   unix_to_dos_looked  the call below has been looked for, at the first
//                       check.
//   unix_to_dos         Wine's wine_get_dos_file_name, or null (Windows).
//   mount_line          one line of the mount table being read.
//   mount_holds         how many hold_mount_table calls are not yet
//                       released; while there are any, the table is read
//                       once, at the first check, into the three below.
//   held_table          what that reading found (HeldTable).
//   held_points         the mount points it found, each a Unix path and
//                       its NUL, one after another; held_used bytes in use.
#include "host/win32/kernel/mount_table.h"

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
// Whether a path lies below a folder only, or may be the folder itself.
enum Within { BELOW_ONLY, AT_OR_BELOW };

using UnixToDosFunction = WCHAR*(__cdecl*)(const char*);

static bool unix_to_dos_looked;
static UnixToDosFunction unix_to_dos;
static char mount_line[MOUNT_LINE_SIZE];
static int mount_holds;
static HeldTable held_table;
static char held_points[HELD_POINTS_SIZE];
static size_t held_used;

// A final path without its "\\?\" prefix, as Wine names mount points.
static const wchar_t* without_prefix(const wchar_t* path)
{
    return path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\' ? path + 4 : path;
}

// Whether `path` lies below `folder`, or is `folder` where `within` allows.
static bool is_within(const wchar_t* path, const wchar_t* folder, Within within)
{
    size_t length = text_length(folder);
    while (length > 0 && folder[length - 1] == '\\')
        length--;
    if (text_length(path) < length || !same_units_ignoring_case(path, length, folder, length))
        return false;
    return path[length] == '\\' || (within == AT_OR_BELOW && path[length] == 0);
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
        if (length > 0 && same_units_ignoring_case(part, length, wide, static_cast<size_t>(units - 1)))
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
    const bool between = is_within(mount, base, BELOW_ONLY) && is_within(target, mount, AT_OR_BELOW);
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

bool crosses_mount(const wchar_t* base_final, const wchar_t* target_final)
{
    if (!unix_to_dos_looked) {
        unix_to_dos_looked = true;
        unix_to_dos = find_call<UnixToDosFunction>(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
    }
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
