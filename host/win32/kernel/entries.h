// host/win32/kernel/entries.h: files and folders as the kernel names them, for
// the Windows host's files, folder tree, command interpreter and shell link.
//
// Names. On the NT family every path reaches the kernel in UTF-16,
// converted from code page 932 whatever the system's ANSI code page is, and
// a name the kernel hands back stays UTF-16. Windows 95 and 98 lack the
// wide file calls: there paths stay bytes of the system's ANSI code page.
// Code that serves both is written once over the character type (char or
// wchar_t); the kernel calls it needs are overloaded for each below.
//
// Composing. Every path of bytes is composed by compose (shared/buffers.h),
// the program's one composer; it takes bytes only, so join_path below
// joins the UTF-16 paths of the NT family itself.
//
// Links. Windows shows a symbolic link or a junction as a reparse point,
// and opening one with FILE_FLAG_OPEN_REPARSE_POINT opens the link itself.
// Wine shows a Unix symbolic link to a file as a plain file (to a folder,
// as a reparse point), and opening, deleting or writing it always reaches
// what it leads to. One test holds on both: an entry opened without
// following a reparse point has its own path as its final path, and a link
// that was followed all the same has its target's. Where the system has no
// final paths (before Windows Vista), it has no links that it does not show
// as reparse points, and the test passes.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "shared/compose.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

// The code page of every byte string of the program.
constexpr UINT CODE_PAGE_932 = 932;

// Room for every path the host composes or is given back, in characters,
// terminator included; a longer one is not used.
constexpr size_t ENTRY_PATH_SIZE = 1024;

// Whether the system is of the NT family (the wide calls work).
bool is_nt_family();

// Whether entries are opened as themselves, and checked and changed through
// their handles: on the NT family, and under Wine whatever Windows version
// it reports, since it has every call of the NT family. Windows 95 and 98
// have none of it, and no links: there the program goes by paths.
bool works_through_handles();

// The call `name` of `module`, found at run time, as a pointer of type
// `Function`; null where the module or the call is missing, so that the
// program still starts on the systems that lack it.
template <typename Function>
Function find_call(HMODULE module, const char* name)
{
    const FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    // void (*)() converts to and from every function pointer type.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// Converts code page 932 text to UTF-16 in `out` (capacity units, 0 unit
// included). False when a byte sequence is not code page 932 or the text
// does not fit.
bool to_wide(const char* text, wchar_t* out, size_t capacity);

// Converts a UTF-16 name to code page 932 in `out` (capacity bytes, NUL
// included), only where the result converts back to the same name: U+00A5,
// which code page 932 writes as 0x5C (a backslash), and every character
// without a form of its own fail the call.
bool to_exact_cp932(const wchar_t* name, char* out, size_t capacity);

// The stream that reads the file open at `handle` (a file on a disk only),
// or nullptr, the handle then closed: the one way a handle becomes a stream
// for reading.
FILE* reading_stream_of(HANDLE handle);

// Whether final paths can be asked for (Vista and later, and Wine).
bool final_paths_known();

// Writes the final path of `folder`, links on the way followed, into `out`
// (ENTRY_PATH_SIZE units). Where final paths are unknown, `out` is empty
// and the call succeeds. False when the folder cannot be opened.
bool get_folder_final_path(const char* folder, wchar_t* out);
bool get_folder_final_path(const wchar_t* folder, wchar_t* out);

// Opens the entry at `path` itself, a reparse point not followed, with
// `access` and every kind of sharing: OPEN_EXISTING or CREATE_NEW.
HANDLE open_entry(const char* path, DWORD access, DWORD disposition);
HANDLE open_entry(const wchar_t* path, DWORD access, DWORD disposition);

// Whether the open entry `entry` is the entry named `tail` in the folder
// whose final path is `folder_final`: no link that the system followed, and
// no Unix mount point on the way from the folder (under Wine). `tail` may
// hold separators; letter case does not count. True where final paths are
// unknown.
bool is_itself(HANDLE entry, const wchar_t* folder_final, const char* tail);
bool is_itself(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail);

// Reading the Unix mount table (under Wine) once for many checks: from
// hold_mount_table() to release_mount_table(), is_itself goes by the table
// as it was at the first check after the hold, instead of reading it for
// every check. Holds nest.
void hold_mount_table();
void release_mount_table();

// Whether the open entry `entry`, met at the end `tail` of a path below the
// folder whose final path is `folder_final`, is one that the program may
// replace or remove as an entry: a file of its own, or a link shown as a
// reparse point, which is replaced or removed as the link it is. Not a
// folder, a device or a pipe, nor a link that the system follows
// regardless (a Unix symbolic link under Wine), nor an entry of another
// mount.
bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const char* tail);
bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail);

