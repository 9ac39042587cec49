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
//   code_page_descriptors  the conversions from UTF-16 to the Windows code
//                 page code_page_opened and back, opened at the first call
//                 for that code page and afresh when another is asked
//                 for; (iconv_t)-1 when the system lacks it.
#include "host/posix/wine/codepage.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "shared/compose.h"
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

// -- Wine's code pages ------------------------------------------------------
//
// Wine takes a locale by the name it makes of the Unix one, a Windows
// locale name: the language, the script that the modifier names, the
// territory ("sr_RS@latin" is "sr-Latn-RS"); the character set and any
// other modifier do not count. A name it does not know has the code pages
// of the C locale.

// The locales of the C library that Wine gives code pages other than those
// of the C locale, by their Windows names, separated by blanks: found by
// running Wine 8 under each locale the C library lists.
struct LocalesOfCodePages {
    WineCodePages pages;
    const char* names;
};

static const LocalesOfCodePages LOCALE_CODE_PAGES[] = {
    {{1252, 850},
     "af-ZA br-FR ca-ES ca-ES-valencia cy-GB da-DK de-AT de-CH de-DE de-LI de-LU dsb-DE en-AU en-CA "
     "en-GB en-HK en-IE en-NZ es-AR es-BO es-CL es-CO es-CR es-CU es-DO es-EC es-ES es-GT es-HN es-MX "
     "es-NI es-PA es-PE es-PR es-PY es-SV es-US es-UY es-VE eu-ES ff-SN fi-FI fo-FO fr-BE fr-CA fr-CH "
     "fr-FR fr-LU fy-NL ga-IE gd-GB gl-ES hsb-DE id-ID is-IS it-CH it-IT kl-GL lb-LU ms-MY nb-NO nl-BE "
     "nl-NL nn-NO nso-ZA oc-FR pt-BR pt-PT quz-PE se-NO sv-FI sv-SE tn-ZA wo-SN xh-ZA zu-ZA"},
    {{65001, 65001},
     "am-ET as-IN bn-BD bn-IN bo-CN chr-US dv-MV dz-BT gu-IN hi-IN hy-AM ka-GE kk-KZ km-KH kn-IN "
     "kok-IN ks-Deva-IN lo-LA mi-NZ ml-IN mni-IN mr-IN mt-MT my-MM ne-NP om-ET or-IN pa-IN ps-AF sa-IN "
     "sd-Deva-IN si-LK so-SO st-ZA syr ta-IN ta-LK te-IN ti-ER ti-ET ts-ZA ve-ZA"},
    {{1256, 720},
     "ar-AE ar-BH ar-DZ ar-EG ar-IQ ar-JO ar-KW ar-LB ar-LY ar-MA ar-OM ar-QA ar-SA ar-SY ar-TN ar-YE "
     "ckb-IQ fa-IR ug-CN ur-IN ur-PK"},
    {{1251, 866}, "be-BY bg-BG ky-KG mk-MK mn-MN ru-RU sah-RU tg-TJ tt-RU uk-UA uz-Cyrl-UZ"},
    {{1250, 852}, "cs-CZ hr-HR hu-HU pl-PL ro-RO sk-SK sl-SI sq-AL sr-Latn-RS tk-TM"},
    {{1257, 775}, "et-EE lt-LT lv-LV"},
    {{932, 932}, "ja-JP"},
    {{936, 936}, "zh-CN zh-SG"},
    {{949, 949}, "ko-KR"},
    {{950, 950}, "zh-HK zh-TW"},
    {{874, 874}, "th-TH"},
    {{1253, 737}, "el-GR"},
    {{1254, 857}, "tr-TR"},
    {{1255, 862}, "he-IL"},
    {{1258, 1258}, "vi-VN"},
};

// What Wine gives the C and POSIX locales, and every locale it does not
// know.
static const WineCodePages C_LOCALE_CODE_PAGES = {1252, 437};

// The modifiers that name a script, and the script's part of a Windows
// locale name.
static const char* const SCRIPT_MODIFIERS[][2] = {
    {"latin", "-Latn"},
    {"cyrillic", "-Cyrl"},
    {"devanagari", "-Deva"},
};

// One part of a locale name, and room for the longest one; room for the
// Windows name made of them.
constexpr size_t LOCALE_PART_SIZE = 32;
constexpr size_t WINDOWS_LOCALE_NAME_SIZE = 4 * LOCALE_PART_SIZE;

// Copies the part of a locale name at `*name` up to the next byte of
// `ends` (or its end) into `part`, and moves `*name` there. A part too long
// for `part` is cut, which no known name needs.
static void take_locale_part(const char** name, const char* ends, char* part)
{
    size_t length = 0;
    for (; **name != '\0' && strchr(ends, **name) == nullptr; (*name)++)
        if (length + 1 < LOCALE_PART_SIZE)
            part[length++] = **name;
    part[length] = '\0';
}

// Whether the blank-separated `names` hold `name`, ignoring letter case.
static bool names_hold(const char* names, const char* name)
{
    const size_t length = strlen(name);
    for (const char* word = names; *word != '\0';) {
        const char* end = strchr(word, ' ');
        const size_t word_length = end != nullptr ? static_cast<size_t>(end - word) : strlen(word);
        if (word_length == length && same_bytes_ignoring_case(word, name, length))
            return true;
        word += word_length + (end != nullptr ? 1 : 0);
    }
    return false;
}

