// host/posix/wine/codepage.h: conversions between code page 932, UTF-8 and
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
// (at most 1024 units are converted).
int cp932_to_utf16(const char* text, uint16_t* out, size_t capacity);

// The reverse: a 0-terminated UTF-16 string to code page 932 in `out`
// (capacity bytes, NUL included). False when a character has no code page
// 932 form or it does not fit.
bool utf16_to_cp932(const uint16_t* wide, char* out, size_t capacity);

// Code page 932 text that arrives in pieces, as console writes do: a lead
// byte that ends one piece waits here for the byte that completes it.
struct Cp932Stream {
    unsigned char lead;  // the waiting lead byte, when holding
    bool holding;
};

// The character sets a stream converts into: UTF-8, or the user's
// (user_console_charset).
enum StreamCharset { STREAM_TO_UTF8, STREAM_TO_USER };

// The longest piece cp932_stream_convert takes, and the room its output
// needs: every code page 932 character is in the Basic Multilingual Plane,
// so one input byte (a halfwidth katakana) gives at most three bytes of
// UTF-8 or of the Japanese character sets (four of GB 18030), and a waiting
// lead byte adds one input byte.
constexpr size_t CP932_PIECE_SIZE = 1024;
constexpr size_t CONVERTED_PIECE_SIZE = 4 * (CP932_PIECE_SIZE + 1);

// Converts the next piece of a stream (at most CP932_PIECE_SIZE bytes) to
// `charset` in `out` (CONVERTED_PIECE_SIZE bytes, no NUL added); what
// cannot be converted becomes '?'. When the system has no such conversion
// the bytes pass unchanged. Returns the number of bytes stored.
size_t cp932_stream_convert(StreamCharset charset, Cp932Stream& stream, const char* piece, size_t length,
                            char* out);

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
// path to its ANSI code page. Strict: only where every character has a
// form there that converts back to it, and false otherwise. Not strict:
// each character without one becomes '?'. False also when the system
// lacks the code page or the text does not fit.
bool utf16_to_code_page(unsigned code_page, const uint16_t* wide, char* out, size_t capacity, bool strict);
