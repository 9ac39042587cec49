// shared/windows_names.h: what a Windows file or folder name may not be or
// hold, and where a Windows path's last name starts, for every part of the
// program that checks a name or takes a path apart (the directory answer,
// the path mapping, the built-in interpreter, the menu builder, the archive
// reader, the packer, the Windows host).
#pragma once

#include <cstring>
#include <type_traits>

#include "shared/sjis.h"

// A-Z become a-z; every other byte stays as it is.
inline char fold_ascii_case(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the first `length` bytes at `a` and at `b` are the same, ASCII
// letters in either case: the one way names and words are compared as
// Windows compares them (a NUL in one and not the other differs).
inline bool same_bytes_ignoring_case(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if (fold_ascii_case(a[i]) != fold_ascii_case(b[i]))
            return false;
    return true;
}

// Whether the NUL-terminated `a` and `b` are the same, ASCII letters in
// either case.
inline bool same_ignoring_case(const char* a, const char* b)
{
    const size_t length = strlen(a);
    return length == strlen(b) && same_bytes_ignoring_case(a, b, length);
}

// Whether the second character of `path` is a colon: a drive as the
// command interpreter and the batch file take one, whatever stands before
// the colon, and what the archive reader refuses in a member's name.
inline bool has_colon_second(const char* path)
{
    return path[0] != '\0' && path[1] == ':';
}

// Whether `path` (bytes or UTF-16 units) begins with a drive: an ASCII
// letter and a colon, "c:".
template <typename Unit>
bool has_drive_prefix(const Unit* path)
{
    const Unit letter = path[0];
    return ((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z')) && path[1] == ':';
}

// Whether `c`, a byte or a UTF-16 unit, is one of the two separators that
// Windows takes between the names of a path: \ and /.
template <typename Unit>
bool is_path_separator(Unit c)
{
    return c == '\\' || c == '/';
}

// How far the character at `text` of a Windows path reaches, in units: a
// code page 932 character whole (shared/sjis.h), so that a trail byte of
// 0x5C is never taken for a backslash; a UTF-16 unit alone, since no unit
// of a surrogate pair is below 0x80.
inline size_t path_character_length(const char* text)
{
    return sjis_character_length(text);
}

template <typename Unit>
size_t path_character_length(const Unit*)
{
    static_assert(sizeof(Unit) > 1, "a path of bytes is code page 932, or says it is UTF-8");
    return 1;
}

// What the bytes of a path are: code page 932, the program's own, or UTF-8
// (the packer's paths on Windows), whose bytes are stepped over one by one,
// since no byte of a character of several is below 0x80.
enum PathBytes { CODE_PAGE_932_BYTES, UTF8_BYTES };

// Where the last name of the Windows path `path` starts: after its last
// separator, else after its drive ("c:" of "c:name"), else at its start.
// The one rule of every part that takes a Windows path apart. `path` is
// UTF-16 units, or bytes of the form `bytes`.
template <typename Unit>
size_t last_name_start(const Unit* path, PathBytes bytes = CODE_PAGE_932_BYTES)
{
    size_t start = has_drive_prefix(path) ? 2 : 0;
    for (size_t i = start; path[i] != 0; i += bytes == UTF8_BYTES ? 1 : path_character_length(path + i))
        if (is_path_separator(path[i]))
            start = i + 1;
    return start;
}

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

// Whether the separators may stand in a text: between the names of a path,
// not in one name.
enum Separators { SEPARATORS_ALLOWED, SEPARATORS_FORBIDDEN };

// Whether the code page 932 text holds a single-byte character that
// Windows forbids in a name, double-byte characters stepped over whole;
// the separators count too where `separators` forbids them.
inline bool holds_forbidden_character(const char* text, Separators separators)
{
    for (const char* p = text; *p != '\0'; p += sjis_character_length(p)) {
        const auto c = static_cast<unsigned char>(*p);
        if (sjis_character_length(p) == 1 &&
            (is_forbidden_in_windows_name(c) || (separators == SEPARATORS_FORBIDDEN && is_path_separator(c))))
            return true;
    }
    return false;
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
            (is_path_separator(unit) || is_forbidden_in_windows_name(static_cast<unsigned char>(unit))))
            return false;
    }
    return true;
}

// Whether the name from `start` to `end` is "..", or a name of dots and
// blanks with two dots or more, which Windows may make ".." by dropping the
// dots and blanks at its end.
inline bool is_dots_and_blanks(const char* start, const char* end)
{
    int dots = 0;
    for (const char* p = start; p != end; p++) {
        if (*p != '.' && *p != ' ')
            return false;
        dots += *p == '.';
    }
    return dots >= 2;
}

// The length of the first `length` bytes of `name` that Windows keeps:
// without the dots and blanks at their end, which it drops. Neither byte
// is ever the second byte of a double-byte character.
inline size_t kept_name_length(const char* name, size_t length)
{
    while (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' '))
        length--;
    return length;
}

// Whether Windows takes the name from `start` to `end` for a device
// wherever it stands, whatever follows a dot in it and in any letter case:
// "nul.txt" or "Com1.log" opens the device, not a file (as Wine showed for
// NUL, AUX and COM1). The part before the first dot counts, without its
// trailing blanks.
inline bool is_device_name(const char* start, const char* end)
{
    static const char* const DEVICES[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    const char* stem_end = start;
    while (stem_end != end && *stem_end != '.')
        stem_end++;
    while (stem_end != start && stem_end[-1] == ' ')
        stem_end--;
    char stem[8] = "";
    const size_t length = static_cast<size_t>(stem_end - start);
    if (length >= sizeof stem)
        return false;
    for (size_t i = 0; i < length; i++)
        stem[i] = fold_ascii_case(start[i]);
    stem[length] = '\0';
    for (const char* device : DEVICES)
        if (strcmp(stem, device) == 0)
            return true;
    return length == 4 && (memcmp(stem, "com", 3) == 0 || memcmp(stem, "lpt", 3) == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

// Why a file name (code page 932, one name, no folder) cannot be created
// under itself in a Windows folder, or NAME_FITS.
enum NameFault {
    NAME_FITS,
    NAME_EMPTY,
    NAME_FORBIDDEN_CHARACTER,  // a control character, a separator or one of "*:<>?|
    NAME_INVALID_PAIR,         // a lead byte without its trail byte
    NAME_DOTS,                 // "..", or dots and blanks that may become it
    NAME_DEVICE,               // CON, NUL, COM1, ... whatever follows a dot
    NAME_DOT_OR_BLANK_AT_END,  // Windows drops them: the file gets another name
};

inline NameFault windows_name_fault(const char* name)
{
    const char* end = name + strlen(name);
    if (name == end)
        return NAME_EMPTY;
    if (has_invalid_sjis_pair(name))
        return NAME_INVALID_PAIR;
    if (holds_forbidden_character(name, SEPARATORS_FORBIDDEN))
        return NAME_FORBIDDEN_CHARACTER;
    if (is_dots_and_blanks(name, end))
        return NAME_DOTS;
    if (is_device_name(name, end))
        return NAME_DEVICE;
    if (kept_name_length(name, static_cast<size_t>(end - name)) != static_cast<size_t>(end - name))
        return NAME_DOT_OR_BLANK_AT_END;
    return NAME_FITS;
}
