// host/win32/kernel/wide_text.h: text converted to and from UTF-16, the
// kernel's own, and names folded as its file systems fold them.
#pragma once

#include <cstddef>

#include "host/win32/kernel/base.h"

// Converts code page 932 text to UTF-16 in `out` (capacity units, 0 unit
// included). False when a byte sequence is not code page 932 or the text
// does not fit.
bool to_wide(const char* text, wchar_t* out, size_t capacity);

// Converts a UTF-16 name to code page 932 in `out` (capacity bytes, NUL
// included), only where the result converts back to the same name: U+00A5,
// which code page 932 writes as 0x5C (a backslash), and every character
// without a form of its own fail the call.
bool to_exact_cp932(const wchar_t* name, char* out, size_t capacity);

// UTF-8 text (the packer's) to UTF-16 in `out` (capacity units, 0 unit
// included). False when it is not UTF-8 or does not fit.
bool utf8_to_wide(const char* text, wchar_t* out, size_t capacity);

// UTF-16 text to UTF-8 in `out` (capacity bytes, NUL included). False when
// the system cannot convert it or it does not fit.
bool wide_to_utf8(const wchar_t* text, char* out, size_t capacity);

// Writes the first `length` units of `name` into `out` (room for `length`
// units, no terminator added) with their letter case folded as the
// system's file systems fold it in names: the system's own upper case of
// each character, across Unicode (fullwidth and Greek letters as well as
// ASCII), unit for unit. False where the system cannot fold them.
bool fold_name_case(const wchar_t* name, size_t length, wchar_t* out);
