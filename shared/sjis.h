// shared/sjis.h: stepping over Shift_JIS (code page 932) text, the one way
// every part of the program does it.
//
// Nothing decodes the text; only a few byte tests need to know that a lead
// byte (0x81-0x9F, 0xE0-0xFC) takes the next byte with it, so that the
// second byte of a double-byte character, which may be 0x5C, is never taken
// for a backslash.
#pragma once

#include <cstddef>

inline bool is_sjis_lead_byte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length of the character at `text`: 2 for a double-byte character (a lead
// byte and a byte after it), else 1.
inline size_t sjis_character_length(const char* text)
{
    return is_sjis_lead_byte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}