WineCodePages wine_code_pages_of(const char* name)
{
    // language[_territory][.charset][@modifier]
    char language[LOCALE_PART_SIZE];
    char territory[LOCALE_PART_SIZE] = "";
    char charset[LOCALE_PART_SIZE] = "";
    char modifier[LOCALE_PART_SIZE] = "";
    take_locale_part(&name, "_.@", language);
    if (*name == '_')
        name++, take_locale_part(&name, ".@", territory);
    if (*name == '.')
        name++, take_locale_part(&name, "@", charset);
    if (*name == '@')
        name++, take_locale_part(&name, "", modifier);
    const char* script = "";
    for (const auto& names : SCRIPT_MODIFIERS)
        if (strcmp(modifier, names[0]) == 0)
            script = names[1];
    char windows_name[WINDOWS_LOCALE_NAME_SIZE];
    compose(windows_name, sizeof windows_name,
            {language, script, territory[0] != '\0' ? "-" : "", territory,
             strcmp(modifier, "valencia") == 0 ? "-valencia" : ""});
    for (const LocalesOfCodePages& row : LOCALE_CODE_PAGES)
        if (windows_name[0] != '\0' && names_hold(row.names, windows_name))
            return row.pages;
    return C_LOCALE_CODE_PAGES;
}

WineCodePages user_wine_code_pages()
{
    constexpr size_t LOCALE_NAME_SIZE = 512;
    char saved[LOCALE_NAME_SIZE] = "C";
    char name[LOCALE_NAME_SIZE] = "C";
    const char* current = setlocale(LC_CTYPE, nullptr);
    if (current != nullptr && strlen(current) < sizeof saved)
        strcpy(saved, current);
    const char* found = setlocale(LC_CTYPE, "");
    if (found != nullptr && strlen(found) < sizeof name)
        strcpy(name, found);
    setlocale(LC_CTYPE, saved);
    return wine_code_pages_of(name);
}

static iconv_t code_page_descriptors[2];
static unsigned code_page_opened;

// The conversions from UTF-16 to `code_page` (0) and back (1); false when
// the system lacks either.
static bool open_code_page(unsigned code_page)
{
    if (code_page != code_page_opened) {
        for (iconv_t& cd : code_page_descriptors)
            if (code_page_opened != 0 && cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
        // Wine's code page 65001 is UTF-8; iconv names the others CP<n>.
        char charset[LOCALE_PART_SIZE] = "UTF-8";
        if (code_page != 65001)
            snprintf(charset, sizeof charset, "CP%u", code_page);
        code_page_descriptors[0] = iconv_open(charset, "UTF-16LE");
        code_page_descriptors[1] = iconv_open("UTF-16LE", charset);
        code_page_opened = code_page;
    }
    return code_page_descriptors[0] != reinterpret_cast<iconv_t>(-1) &&
           code_page_descriptors[1] != reinterpret_cast<iconv_t>(-1);
}

// Converts `count` UTF-16 units at `wide` to the code page opened in `out`
// (capacity bytes, no NUL), where they convert back to the same units.
// Returns the bytes stored, or -1.
static long to_code_page_exactly(const uint16_t* wide, size_t count, char* out, size_t capacity)
{
    // The same room as cp932_to_utf16 takes.
    constexpr size_t UTF16_STAGE_UNITS = 1024;
    char stage[2 * UTF16_STAGE_UNITS];
    char read_back[2 * UTF16_STAGE_UNITS];
    if (count > UTF16_STAGE_UNITS)
        return -1;
    for (size_t i = 0; i < count; i++) {
        stage[2 * i] = static_cast<char>(wide[i] & 0xFF);
        stage[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    char* in = stage;
    size_t in_left = 2 * count;
    char* next = out;
    size_t out_left = capacity;
    iconv(code_page_descriptors[0], nullptr, nullptr, nullptr, nullptr);
    if (iconv(code_page_descriptors[0], &in, &in_left, &next, &out_left) == static_cast<size_t>(-1) ||
        iconv(code_page_descriptors[0], nullptr, nullptr, &next, &out_left) == static_cast<size_t>(-1))
        return -1;
    const long stored = static_cast<long>(next - out);
    in = out;
    in_left = static_cast<size_t>(stored);
    next = read_back;
    out_left = sizeof read_back;
    // Code page 1258 holds a letter back for the accent that may follow
    // it: each direction is flushed at its end.
    iconv(code_page_descriptors[1], nullptr, nullptr, nullptr, nullptr);
    if (iconv(code_page_descriptors[1], &in, &in_left, &next, &out_left) == static_cast<size_t>(-1) ||
        iconv(code_page_descriptors[1], nullptr, nullptr, &next, &out_left) == static_cast<size_t>(-1) ||
        static_cast<size_t>(next - read_back) != 2 * count || memcmp(read_back, stage, 2 * count) != 0)
        return -1;
    return stored;
}

bool utf16_to_code_page(unsigned code_page, const uint16_t* wide, char* out, size_t capacity, bool strict)
{
    size_t units = 0;
    while (wide[units] != 0)
        units++;
    if (capacity == 0 || !open_code_page(code_page))
        return false;
    long stored = strict ? to_code_page_exactly(wide, units, out, capacity - 1) : 0;
    if (stored < 0)
        return false;
    // One character at a time, a surrogate pair whole; none takes more
    // than four bytes.
    for (size_t i = 0; !strict && i < units;) {
        const size_t length = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < units ? 2 : 1;
        char bytes[4];
        long piece = to_code_page_exactly(wide + i, length, bytes, sizeof bytes);
        if (piece < 0) {
            bytes[0] = '?';
            piece = 1;
        }
        if (static_cast<size_t>(stored + piece) >= capacity)
            return false;
        memcpy(out + stored, bytes, static_cast<size_t>(piece));
        stored += piece;
        i += length;
    }
    out[stored] = '\0';
    return true;
}
