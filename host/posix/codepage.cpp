// host/posix/codepage.cpp: code page 932 through the system's iconv.
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
#include "host/posix/codepage.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "shared/sjis.h"
#include "shared/utf8.h"
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
// when it is invalid and `unconvertible` refuses it, or when the conversion
// is missing.
static long convert(Direction direction, const char* text, size_t length, char* out, size_t capacity,
                    Unconvertible unconvertible)
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
        if (errno == E2BIG || unconvertible == REFUSE_UNCONVERTIBLE || out_left == 0)
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
                           size_t capacity, Unconvertible unconvertible)
{
    if (capacity == 0)
        return -1;
    const long stored = convert(direction, text, length, out, capacity - 1, unconvertible);
    if (stored < 0)
        return -1;
    out[stored] = '\0';
    return stored;
}

long cp932_to_utf8(const char* text, size_t length, char* out, size_t capacity, Unconvertible unconvertible)
{
    return convert_string(CP932_TO_UTF8, text, length, out, capacity, unconvertible);
}

long utf8_to_cp932(const char* text, size_t length, char* out, size_t capacity, Unconvertible unconvertible)
{
    return convert_string(UTF8_TO_CP932, text, length, out, capacity, unconvertible);
}

long utf8_to_exact_cp932(const char* name, size_t length, char* out, size_t capacity)
{
    // A host name is at most NAME_MAX bytes; a path's component from the
    // current directory no more than a path.
    constexpr size_t READ_BACK_SIZE = 4096;
    char read_back[READ_BACK_SIZE];
    const long stored = utf8_to_cp932(name, length, out, capacity, REFUSE_UNCONVERTIBLE);
    if (stored < 0 ||
        cp932_to_utf8(out, static_cast<size_t>(stored), read_back, sizeof read_back, REFUSE_UNCONVERTIBLE) !=
                          static_cast<long>(length) ||
        memcmp(read_back, name, length) != 0)
        return -1;
    return stored;
}

bool is_utf8(const char* text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const size_t length = strlen(text);
    uint32_t code = 0;
    for (size_t at = 0, size = 0; at < length; at += size)
        if ((size = utf8_character(bytes + at, length - at, &code)) == 0)
            return false;
    return true;
}

int cp932_to_utf16(const char* text, uint16_t* out, size_t capacity)
{
    char stage[2 * MAX_UTF16_UNITS];
    if (capacity == 0)
        return 0;
    const size_t room = capacity - 1 < MAX_UTF16_UNITS ? capacity - 1 : MAX_UTF16_UNITS;
    const long stored = convert(CP932_TO_UTF16, text, strlen(text), stage, 2 * room, REFUSE_UNCONVERTIBLE);
    if (stored < 0)
        return 0;
    const size_t units = static_cast<size_t>(stored) / 2;
    for (size_t i = 0; i < units; i++)
        out[i] = static_cast<uint16_t>(static_cast<unsigned char>(stage[2 * i]) |
                                       static_cast<unsigned char>(stage[2 * i + 1]) << 8);
    out[units] = 0;
    return static_cast<int>(units + 1);
}

void utf16_to_little_endian(const uint16_t* wide, size_t count, char* bytes)
{
    for (size_t i = 0; i < count; i++) {
        bytes[2 * i] = static_cast<char>(wide[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
}

bool utf16_to_cp932(const uint16_t* wide, char* out, size_t capacity)
{
    char stage[2 * MAX_UTF16_UNITS];
    size_t units = 0;
    while (wide[units] != 0)
        if (++units > MAX_UTF16_UNITS)
            return false;
    utf16_to_little_endian(wide, units, stage);
    return convert_string(UTF16_TO_CP932, stage, 2 * units, out, capacity, REFUSE_UNCONVERTIBLE) >= 0;
}

size_t cp932_piece_to_user(SjisPieces& pieces, const char* piece, size_t length, char* out)
{
    char joined[CP932_PIECE_SIZE + 1];
    const size_t whole = join_sjis_piece(pieces, piece, length < CP932_PIECE_SIZE ? length : CP932_PIECE_SIZE, joined);
    const long stored = convert(CP932_TO_USER, joined, whole, out, CONVERTED_PIECE_SIZE, REPLACE_UNCONVERTIBLE);
    if (stored >= 0)
        return static_cast<size_t>(stored);
    memcpy(out, joined, whole);
    return whole;
}

long user_to_cp932(const char* text, size_t length, char* out, size_t capacity)
{
    return convert_string(USER_TO_CP932, text, length, out, capacity, REFUSE_UNCONVERTIBLE);
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
