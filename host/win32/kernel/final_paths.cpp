// host/win32/kernel/final_paths.cpp: entries told from followed links by
// their final paths. No state.
#include "host/win32/kernel/final_paths.h"

#include "host/win32/kernel/handles.h"
#include "host/win32/kernel/join_path.h"
#include "host/win32/kernel/mount_table.h"

// What check_entry_at does with an entry that may be replaced.
enum EntryAction { ONLY_CHECK, CHECK_AND_DELETE };

template <typename Char>
static bool folder_final_path(const Char* folder, wchar_t* out)
{
    out[0] = 0;
    if (!final_paths_known())
        return true;
    const HANDLE handle = open_folder(folder);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool found = get_final_path(handle, out);
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

// A tail as the kernel reads it: ANSI bytes in the system's code page.
static bool tail_to_wide(const char* tail, wchar_t* out)
{
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, tail, -1, out, ENTRY_PATH_SIZE) > 0;
}

static bool tail_to_wide(const wchar_t* tail, wchar_t* out)
{
    return join_path(out, ENTRY_PATH_SIZE, L"", tail, JOIN_AS_THEY_ARE);
}

template <typename Char>
static bool is_itself_of(HANDLE entry, const wchar_t* folder_final, const Char* tail)
{
    if (!final_paths_known())
        return true;
    wchar_t wide_tail[ENTRY_PATH_SIZE];
    wchar_t expected[ENTRY_PATH_SIZE];
    wchar_t found[ENTRY_PATH_SIZE];
    if (!tail_to_wide(tail, wide_tail) ||
        !join_path(expected, ENTRY_PATH_SIZE, folder_final, wide_tail, JOIN_WITH_SEPARATOR) ||
        !get_final_path(entry, found))
        return false;
    for (wchar_t* c = expected; *c != 0; c++)
        if (*c == L'/')
            *c = L'\\';
    return same_units_ignoring_case(found, text_length(found), expected, text_length(expected)) &&
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

// Whether `entry` is itself, on a disk, with none of the attributes
// `refused`.
template <typename Char>
static bool is_itself_without(HANDLE entry, const wchar_t* folder_final, const Char* tail, DWORD refused)
{
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileType(entry) == FILE_TYPE_DISK && GetFileInformationByHandle(entry, &information) &&
           (information.dwFileAttributes & refused) == 0 && is_itself(entry, folder_final, tail);
}

bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const char* tail)
{
    return is_itself_without(entry, folder_final, tail, FILE_ATTRIBUTE_DIRECTORY);
}

bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail)
{
    return is_itself_without(entry, folder_final, tail, FILE_ATTRIBUTE_DIRECTORY);
}

bool is_own_file(HANDLE entry, const wchar_t* folder_final, const char* tail)
{
    return is_itself_without(entry, folder_final, tail, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}

bool is_own_file(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail)
{
    return is_itself_without(entry, folder_final, tail, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}

// What may_replace_at and clear_entry_at share: the entry at `path` looked
// at through a handle of its own, and deleted through it where `action`
// says so.
template <typename Char>
static bool check_entry_at(const Char* path, const wchar_t* folder_final, const Char* tail, EntryAction action)
{
    const bool removing = action == CHECK_AND_DELETE;
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
    return check_entry_at(path, folder_final, tail, ONLY_CHECK);
}

bool may_replace_at(const wchar_t* path, const wchar_t* folder_final, const wchar_t* tail)
{
    return check_entry_at(path, folder_final, tail, ONLY_CHECK);
}

bool clear_entry_at(const char* path, const wchar_t* folder_final, const char* tail)
{
    return check_entry_at(path, folder_final, tail, CHECK_AND_DELETE);
}

bool clear_entry_at(const wchar_t* path, const wchar_t* folder_final, const wchar_t* tail)
{
    return check_entry_at(path, folder_final, tail, CHECK_AND_DELETE);
}
