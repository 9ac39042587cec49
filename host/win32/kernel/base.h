// host/win32/kernel/base.h: the words that every helper of the Windows
// kernel uses: the system's family and what it can do, the room for a path,
// the calls found at run time, and the kernel's calls for both character
// types.
//
// Names. On the NT family every path reaches the kernel in UTF-16,
// converted from code page 932 whatever the system's ANSI code page is
// (host/win32/kernel/wide_text.h), and a name the kernel hands back stays
// UTF-16. Windows 95 and 98 lack the wide file calls: there paths stay
// bytes of the system's ANSI code page. Code that serves both is written
// once over the character type (char or wchar_t); the kernel calls it
// needs are overloaded for each below, and shared/windows_names.h steps
// over both (path_character_length, last_name_start).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <type_traits>

// The code page of every byte string of the program.
constexpr UINT CODE_PAGE_932 = 932;

// Room for every path the host composes or is given back, in characters,
// terminator included; a longer one is not used.
constexpr size_t ENTRY_PATH_SIZE = 1024;

// Whether the system is of the NT family (the wide calls work).
bool is_nt_family();

// Whether final paths can be asked for (Vista and later, and Wine): the
// two calls below are there.
bool final_paths_known();

// Whether entries are opened as themselves, and checked and changed through
// their handles: on the NT family, and under Wine whatever Windows version
// it reports, since it has every call of the NT family. Windows 95 and 98
// have none of it, and no links: there the program goes by paths.
bool works_through_handles();

// GetFinalPathNameByHandleW, only where final_paths_known: the final path
// of the open entry `entry`, links on the way followed, into `out`
// (ENTRY_PATH_SIZE units). False when it does not fit.
bool get_final_path(HANDLE entry, wchar_t* out);

// CompareStringOrdinal, letter case ignored, only where final_paths_known:
// whether the first `a_length` units of `a` and the first `b_length` of `b`
// are one name, as the file systems compare names.
bool same_units_ignoring_case(const wchar_t* a, size_t a_length, const wchar_t* b, size_t b_length);

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

template <typename Char>
size_t text_length(const Char* text)
{
    size_t length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

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
inline HANDLE create_file(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}
inline HANDLE create_file(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}
