// host/posix/packer_names.cpp: the packer's names on POSIX: UTF-8 names
// to and from code page 932, composed with libutf8proc where they must be,
// and folded with the C.UTF-8 character classes.
//
// State:
//   case_locale   the C.UTF-8 character classes, for folding letter case
//                 across Unicode; opened once.
//   composed      a name's characters while it is composed, then its
//                 composed UTF-8.
#include "host/packer_names.h"

#include <locale.h>
#include <utf8proc.h>
#include <wctype.h>

#include <climits>
#include <cstring>

#include "host/posix/codepage.h"

// Room for a name's characters while it is composed, and its terminator: a
// name no longer than a path (PATH_MAX bytes) has room whole, since no
// character decomposes into more than four.
constexpr size_t COMPOSED_NAME_UNITS = 4 * PATH_MAX + 1;

static locale_t case_locale;
static utf8proc_int32_t composed[COMPOSED_NAME_UNITS];

const char* source_base_name(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

long source_name_to_cp932(const char* name, char* out, size_t capacity)
{
    const long as_it_is = utf8_to_exact_cp932(name, strlen(name), out, capacity);
    if (as_it_is >= 0)
        return as_it_is;
    // Composed (NFC). A name that is not UTF-8 is refused as it was.
    const auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);
    const utf8proc_ssize_t count =
        utf8proc_decompose(reinterpret_cast<const utf8proc_uint8_t*>(name), static_cast<utf8proc_ssize_t>(strlen(name)),
                           composed, COMPOSED_NAME_UNITS - 1, options);
    if (count < 0 || count > static_cast<utf8proc_ssize_t>(COMPOSED_NAME_UNITS - 1))
        return -1;
    const utf8proc_ssize_t bytes = utf8proc_reencode(composed, count, options);
    if (bytes < 0)
        return -1;
    return utf8_to_exact_cp932(reinterpret_cast<const char*>(composed), static_cast<size_t>(bytes), out, capacity);
}

long cp932_to_source_name(const char* text, size_t length, char* out, size_t capacity)
{
    return cp932_to_utf8(text, length, out, capacity, REPLACE_UNCONVERTIBLE);
}

bool windows_name_key(const char* name, uint16_t key[NAME_KEY_SIZE])
{
    if (case_locale == nullptr)
        case_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (case_locale == nullptr || cp932_to_utf16(name, key, NAME_KEY_SIZE) == 0)
        return false;
    // Code page 932 has no character outside the Basic Multilingual Plane:
    // every unit is a character.
    for (uint16_t* unit = key; *unit != 0; unit++)
        *unit = static_cast<uint16_t>(towupper_l(*unit, case_locale));
    return true;
}
