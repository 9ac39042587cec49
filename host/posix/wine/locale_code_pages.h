// host/posix/wine/locale_code_pages.h: the Windows code pages that Wine
// takes from the user's locale, and text converted to one of them as Wine
// converts it: what the shell link object needs to write a shortcut file
// as Wine's own does, and to know how Wine's console reads a batch file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/posix/codepage.h"

// The two code pages that Wine gives its programs: the ANSI one, in which
// a shortcut file keeps its target path, and the OEM one, in which the
// console reads a batch file.
struct WineCodePages {
    unsigned ansi;
    unsigned oem;
};

// The code pages that Wine derives from the locale `name`, as setlocale
// names the locale of LC_CTYPE ("ja_JP.UTF-8", "sr_RS@latin", "C"): by its
// language, territory and modifier, whatever its character set; those of
// the C locale, 1252 and 437, for every name Wine does not know.
WineCodePages wine_code_pages_of(const char* name);

// The code pages of a Wine that runs in the user's locale: those of the
// locale of LC_CTYPE as LC_ALL, LC_CTYPE and LANG choose it, or of the C
// locale where the system has no such locale, as Wine finds them. The
// program's own locale is left as it was.
WineCodePages user_wine_code_pages();

// Converts a 0-terminated UTF-16 string to the Windows code page
// `code_page` in `out` (capacity bytes, NUL included), as Wine converts a
// path to its ANSI code page. A character converts where it has a form
// there that converts back to it: with REFUSE_UNCONVERTIBLE the call fails
// on any other (and on text of more than MAX_UTF16_UNITS units), with
// REPLACE_UNCONVERTIBLE each other becomes '?'. False also when the system
// lacks the code page or the text does not fit.
bool utf16_to_code_page(unsigned code_page, const uint16_t* wide, char* out, size_t capacity,
                        Unconvertible unconvertible);
