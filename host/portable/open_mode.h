// host/portable/open_mode.h: the modes that open_file and open_file_in take
// (host/files.h), told apart in one place for both sides.
#pragma once

// What a mode asks for: reading; writing bytes as they are; writing text
// whose line feeds become CR LF in the file, as the Windows C runtime
// writes text. Any other string is no mode.
enum OpenMode { OPEN_TO_READ, OPEN_TO_WRITE_BINARY, OPEN_TO_WRITE_TEXT, NO_OPEN_MODE };

// The OpenMode of `mode`: "rb", "wb" and "w" in that order; every other
// string (a C library's "r", "a", "w+" included) is NO_OPEN_MODE.
OpenMode open_mode_of(const char* mode);
