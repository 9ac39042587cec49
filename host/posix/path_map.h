// host/posix/path_map.h: Windows paths on the host, the way Wine sees them.
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

// Maps `windows_path` to a host path in `host_path` (HOST_PATH_SIZE bytes).
// Every component but the last must exist as a directory to be matched by
// case; the last is matched by case when it exists and kept as written
// otherwise. Returns false when the path cannot be mapped (an absent drive,
// a network path, a component that is not valid code page 932 or holds a
// byte Windows forbids in names, too long).
bool map_path(const char* windows_path, char* host_path);

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
