// host/files.h: files named by Windows paths.
//
// A path is a code page 932 byte string as the program composes it: a drive
// letter or not, backslashes (or slashes) between components, relative to
// the current directory or not.
#pragma once

#include <cstdio>

// Opens a file as fopen does, with the modes "rb", "wb" and "w". In the text
// mode "w" every line feed written becomes CR LF in the file, as the Windows
// C runtime does. Returns nullptr when the file cannot be opened; the caller
// closes the stream with fclose.
FILE* open_file(const char* path, const char* mode);
