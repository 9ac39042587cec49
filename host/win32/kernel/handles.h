// host/win32/kernel/handles.h: entries opened by the kernel, and changed
// through their own handles.
//
// Windows shows a symbolic link or a junction as a reparse point, and
// opening one with FILE_FLAG_OPEN_REPARSE_POINT opens the link itself: an
// entry opened here is the entry, and what is changed through its handle
// is that entry, whatever has happened to its name since. Whether it is
// the entry its path named from a folder, and not one that the system
// reached through a link all the same, is host/win32/kernel/final_paths.h.
#pragma once

#include <cstdio>

#include "host/win32/kernel/base.h"

// Opens the entry at `path` itself, a reparse point not followed, with
// `access` and every kind of sharing: OPEN_EXISTING or CREATE_NEW.
HANDLE open_entry(const char* path, DWORD access, DWORD disposition);
HANDLE open_entry(const wchar_t* path, DWORD access, DWORD disposition);

// Opens the folder at `folder`, links on the way and at its end followed,
// to read its attributes, with every kind of sharing.
HANDLE open_folder(const char* folder);
HANDLE open_folder(const wchar_t* folder);

// The stream that reads the file open at `handle` (a file on a disk only),
// or nullptr, the handle then closed: the one way a handle becomes a stream
// for reading.
FILE* reading_stream_of(HANDLE handle);

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
