// host/win32/kernel/final_paths.h: the test that tells an entry from a
// link that was followed, and what the program may replace or remove by
// it.
//
// Windows shows a symbolic link or a junction as a reparse point, opened
// itself (host/win32/kernel/handles.h). Wine shows a Unix symbolic link to
// a file as a plain file (to a folder, as a reparse point), and opening,
// deleting or writing it always reaches what it leads to. One test holds
// on both: an entry opened without following a reparse point has its own
// path as its final path, and a link that was followed all the same has
// its target's; a Unix mount point on the way shows in the mount table
// (host/win32/kernel/mount_table.h). Where the system has no final paths
// (before Windows Vista), it has no links that it does not show as
// reparse points, and the test passes.
#pragma once

#include "host/win32/kernel/base.h"

// Writes the final path of `folder`, links on the way followed, into `out`
// (ENTRY_PATH_SIZE units). Where final paths are unknown, `out` is empty
// and the call succeeds. False when the folder cannot be opened.
bool get_folder_final_path(const char* folder, wchar_t* out);
bool get_folder_final_path(const wchar_t* folder, wchar_t* out);

// Whether the open entry `entry` is the entry named `tail` in the folder
// whose final path is `folder_final`: no link that the system followed, and
// no Unix mount point on the way from the folder (under Wine). `tail` may
// hold separators; letter case does not count. True where final paths are
// unknown.
bool is_itself(HANDLE entry, const wchar_t* folder_final, const char* tail);
bool is_itself(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail);

// Whether the open entry `entry`, met at the end `tail` of a path below the
// folder whose final path is `folder_final`, is one that the program may
// replace or remove as an entry: a file of its own, or a link shown as a
// reparse point, which is replaced or removed as the link it is. Not a
// folder, a device or a pipe, nor a link that the system follows
// regardless (a Unix symbolic link under Wine), nor an entry of another
// mount.
bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const char* tail);
bool is_replaceable(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail);

// The same, but for a link shown as a reparse point too: whether `entry`
// is a file of its own, as a new file of this program is.
bool is_own_file(HANDLE entry, const wchar_t* folder_final, const char* tail);
bool is_own_file(HANDLE entry, const wchar_t* folder_final, const wchar_t* tail);

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
