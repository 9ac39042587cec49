// host/win32/folder_tree.cpp: deleting folder entries through the kernel,
// never through a link. No state.
//
// A folder is walked by the names the kernel hands back, joined to the
// folder's path in the kernel's own form (UTF-16 on the NT family), never
// turned into code page 932 and read again as a path: only the pattern
// test sees code page 932, and a name without an exact form there matches
// nothing. A name that could not be handed back as one entry of its
// folder (a Unix name holding a backslash, as Wine shows it) is left, and
// counts as not deleted.
//
// Before it is deleted, each entry is opened as itself and checked
// (host/win32/kernel/final_paths.h), and deleted through the handle it was
// checked by, never by its path afterwards: a link that the system would follow
// all the same (a Unix symbolic link under Wine, to a file or a folder) is
// left and counts as not deleted; a link shown as a reparse point is
// removed as the link it is, and a mount point cannot be removed while it
// is mounted. Only a real folder is gone into. Read-only, hidden and
// system files are deleted like any other, as deltree does. Windows 95 and
// 98, which have no links, delete by the path.
#include "host/portable/folder_tree.h"

#include "host/portable/dos_names.h"
#include "host/win32/kernel/base.h"
#include "host/win32/kernel/final_paths.h"
#include "host/win32/kernel/handles.h"
#include "host/win32/kernel/join_path.h"
#include "host/win32/kernel/mount_table.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/windows_names.h"

// Folder levels below a deleted folder that are gone down; a deeper tree
// is left where it is and reported.
constexpr unsigned MAX_TREE_DEPTH = 64;
// A name the kernel hands back, in code page 932: at most two bytes for
// each of its MAX_PATH units.
constexpr size_t PATTERN_NAME_SIZE = 2 * MAX_PATH;

// The found name as the pattern sees it, in code page 932; false when it
// can match nothing. Windows 95 and 98 hand back bytes of the system's
// ANSI code page, taken as they are.
static bool name_for_pattern(const char* found, char* out)
{
    return join_path(out, PATTERN_NAME_SIZE, "", found, JOIN_AS_THEY_ARE);
}

static bool name_for_pattern(const wchar_t* found, char* out)
{
    return to_exact_cp932(found, out, PATTERN_NAME_SIZE);
}

