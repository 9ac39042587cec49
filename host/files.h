// host/files.h: files named by Windows paths.
//
// A path is a code page 932 byte string as the program composes it: a drive
// letter or not, backslashes (or slashes) between components, relative to
// the current directory or not.
//
// Nothing that is opened here blocks, and only regular files are opened: a
// folder, a pipe (FIFO), a device or anything else at the path fails as an
// absent file does, at once.
#pragma once

#include <cstdio>

// Opens a file as fopen does, with the modes "rb", "wb" and "w". In the text
// mode "w" every line feed written becomes CR LF in the file, as the Windows
// C runtime does. Returns nullptr when the file cannot be opened; the caller
// closes the stream with fclose.
//
// Writing ("wb", "w") never writes through a symbolic link (on Windows, a
// reparse point) at the path itself: such a link is removed and a new,
// empty regular file is created in its place, whether the link's target
// exists or not; the target stays untouched. An existing regular file is
// emptied and written over.
FILE* open_file(const char* path, const char* mode);

// Opens the file at `folder` followed directly by `name` (no separator is
// inserted), as open_file does with that path and `mode`, but only when no
// folder of `name` on the way to the file is a symbolic link (on Windows, a
// reparse point such as a junction): a member "sub\x.txt" is not written
// when "sub" in `folder` is a link. `folder` is taken as it is, and may be
// a link itself or lie below one. `folder` ends in a separator (or is
// empty, for the current directory); `name` is relative, holds no ".."
// component and does not end in a separator. Returns nullptr when the file
// cannot be opened, a linked folder on the way included.
FILE* open_file_in(const char* folder, const char* name, const char* mode);

// Whether the system can name a file by `path` at all: every character of
// it has a form in the system's own names (UTF-8 on POSIX, UTF-16 on the
// Windows NT family). Windows 95 and 98 take the bytes as they are.
bool is_path_convertible(const char* path);