// Whether what stands at `path` (the end `tail` of it named from the
// folder whose final path is `folder_final`) may be replaced by a new file
// moved over it: nothing, or an entry that is_replaceable. Looked at
// through a handle that reads and writes nothing.
bool may_replace_at(const char* path, const wchar_t* folder_final, const char* tail);
bool may_replace_at(const wchar_t* path, const wchar_t* folder_final, const wchar_t* tail);

// Removes what stands at `path`, where a new file is about to be created
// in place: nothing there is fine; an entry that is_replaceable is deleted
// through the very handle it was checked by (delete_through); anything
// else makes the call fail. Windows 95 and 98, which have no links, delete
// by the path. False when something stays.
bool clear_entry_at(const char* path, const wchar_t* folder_final, const char* tail);
bool clear_entry_at(const wchar_t* path, const wchar_t* folder_final, const wchar_t* tail);

// Marks the open entry `entry` (opened with DELETE access) for deletion
// through its own handle: it goes when its last handle is closed, whatever
// has happened to its name since it was opened. A folder must be empty.
// Through SetFileInformationByHandle where the system has it (Vista and
// later, and Wine), else through NtSetInformationFile (the NT family
// before Vista). False where it cannot be done.
bool delete_through(HANDLE entry);

// Sets the attributes of the open entry `entry` (opened with
// FILE_WRITE_ATTRIBUTES access) through its own handle, as delete_through
// does. False where it cannot be done.
bool set_attributes_through(HANDLE entry, DWORD attributes);

// -- The kernel's calls, for both character types -------------------------

template <typename Char>
using FindData = std::conditional_t<std::is_same<Char, char>::value, WIN32_FIND_DATAA, WIN32_FIND_DATAW>;

inline HANDLE find_first(const char* pattern, WIN32_FIND_DATAA* entry)
{
    return FindFirstFileA(pattern, entry);
}
inline HANDLE find_first(const wchar_t* pattern, WIN32_FIND_DATAW* entry)
{
    return FindFirstFileW(pattern, entry);
}
inline bool find_next(HANDLE search, WIN32_FIND_DATAA* entry)
{
    return FindNextFileA(search, entry) != 0;
}
inline bool find_next(HANDLE search, WIN32_FIND_DATAW* entry)
{
    return FindNextFileW(search, entry) != 0;
}
inline bool delete_file(const char* path)
{
    return DeleteFileA(path) != 0;
}
inline bool delete_file(const wchar_t* path)
{
    return DeleteFileW(path) != 0;
}
inline bool remove_directory(const char* path)
{
    return RemoveDirectoryA(path) != 0;
}
inline bool remove_directory(const wchar_t* path)
{
    return RemoveDirectoryW(path) != 0;
}
inline void set_attributes(const char* path, DWORD attributes)
{
    SetFileAttributesA(path, attributes);
}
inline void set_attributes(const wchar_t* path, DWORD attributes)
{
    SetFileAttributesW(path, attributes);
}
inline DWORD get_attributes(const char* path)
{
    return GetFileAttributesA(path);
}
inline DWORD get_attributes(const wchar_t* path)
{
    return GetFileAttributesW(path);
}

// -- Text of either character type ----------------------------------------

template <typename Char>
size_t text_length(const Char* text)
{
    size_t length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

// Composes `first` and `second` into `out` (capacity characters, 0
// included), with a backslash between them when `separated` and `first`
// does not end in a separator already. False when it does not fit. Bytes
// go through compose; UTF-16 text, which compose does not take, is joined
// here, by the same rule: nothing beyond `capacity` is touched.
inline bool join_path(char* out, size_t capacity, const char* first, const char* second, bool separated)
{
    const size_t first_length = strlen(first);
    const bool add = separated && first_length > 0 && !is_path_separator(first[first_length - 1]);
    return compose(out, capacity, {first, add ? "\\" : "", second});
}

inline bool join_path(wchar_t* out, size_t capacity, const wchar_t* first, const wchar_t* second, bool separated)
{
    const size_t first_length = text_length(first);
    const size_t second_length = text_length(second);
    const bool add = separated && first_length > 0 && !is_path_separator(first[first_length - 1]);
    if (first_length + (add ? 1 : 0) + second_length >= capacity)
        return false;
    size_t used = 0;
    for (size_t i = 0; i < first_length; i++)
        out[used++] = first[i];
    if (add)
        out[used++] = L'\\';
    for (size_t i = 0; i <= second_length; i++)
        out[used++] = second[i];
    return true;
}
