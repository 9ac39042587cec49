// shared/utf8.h: one UTF-8 character read and checked, for every unit that
// takes text in UTF-8 (the packer's lines, the menu builder's values).
#pragma once

#include <cstddef>
#include <cstdint>

// How many bytes of UTF-8 begin at `at` (which has `left` bytes, 1 or more)
// as one character, its code point in *code; 0 when they are none: a byte
// that begins no character, a character cut short, an overlong form, a
// surrogate or a value past U+10FFFF.
inline size_t utf8_character(const unsigned char* at, size_t left, uint32_t* code)
{
    const unsigned lead = at[0];
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || length > left)
        return 0;
    uint32_t value = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; i++) {
        if ((at[i] & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (at[i] & 0x3F);
    }
    static const uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < LEAST[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    *code = value;
    return length;
}
