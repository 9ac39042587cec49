// host/posix/wine/codepage.cpp: code page 932 through the system's iconv.
//
// State:
//   descriptors   one iconv conversion per Direction, opened at its first
//                 use and kept for the run; (iconv_t)-1 before that and
//                 when the system lacks the conversion (every call of that
//                 direction then fails).
//   opened        whether descriptors[d] has been tried.
//   user_charset  the user's character set as the last call of
//                 user_console_charset found it; the two directions to and
//                 from it are opened afresh when it has changed since.
//   user_opened   the character set those two were opened for.
#include "host/posix/wine/codepage.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "shared/sjis.h"
#include "shared/windows_names.h"

enum Direction {
    CP932_TO_UTF8,
    UTF8_TO_CP932,
    CP932_TO_UTF16,
    UTF16_TO_CP932,
    CP932_TO_USER,
    USER_TO_CP932,
    DIRECTION_COUNT
};

// A character set's name as nl_langinfo gives it, and its NUL.
constexpr size_t CHARSET_NAME_SIZE = 64;

// Entry d: the iconv names of the target and the source encoding of
// Direction d, null for the user's character set. UTF-16 is little-endian
// without a byte-order mark, the form that cp932_to_utf16 hands out as
// units.
static const char* const ENCODINGS[DIRECTION_COUNT][2] = {
    {"UTF-8", "CP932"},
    {"CP932", "UTF-8"},
    {"UTF-16LE", "CP932"},
    {"CP932", "UTF-16LE"},
    {nullptr, "CP932"},
    {"CP932", nullptr},
};

static iconv_t descriptors[DIRECTION_COUNT];
static bool opened[DIRECTION_COUNT];
static char user_charset[CHARSET_NAME_SIZE];
static char user_opened[CHARSET_NAME_SIZE];

static iconv_t descriptor(Direction direction)
{
    const bool of_user = direction == CP932_TO_USER || direction == USER_TO_CP932;
    if (of_user && strcmp(user_opened, user_charset) != 0) {
        for (Direction d : {CP932_TO_USER, USER_TO_CP932}) {
            if (opened[d] && descriptors[d] != reinterpret_cast<iconv_t>(-1))
                iconv_close(descriptors[d]);
            opened[d] = false;
        }
        strcpy(user_opened, user_charset);
    }
    if (!opened[direction]) {
        const char* target = ENCODINGS[direction][0] != nullptr ? ENCODINGS[direction][0] : user_charset;
        const char* source = ENCODINGS[direction][1] != nullptr ? ENCODINGS[direction][1] : user_charset;
        descriptors[direction] = iconv_open(target, source);
        opened[direction] = true;
    }
    return descriptors[direction];
}

// How many bytes at `text` (`left` of them, at least one) make the one
// character that could not be converted, so that it becomes a single '?'.
static size_t bad_character_length(Direction direction, const char* text, size_t left)
{
    const auto first = static_cast<unsigned char>(text[0]);
    if (direction == CP932_TO_UTF8 || direction == CP932_TO_UTF16 || direction == CP932_TO_USER)
        return left > 1 ? sjis_character_length(text) : 1;
    // A UTF-8 lead byte and the continuation bytes that follow it, up to the
    // length it announces.
    size_t wanted = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    size_t length = 1;
    while (length < wanted && length < left && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        length++;
    return length;
}

// Converts `length` bytes into at most `capacity` bytes at `out`, without a
// terminator. Returns the bytes stored, or -1 when the text does not fit,
// when it is invalid and `strict`, or when the conversion is missing.
static long convert(Direction direction, const char* text, size_t length, char* out, size_t capacity,
                    bool strict)
{
    iconv_t cd = descriptor(direction);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return -1;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text);
    size_t in_left = length;
    char* next = out;
    size_t out_left = capacity;
    while (in_left > 0) {
        if (iconv(cd, &in, &in_left, &next, &out_left) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG || strict || out_left == 0)
            return -1;
        // EILSEQ, or EINVAL for a character cut off at the end.
        *next++ = '?';
        out_left--;
        const size_t skip = bad_character_length(direction, in, in_left);
        in += skip;
        in_left -= skip;
    }
    return static_cast<long>(next - out);
}

static long convert_string(Direction direction, const char* text, size_t length, char* out,
                           size_t capacity, bool strict)
{
    if (capacity == 0)
        return -1;
    const long stored = convert(direction, text, length, out, capacity - 1, strict);
    if (stored < 0)
        return -1;
    out[stored] = '\0';
    return stored;
}

long cp932_to_utf8(const char* text, size_t length, char* out, size_t capacity, bool strict)
{
    return convert_string(CP932_TO_UTF8, text, length, out, capacity, strict);
}

long utf8_to_cp932(const char* text, size_t length, char* out, size_t capacity, bool strict)
{
    return convert_string(UTF8_TO_CP932, text, length, out, capacity, strict);
}

long utf8_to_exact_cp932(const char* name, size_t length, char* out, size_t capacity)
{
    // A host name is at most NAME_MAX bytes; a path's component from the
    // current directory no more than a path.
    constexpr size_t READ_BACK_SIZE = 4096;
    char read_back[READ_BACK_SIZE];
    const long stored = utf8_to_cp932(name, length, out, capacity, true);
    if (stored < 0 || cp932_to_utf8(out, static_cast<size_t>(stored), read_back, sizeof read_back, true) !=
                          static_cast<long>(length) ||
        memcmp(read_back, name, length) != 0)
        return -1;
    return stored;
}

