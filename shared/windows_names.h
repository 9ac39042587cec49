// shared/windows_names.h: the characters that a Windows file or folder name
// may not hold, for every part of the program that checks a name or a path
// (the directory answer, the path mapping, the built-in interpreter, the
// packer).
#pragma once

#include <cstring>

// Besides these, the control bytes below 0x20 may not stand in a name, and
// the separators \ and / stand only between names.
constexpr char WINDOWS_FORBIDDEN_NAME_CHARACTERS[] = "\"*:<>?|";

// Whether the single-byte character `c` may not stand in a Windows name.
// The second byte of a double-byte character may be any byte: callers step
// over double-byte characters whole.
inline bool is_forbidden_in_windows_name(unsigned char c)
{
    return c < 0x20 || strchr(WINDOWS_FORBIDDEN_NAME_CHARACTERS, c) != nullptr;
}
