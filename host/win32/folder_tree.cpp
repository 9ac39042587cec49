// host/win32/folder_tree.cpp: deleting folder entries through the kernel,
// never following a link. No state.
//
// A folder that is a reparse point (a junction or a symbolic link) is
// removed as the link it is; only a real folder is gone into. Read-only,
// hidden and system files are deleted like any other, as deltree does.
#define NOMINMAX
#include <windows.h>

#include <cstring>

#include "host/deltree.h"
#include "host/folder_tree.h"

// Folder levels below a deleted folder that are gone down; a deeper tree
// is left where it is and reported.
constexpr unsigned MAX_TREE_DEPTH = 64;
// The ANSI functions take paths of up to MAX_PATH bytes.
constexpr size_t TREE_PATH_SIZE = MAX_PATH;

// Composes folder + "\" + name into `out`; false when it does not fit.
static bool join(char* out, const char* folder, const char* name)
{
    const size_t folder_length = strlen(folder);
    const size_t name_length = strlen(name);
    const bool separated = folder_length > 0 && (folder[folder_length - 1] == '\\' || folder[folder_length - 1] == '/');
    const size_t length = folder_length + (separated ? 0 : 1) + name_length;
    if (length >= TREE_PATH_SIZE)
        return false;
    memcpy(out, folder, folder_length);
    size_t used = folder_length;
    if (!separated)
        out[used++] = '\\';
    memcpy(out + used, name, name_length + 1);
    return true;
}

static bool remove_tree(const char* path, DWORD attributes, unsigned depth);

// Removes everything inside the real folder `path`; false when something
// stayed.
static bool empty_folder(const char* path, unsigned depth)
{
    char pattern[TREE_PATH_SIZE];
    if (!join(pattern, path, "*"))
        return false;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool all_removed = true;
    do {
        char inner[TREE_PATH_SIZE];
        if (is_dot_name(entry.cFileName))
            continue;
        if (!join(inner, path, entry.cFileName) || !remove_tree(inner, entry.dwFileAttributes, depth + 1))
            all_removed = false;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return all_removed;
}

// Removes `path`, whose attributes are `attributes`: a file or a link at
// once, a real folder after everything in it.
static bool remove_tree(const char* path, DWORD attributes, unsigned depth)
{
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return DeleteFileA(path) != 0;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return RemoveDirectoryA(path) != 0;
    if (depth == MAX_TREE_DEPTH)
        return false;
    const bool emptied = empty_folder(path, depth);
    return RemoveDirectoryA(path) != 0 && emptied;
}

int remove_matching_entries(const char* folder, const char* name_pattern)
{
    char pattern[TREE_PATH_SIZE];
    if (!join(pattern, folder, "*"))
        return 0;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int failed = 0;
    do {
        char path[TREE_PATH_SIZE];
        if (is_dot_name(entry.cFileName) || !matches_dos_pattern(name_pattern, entry.cFileName))
            continue;
        if (!join(path, folder, entry.cFileName) || !remove_tree(path, entry.dwFileAttributes, 0))
            failed++;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return failed;
}
