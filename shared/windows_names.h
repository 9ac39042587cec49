// shared/windows_names.h: the characters that a Windows file or folder name
// may not hold, for every part of the program that checks a name or a path
// (the directory answer, the path mapping, the built-in interpreter, the
// packer).
#pragma once

#include <cstring>
#include <type_traits>

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

// Whether `name`, as found on the host (UTF-8 bytes, or UTF-16 units as the
// Windows kernel hands names back; in both, a unit below 0x80 is that ASCII
// character), can be named as one entry of a Windows folder: it holds no
// separator and no character Windows forbids. A Unix name may hold either.
template <typename Unit>
bool is_one_windows_name(const Unit* name)
{
    for (; *name != 0; name++) {
        const auto unit = static_cast<std::make_unsigned_t<Unit>>(*name);
        if (unit < 0x80 &&
            (unit == '\\' || unit == '/' || is_forbidden_in_windows_name(static_cast<unsigned char>(unit))))
            return false;
    }
    return true;
}
