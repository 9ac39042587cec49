// shared/sjis.h: stepping over Shift_JIS (code page 932) text, the one way
// every part of the program does it.
//
// Nothing decodes the text; only a few byte tests need to know where a
// character ends, so that the second byte of a double-byte character,
// which may be 0x5C, is never taken for a backslash. The rule: a lead byte
// (0x81-0x9F, 0xE0-0xFC) followed by a trail byte (0x40-0x7E, 0x80-0xFC)
// is one character. A lead byte followed by anything else (a blank, a tab,
// a double quote, the end of the text) is an invalid pair: the lead byte
// stands alone and the byte after it is a character of its own, so that no
// walk over the text can swallow a separator, a blank or a quote.
#pragma once

#include <cstddef>
#include <cstring>

inline bool is_sjis_lead_byte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

inline bool is_sjis_trail_byte(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// Whether the character at `text` is a lead byte without a trail byte.
inline bool is_invalid_sjis_pair(const char* text)
{
    return is_sjis_lead_byte(static_cast<unsigned char>(text[0])) &&
           !is_sjis_trail_byte(static_cast<unsigned char>(text[1]));
}

// Length of the character at `text`: 2 for a lead byte and its trail byte,
// else 1.
inline size_t sjis_character_length(const char* text)
{
    return is_sjis_lead_byte(static_cast<unsigned char>(text[0])) &&
                   is_sjis_trail_byte(static_cast<unsigned char>(text[1]))
               ? 2
               : 1;
}

// Whether NUL-terminated `text` holds an invalid pair anywhere.
inline bool has_invalid_sjis_pair(const char* text)
{
    for (const char* p = text; *p != '\0'; p += sjis_character_length(p))
        if (is_invalid_sjis_pair(p))
            return true;
    return false;
}

// Shift_JIS text that arrives in pieces, as console writes do: a lead byte
// that ends one piece waits for the byte that begins the next, so that a
// character is never converted or shown in halves.
struct SjisPieces {
    char lead;     // the waiting lead byte, when holding
    bool holding;
};

// Puts the waiting lead byte, if any, and then the `length` bytes at
// `piece` into `joined` (room for length + 1 bytes). Returns how many of
// them, from the start, are whole characters: all but a lead byte that
// ends them, which waits in `pieces` for the next piece.
inline size_t join_sjis_piece(SjisPieces& pieces, const char* piece, size_t length, char* joined)
{
    size_t count = 0;
    if (pieces.holding)
        joined[count++] = pieces.lead;
    memcpy(joined + count, piece, length);
    count += length;
    size_t whole = 0;
    while (whole < count && !(whole + 1 == count && is_sjis_lead_byte(static_cast<unsigned char>(joined[whole]))))
        whole += sjis_character_length(joined + whole);
    pieces.holding = whole < count;
    if (pieces.holding)
        pieces.lead = joined[whole];
    return whole;
}
