// host/cp932.h: stepping over code page 932 (Shift_JIS) text in the host
// layer, on every platform.
//
// Nothing here decodes the text: a lead byte (0x81-0x9F, 0xE0-0xFC) takes
// the next byte with it, so the second byte of a double-byte character,
// which may be 0x5C, is never taken for a backslash.
#pragma once

#include <cstddef>

// Whether `value` begins a Shift_JIS double-byte character: the byte after it
// belongs to the same character, even when it is a backslash (0x5C).
inline bool is_cp932_lead(unsigned char value)
{
    return (value >= 0x81 && value <= 0x9F) || (value >= 0xE0 && value <= 0xFC);
}

// Bytes of the character at `text`: 2 for a lead byte that a byte follows,
// else 1.
inline size_t cp932_character_length(const char* text)
{
    return is_cp932_lead(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}
