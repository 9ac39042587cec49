// host/posix/wine/path_map.h: Windows paths on the host, the way Wine sees
// them.
//
// Prefix: $WINEPREFIX when set and not empty, else $HOME/.wine. A drive
// letter x: maps to <prefix>/dosdevices/x: when that exists, else c: to
// <prefix>/drive_c and z: to /. The current directory stands on z:.
// Components are converted from code page 932 to UTF-8; an existing entry
// matches a component whatever its ASCII letter case.
//
// Taking a path apart, as Windows does: backslash and slash both separate
// (but not the second byte of a Shift_JIS double-byte character); empty
// components and "." vanish; ".." removes the component before it and never
// climbs above the root of the drive; one trailing dot is cut from every
// component that a separator follows, and all trailing dots and blanks
// from the last component unless the path ends in a separator (a blank in
// front of a separator stays). "...\" is not mapped. A path that
// starts with one separator starts at the root of z:, one with two (a
// network path) is not mapped. "d:name" starts at the root of d:, the only
// folder Wine knows on a drive that is not the current one; on z: it starts
// at the current directory.
#pragma once

#include <cstddef>

// Host paths are at most this long, NUL included.
constexpr size_t HOST_PATH_SIZE = 4096;
// One host directory entry's name and its NUL.
constexpr size_t HOST_NAME_SIZE = 256;

// Maps `windows_path` to a host path in `host_path` (HOST_PATH_SIZE bytes).
// Every component but the last must exist as a directory to be matched by
// case; the last is matched by case when it exists and kept as written
// otherwise. Returns false when the path cannot be mapped (an absent drive,
// a network path, a component that is not valid code page 932 or holds a
// byte Windows forbids in names, too long).
bool map_path(const char* windows_path, char* host_path);

// Takes `windows_path` apart as map_path does, where its first
// `folder_length` bytes name a folder: nothing (the current directory), a
// drive ("d:"), or a path that ends in a separator. Writes the names that
// follow that folder into `names` (HOST_PATH_SIZE bytes), converted for the
// host and joined by slashes, each spelt as written: match_entry_name finds
// their spelling on the host, one folder at a time. False when a name
// cannot be mapped, when no name starts where the folder ends, and when the
// path names the folder itself or climbs out of it ("..").
bool names_below_folder(const char* windows_path, size_t folder_length, char* names);

// The entry of the open folder `folder` that the host name `name` meets,
// into `found` (HOST_NAME_SIZE bytes): the entry spelt the same, else the
// first in name order of those that differ from it only in ASCII letter
// case, else `name` as written; `*absent` says whether it found no entry
// at all (a batch may know that without a look at the folder, and an entry
// made since it read the folder may then be there after all). False when
// `name` is too long for a host name.
bool match_entry_name(int folder, const char* name, char* found, bool* absent);

// Looking up many names, as an extraction does, without reading a folder
// again for each: from remember_folders(folder) to forget_folders(),
// match_entry_name reads each folder whole at its first miss (up to 64
// folders) and remembers every name it found there and every name looked
// up there since, found or about to be created, by a 64-bit hash of it
// with its ASCII letters folded (host/portable/name_table.h); a later name
// that nothing there can match ignoring case, by those hashes, is taken as
// written without a look at the folder, so that each folder is read once,
// however many names go into it. At a name beyond MAX_REMEMBERED_NAMES the
// batch forgets every folder, as forget_folders does, and goes on looking
// each name up in its folder, reading the folder at each miss, as outside
// a batch. An entry that someone else creates in a remembered folder
// meanwhile may go unseen: a new name is then created beside it in the
// case written, and nothing is ever opened through it, since every entry
// is still looked at where it is opened. `folder`, the open folder that
// most lookups start from, must stay open and the same until
// forget_folders.
void remember_folders(int folder);
void forget_folders();

// Makes `windows_path` absolute against the current directory, as Windows
// paths: a relative path or one without a drive gains the drive and folders
// of the current directory (on Z:), for example Z:\home\user\dist\inst\x.
// Writes a code page 932 string of at most `capacity` bytes, NUL included.
// Returns false when it does not fit or cannot be converted.
bool full_windows_path(const char* windows_path, char* out, size_t capacity);

// The Wine prefix folder, in `host_path` (HOST_PATH_SIZE bytes). False when
// neither WINEPREFIX nor a home folder is known, or it is too long.
bool wine_prefix(char* host_path);

// Creates <prefix>/drive_c, and the prefix folder before it when that is
// missing, provided the prefix has no dosdevices entry for c: and drive_c
// does not exist yet: what a fresh, empty prefix needs before anything can
// be installed on c:. Returns true when drive_c was created.
bool create_drive_c();
