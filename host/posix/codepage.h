// host/posix/codepage.h: conversions between code page 932, UTF-8 and
// UTF-16, through the system's iconv.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts `length` bytes of code page 932 text to UTF-8 in `out`
// (capacity bytes, NUL-terminated). With `strict`, a byte sequence that is
// not valid code page 932 fails the call; otherwise it becomes '?'.
// Returns the number of bytes stored before the NUL, or -1 when the text is
// invalid (strict) or does not fit.
long cp932_to_utf8(const char* text, size_t length, char* out, size_t capacity, bool strict);

// The reverse: UTF-8 to code page 932, with the same rules.
long utf8_to_cp932(const char* text, size_t length, char* out, size_t capacity, bool strict);

// Converts a NUL-terminated code page 932 string to UTF-16 units in `out`
// (capacity units, terminator included), as MultiByteToWideChar does with
// code page 932. Returns the number of units stored including the
// terminator, or 0 when the text is invalid or does not fit completely.
int cp932_to_utf16(const char* text, uint16_t* out, size_t capacity);