// Whether the kernel, given the folder's path and the found name, reaches
// that one entry: no separator and no character Windows forbids in a name.
// ANSI names are walked by the system's own double-byte rule.
static bool is_one_entry(const char* name)
{
    for (const char* c = name; *c != '\0'; c++) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*c)) && c[1] != '\0')
            c++;
        else if (is_path_separator(*c) || is_forbidden_in_windows_name(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

static bool is_one_entry(const wchar_t* name)
{
    return is_one_windows_name(name);
}

template <typename Char>
static bool remove_tree(const wchar_t* top_final, const Char* path, size_t tail_start, unsigned depth);
template <typename Char>
static bool remove_tree_by_path(const wchar_t* top_final, const Char* path, size_t tail_start, unsigned depth);

// Removes everything inside the real folder `path`; false when something
// stayed.
template <typename Char>
static bool empty_folder(const wchar_t* top_final, const Char* path, size_t tail_start, unsigned depth)
{
    static const Char EVERYTHING[] = {'*', 0};
    Char pattern[ENTRY_PATH_SIZE];
    if (!join_path(pattern, ENTRY_PATH_SIZE, path, EVERYTHING, JOIN_WITH_SEPARATOR))
        return false;
    FindData<Char> entry;
    const HANDLE search = find_first(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool all_removed = true;
    do {
        Char inner[ENTRY_PATH_SIZE];
        if (is_dot_name(entry.cFileName))
            continue;
        if (!is_one_entry(entry.cFileName) ||
            !join_path(inner, ENTRY_PATH_SIZE, path, entry.cFileName, JOIN_WITH_SEPARATOR) ||
            !remove_tree(top_final, inner, tail_start, depth + 1))
            all_removed = false;
    } while (find_next(search, &entry));
    FindClose(search);
    return all_removed;
}

// Opens the entry at `path` itself, with `access`, and checks that the top
// folder (final path `top_final`) names it by `path + tail_start`: no link
// the system followed, no mount on the way. Returns the handle and fills
// `information`, or INVALID_HANDLE_VALUE, with `*absent` telling whether
// nothing was there.
template <typename Char>
static HANDLE open_checked(const wchar_t* top_final, const Char* path, size_t tail_start, DWORD access,
                           BY_HANDLE_FILE_INFORMATION* information, bool* absent)
{
    const HANDLE entry = open_entry(path, access, OPEN_EXISTING);
    *absent = entry == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND;
    if (entry != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandle(entry, information) || !is_itself(entry, top_final, path + tail_start))) {
        CloseHandle(entry);
        return INVALID_HANDLE_VALUE;
    }
    return entry;
}

// Deletes the open, checked entry through its handle, read-only or not,
// and closes the handle.
static bool delete_and_close(HANDLE entry, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        set_attributes_through(entry, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    const bool deleted = delete_through(entry);
    CloseHandle(entry);
    return deleted;
}

// Whether `attributes` are those of a real folder, not a link shown as a
// reparse point.
static bool is_real_folder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Removes the entry at `path`, which the top folder (final path
// `top_final`) names by `path + tail_start`: a file or a link at once, a
// real folder after everything in it. Wherever the system works through
// handles, every entry is opened as itself, checked, and deleted through
// that very handle, so that
// nothing put in its place since (a link to a file outside, say) is
// touched. A folder cannot be listed while a handle that may delete it is
// open (Wine refuses the listing), so a folder is checked once to be gone
// into, and once more, by the handle that deletes it, once it is empty.
// False when something stayed.
template <typename Char>
static bool remove_tree(const wchar_t* top_final, const Char* path, size_t tail_start, unsigned depth)
{
    if (!works_through_handles())
        return remove_tree_by_path(top_final, path, tail_start, depth);
    BY_HANDLE_FILE_INFORMATION information;
    bool absent = false;
    HANDLE entry =
        open_checked(top_final, path, tail_start, DELETE | FILE_WRITE_ATTRIBUTES, &information, &absent);
    if (entry == INVALID_HANDLE_VALUE)
        return absent;
    if (!is_real_folder(information.dwFileAttributes))
        return delete_and_close(entry, information.dwFileAttributes);
    CloseHandle(entry);
    if (depth == MAX_TREE_DEPTH || !empty_folder(top_final, path, tail_start, depth))
        return false;
    entry = open_checked(top_final, path, tail_start, DELETE | FILE_WRITE_ATTRIBUTES, &information, &absent);
    if (entry == INVALID_HANDLE_VALUE)
        return absent;
    if (!is_real_folder(information.dwFileAttributes)) {
        CloseHandle(entry);
        return false;
    }
    return delete_and_close(entry, information.dwFileAttributes);
}

// The same on Windows 95 and 98, which have no links and no deletion
// through a handle: by the path.
template <typename Char>
static bool remove_tree_by_path(const wchar_t* top_final, const Char* path, size_t tail_start, unsigned depth)
{
    const DWORD attributes = get_attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        set_attributes(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return delete_file(path);
    if (depth == MAX_TREE_DEPTH)
        return false;
    const bool emptied = empty_folder(top_final, path, tail_start, depth);
    return remove_directory(path) && emptied;
}

template <typename Char>
static int remove_matching(const Char* folder, const char* name_pattern)
{
    static const Char EVERYTHING[] = {'*', 0};
    wchar_t top_final[ENTRY_PATH_SIZE];
    Char pattern[ENTRY_PATH_SIZE];
    if (!get_folder_final_path(folder, top_final) ||
        !join_path(pattern, ENTRY_PATH_SIZE, folder, EVERYTHING, JOIN_WITH_SEPARATOR))
        return 0;
    FindData<Char> entry;
    const HANDLE search = find_first(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int failed = 0;
    do {
        char name[PATTERN_NAME_SIZE];
        Char path[ENTRY_PATH_SIZE];
        if (is_dot_name(entry.cFileName) || !name_for_pattern(entry.cFileName, name) ||
            !matches_dos_pattern(name_pattern, name))
            continue;
        if (!is_one_entry(entry.cFileName) ||
            !join_path(path, ENTRY_PATH_SIZE, folder, entry.cFileName, JOIN_WITH_SEPARATOR) ||
            !remove_tree(top_final, path, text_length(path) - text_length(entry.cFileName), 0))
            failed++;
    } while (find_next(search, &entry));
    FindClose(search);
    return failed;
}

int remove_matching_entries(const char* folder, const char* name_pattern)
{
    // Every entry below the folder is checked against the mount table as
    // it was when the deletion began, read once.
    hold_mount_table();
    wchar_t wide_folder[ENTRY_PATH_SIZE];
    int failed = 0;
    if (!is_nt_family())
        failed = remove_matching(folder, name_pattern);
    else if (to_wide(folder, wide_folder, ENTRY_PATH_SIZE))
        failed = remove_matching(wide_folder, name_pattern);
    release_mount_table();
    return failed;
}
