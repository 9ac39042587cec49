// host/posix/wine/locale_code_pages.cpp: the code pages Wine takes from a
// locale, found by running Wine, and conversions to them through the
// system's iconv.
//
// State:
//   code_page_descriptors  the conversions from UTF-16 to the Windows code
//                 page code_page_opened and back, opened at the first call
//                 for that code page and afresh when another is asked
//                 for; (iconv_t)-1 when the system lacks it.
#include "host/posix/wine/locale_code_pages.h"

#include <iconv.h>
#include <locale.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "shared/compose.h"
#include "shared/windows_names.h"

static iconv_t code_page_descriptors[2];
static unsigned code_page_opened;

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
    char stage[2 * MAX_UTF16_UNITS];
    char read_back[2 * MAX_UTF16_UNITS];
    if (count > MAX_UTF16_UNITS)
        return -1;
    utf16_to_little_endian(wide, count, stage);
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

bool utf16_to_code_page(unsigned code_page, const uint16_t* wide, char* out, size_t capacity,
                        Unconvertible unconvertible)
{
    size_t units = 0;
    while (wide[units] != 0)
        units++;
    if (capacity == 0 || !open_code_page(code_page))
        return false;
    long stored = 0;
    if (unconvertible == REFUSE_UNCONVERTIBLE) {
        stored = to_code_page_exactly(wide, units, out, capacity - 1);
        if (stored < 0)
            return false;
        out[stored] = '\0';
        return true;
    }
    // One character at a time, a surrogate pair whole; none takes more
    // than four bytes.
    for (size_t i = 0; i < units;) {
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
