// host/posix/codepage.h: the POSIX host's character sets: code page 932,
// the program's own, to and from UTF-8 (the host's names), UTF-16 (what a
// shortcut file holds) and the character set of the user's terminal,
// through the system's iconv. Every unit of the POSIX host that meets text
// in another character set (the console, the interrupt's last line, the
// files and the packer's files, the Wine imitation) converts here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/sjis.h"

// What a conversion does with what it cannot convert (bytes that are not
// valid in the text's character set, a character without a form in the
// target's): fail the whole call, or put one '?' in its place.
enum Unconvertible { REFUSE_UNCONVERTIBLE, REPLACE_UNCONVERTIBLE };

// The most UTF-16 units, the 0 unit not counted, that a conversion to or
// from UTF-16 takes: room for any Windows path (at most 260 units) several
// times over. Longer text fails as text that does not fit.
constexpr size_t MAX_UTF16_UNITS = 1024;

// Converts `length` bytes of code page 932 text to UTF-8 in `out`
// (capacity bytes, NUL-terminated); a byte sequence that is not valid code
// page 932 is `unconvertible`. Returns the number of bytes stored before
// the NUL, or -1 when the text is refused or does not fit.
long cp932_to_utf8(const char* text, size_t length, char* out, size_t capacity, Unconvertible unconvertible);

// The reverse: UTF-8 to code page 932, with the same rules.
long utf8_to_cp932(const char* text, size_t length, char* out, size_t capacity, Unconvertible unconvertible);

// Converts the host name `name` (`length` bytes of UTF-8) to code page 932
// in `out` (capacity bytes, NUL-terminated), only where the result reads
// back as the same name: a character with no code page 932 form, or one
// whose form stands for another character (U+00A5 becomes 0x5C, a
// backslash), fails the call. Returns the bytes stored or -1.
long utf8_to_exact_cp932(const char* name, size_t length, char* out, size_t capacity);

// Whether the NUL-terminated `text` is well-formed UTF-8: no stray
// continuation byte, no sequence cut short, no longer form than needed, no
// UTF-16 surrogate and nothing past U+10FFFF.
bool is_utf8(const char* text);

// Converts a NUL-terminated code page 932 string to UTF-16 units in `out`
// (capacity units, terminator included), as MultiByteToWideChar does with
// code page 932. Returns the number of units stored including the
// terminator, or 0 when the text is invalid or does not fit completely
// (at most MAX_UTF16_UNITS units are converted).
int cp932_to_utf16(const char* text, uint16_t* out, size_t capacity);

// The reverse: a 0-terminated UTF-16 string to code page 932 in `out`
// (capacity bytes, NUL included). False when a character has no code page
// 932 form or it does not fit.
bool utf16_to_cp932(const uint16_t* wide, char* out, size_t capacity);

// Lays `count` UTF-16 units (at most MAX_UTF16_UNITS) out in `bytes`
// (2 * count of them) as little-endian pairs without a byte-order mark,
// the form that iconv takes as "UTF-16LE".
void utf16_to_little_endian(const uint16_t* wide, size_t count, char* bytes);

// The longest piece cp932_piece_to_user takes, and the room its output
// needs: every code page 932 character is in the Basic Multilingual Plane,
// so one input byte (a halfwidth katakana) gives at most three bytes of
// UTF-8 or of the Japanese character sets (four of GB 18030), and a waiting
// lead byte adds one input byte.
constexpr size_t CP932_PIECE_SIZE = 1024;
constexpr size_t CONVERTED_PIECE_SIZE = 4 * (CP932_PIECE_SIZE + 1);

// Converts the next piece (at most CP932_PIECE_SIZE bytes) of code page
// 932 text that arrives in pieces, as console writes do, to the user's
// character set (as user_console_charset last found it) in `out`
// (CONVERTED_PIECE_SIZE bytes, no NUL added): a lead byte that ends one
// piece waits in `pieces` for the byte that completes it (join_sjis_piece);
// what cannot be converted becomes '?'. When the system has no such
// conversion the bytes pass unchanged. Returns the number of bytes stored.
size_t cp932_piece_to_user(SjisPieces& pieces, const char* piece, size_t length, char* out);

// Converts `length` bytes that the user typed, in the user's character set,
// to code page 932 in `out` (capacity bytes, NUL-terminated). Returns the
// bytes stored, or -1 when a character has no code page 932 form, the
// bytes are not valid in that character set, or they do not fit.
long user_to_cp932(const char* text, size_t length, char* out, size_t capacity);

// Whether the console must be converted to and from the character set of
// the user's locale (LC_ALL, LC_CTYPE, LANG, as setlocale reads them): for
// every one the system can convert (UTF-8, EUC-JP, ...) but ASCII (the C
// and POSIX locales) and Shift_JIS, whose bytes are the program's own. The
// program's own locale is left as it was, so that no byte test of the
// program depends on the user's locale.
bool user_console_charset();