bool is_utf8(const char* text)
{
    const auto* byte = reinterpret_cast<const unsigned char*>(text);
    while (*byte != 0) {
        const unsigned lead = *byte++;
        if (lead < 0x80)
            continue;
        // The continuation bytes a lead byte asks for, and the lowest
        // and highest second byte that keep the form shortest and the
        // character below U+10FFFF and outside the surrogates.
        int more;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        for (int i = 0; i < more; i++, byte++)
            if (*byte < (i == 0 ? low : 0x80) || *byte > (i == 0 ? high : 0xBF))
                return false;
    }
    return true;
}

int cp932_to_utf16(const char* text, uint16_t* out, size_t capacity)
{
    // Room for any Windows path (at most 260 units) several times over;
    // longer text fails as text that does not fit.
    constexpr size_t UTF16_STAGE_UNITS = 1024;
    char stage[2 * UTF16_STAGE_UNITS];
    if (capacity == 0)
        return 0;
    const size_t room = capacity - 1 < UTF16_STAGE_UNITS ? capacity - 1 : UTF16_STAGE_UNITS;
    const long stored = convert(CP932_TO_UTF16, text, strlen(text), stage, 2 * room, true);
    if (stored < 0)
        return 0;
    const size_t units = static_cast<size_t>(stored) / 2;
    for (size_t i = 0; i < units; i++)
        out[i] = static_cast<uint16_t>(static_cast<unsigned char>(stage[2 * i]) |
                                       static_cast<unsigned char>(stage[2 * i + 1]) << 8);
    out[units] = 0;
    return static_cast<int>(units + 1);
}

bool utf16_to_cp932(const uint16_t* wide, char* out, size_t capacity)
{
    // The same room as cp932_to_utf16 takes.
    constexpr size_t UTF16_STAGE_UNITS = 1024;
    char stage[2 * UTF16_STAGE_UNITS];
    size_t units = 0;
    for (; wide[units] != 0; units++) {
        if (units == UTF16_STAGE_UNITS)
            return false;
        stage[2 * units] = static_cast<char>(wide[units] & 0xFF);
        stage[2 * units + 1] = static_cast<char>(wide[units] >> 8);
    }
    return convert_string(UTF16_TO_CP932, stage, 2 * units, out, capacity, true) >= 0;
}

size_t cp932_stream_convert(StreamCharset charset, Cp932Stream& stream, const char* piece, size_t length,
                            char* out)
{
    char joined[CP932_PIECE_SIZE + 1];
    size_t count = 0;
    if (stream.holding)
        joined[count++] = static_cast<char>(stream.lead);
    if (length > CP932_PIECE_SIZE)
        length = CP932_PIECE_SIZE;
    memcpy(joined + count, piece, length);
    count += length;

    // Find where the last whole character ends; a lead byte after it waits.
    size_t whole = 0;
    stream.holding = false;
    while (whole < count) {
        if (whole + 1 == count && is_sjis_lead_byte(static_cast<unsigned char>(joined[whole]))) {
            stream.lead = static_cast<unsigned char>(joined[whole]);
            stream.holding = true;
            break;
        }
        whole += sjis_character_length(joined + whole);
    }
    const long stored = convert(charset == STREAM_TO_UTF8 ? CP932_TO_UTF8 : CP932_TO_USER, joined, whole, out,
                                CONVERTED_PIECE_SIZE, false);
    if (stored >= 0)
        return static_cast<size_t>(stored);
    memcpy(out, joined, whole);
    return whole;
}

long user_to_cp932(const char* text, size_t length, char* out, size_t capacity)
{
    return convert_string(USER_TO_CP932, text, length, out, capacity, true);
}

// Whether the character set `name` is one of those whose bytes the console
// passes as they are. Spellings differ between systems ("UTF-8", "utf8",
// "Shift_JIS", "SJIS"): only letters and digits count, in either case.
static bool passes_unchanged(const char* name)
{
    static const char* const PASSING[] = {"ansix341968", "ascii", "usascii", "shiftjis", "sjis",
                                          "cp932", "windows31j", "mskanji"};
    char letters[CHARSET_NAME_SIZE];
    size_t count = 0;
    for (const char* c = name; *c != '\0' && count + 1 < sizeof letters; c++) {
        const char lower = fold_ascii_case(*c);
        if ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9'))
            letters[count++] = lower;
    }
    letters[count] = '\0';
    for (const char* passing : PASSING)
        if (strcmp(letters, passing) == 0)
            return true;
    return false;
}

bool user_console_charset()
{
    constexpr size_t LOCALE_NAME_SIZE = 512;
    char saved[LOCALE_NAME_SIZE] = "C";
    const char* current = setlocale(LC_ALL, nullptr);
    if (current != nullptr && strlen(current) < sizeof saved)
        strcpy(saved, current);
    user_charset[0] = '\0';
    if (setlocale(LC_ALL, "") != nullptr) {
        const char* name = nl_langinfo(CODESET);
        if (strlen(name) < sizeof user_charset)
            strcpy(user_charset, name);
    }
    setlocale(LC_ALL, saved);
    return user_charset[0] != '\0' && !passes_unchanged(user_charset) &&
           descriptor(CP932_TO_USER) != reinterpret_cast<iconv_t>(-1) &&
           descriptor(USER_TO_CP932) != reinterpret_cast<iconv_t>(-1);
}
