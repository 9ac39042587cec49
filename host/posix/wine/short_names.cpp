// host/posix/wine/short_names.cpp: Wine's short names, as its
// GetShortPathNameW hands them back (checked against it name by name in
// tests/wine/). No state.
#include "host/posix/wine/short_names.h"

#include <sys/stat.h>

#include <cstring>

#include "host/posix/codepage.h"
#include "host/posix/wine/path_map.h"
#include "shared/compose.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

namespace {

// The ASCII characters that no DOS name holds (besides the separators and
// the colon, which no name of a path holds either).
constexpr char NOT_IN_DOS_NAMES[] = "*?<>|\"+=,;[] ";

// The characters of the short name's hash.
constexpr char HASH_CHARACTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";

// The capitals of code page 932, in runs from `first` to `last`, and how far
// above each its small letter stands, as Wine folds them for the hash. The
// Angstrom sign (U+212B), whose small letter lies outside code page 932,
// Wine leaves as it is.
struct CapitalRun {
    uint16_t first;
    uint16_t last;
    uint16_t to_small;
};
const CapitalRun CAPITALS[] = {
    {0x0041, 0x005A, 0x20},   // A-Z
    {0x0391, 0x03A1, 0x20},   // Greek, to Rho
    {0x03A3, 0x03A9, 0x20},   // Greek, from Sigma
    {0x0401, 0x0401, 0x50},   // Cyrillic Io
    {0x0410, 0x042F, 0x20},   // Cyrillic
    {0x2160, 0x2169, 0x10},   // Roman numerals
    {0xFF21, 0xFF3A, 0x20},   // fullwidth A-Z
};

uint16_t small_letter(uint16_t unit)
{
    for (const CapitalRun& run : CAPITALS)
        if (unit >= run.first && unit <= run.last)
            return static_cast<uint16_t>(unit + run.to_small);
    return unit;
}

bool allowed_in_dos_names(uint16_t unit)
{
    return unit < 0x80 && strchr(NOT_IN_DOS_NAMES, unit) == nullptr;
}

// Whether `name` is a legal DOS name: "." or "..", or at most eight
// characters and a dot and one to three more, of ASCII that DOS names
// allow.
bool is_legal_dos_name(const uint16_t* name, size_t length)
{
    if (length > 12)
        return false;
    if (name[0] == '.')
        return length == 1 || (length == 2 && name[1] == '.');
    size_t dot = length;
    for (size_t i = 0; i < length; i++) {
        if (name[i] == '.') {
            if (dot != length)
                return false;
            dot = i;
        } else if (!allowed_in_dos_names(name[i])) {
            return false;
        }
    }
    if (dot == length)
        return length <= 8;
    return dot <= 8 && length - dot > 1 && length - dot < 5;
}

// A character of the name as the short name shows it: in capitals, '_' for
// one that a DOS name may not hold, a dot and a tilde included.
uint16_t short_name_character(uint16_t unit)
{
    if (!allowed_in_dos_names(unit) || unit == '.' || unit == '~')
        return '_';
    return static_cast<uint16_t>(unit >= 'a' && unit <= 'z' ? unit - 'a' + 'A' : unit);
}

}  // namespace

void wine_short_name(const uint16_t* name, size_t length, uint16_t* out)
{
    out[0] = 0;
    if (length == 0 || is_legal_dos_name(name, length))
        return;
    uint16_t hash = 0xBEEF;
    for (size_t i = 0; i + 1 < length; i++)
        hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ small_letter(name[i]) ^
                                     (small_letter(name[i + 1]) << 8));
    hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ small_letter(name[length - 1]));
    // The extension follows the last dot, neither the first character nor
    // the last.
    size_t dot = length;
    for (size_t i = 1; i + 1 < length; i++)
        if (name[i] == '.')
            dot = i;
    size_t used = 0;
    for (size_t i = 0; i < 4 && i < dot; i++)
        out[used++] = short_name_character(name[i]);
    while (used < 5)
        out[used++] = '~';
    for (int shift : {10, 5, 0})
        out[used++] = static_cast<uint16_t>(HASH_CHARACTERS[(hash >> shift) & 0x1F]);
    if (dot < length) {
        out[used++] = '.';
        for (size_t i = dot + 1; i < length && i < dot + 4; i++)
            out[used++] = short_name_character(name[i]);
    }
    out[used] = 0;
}

bool wine_short_path(const char* path, char* out, size_t capacity)
{
    char host[HOST_PATH_SIZE];
    struct stat entry;
    if (!has_drive_prefix(path) || !map_path(path, host) || stat(host, &entry) != 0)
        return false;
    // The names below the drive's root, one for each separator that a name
    // follows; the host path ends in as many, as the host spells them.
    size_t names = 0;
    for (const char* c = path + 2; *c != '\0'; c += sjis_character_length(c))
        if (is_path_separator(*c) && c[1] != '\0' && !is_path_separator(c[1]))
            names++;
    size_t end = strlen(host);
    while (end > 1 && host[end - 1] == '/')
        host[--end] = '\0';
    size_t start = end;
    for (size_t found = 0; found < names; found++) {
        if (start == 0)
            return false;
        while (start > 0 && host[start - 1] != '/')
            start--;
        if (found + 1 < names)
            start--;
    }

    const char drive[] = {path[0], ':', '\0'};
    if (!compose(out, capacity, {drive}))
        return false;
    size_t used = 2;
    for (char* name = host + start; names > 0; names--) {
        char* slash = strchr(name, '/');
        if (slash != nullptr)
            *slash = '\0';
        char bytes[HOST_NAME_SIZE];
        uint16_t wide[HOST_NAME_SIZE];
        uint16_t short_wide[SHORT_NAME_SIZE];
        char short_bytes[SHORT_NAME_SIZE];
        const int units = utf8_to_exact_cp932(name, strlen(name), bytes, sizeof bytes) >= 0
                              ? cp932_to_utf16(bytes, wide, HOST_NAME_SIZE)
                              : 0;
        if (units <= 1)
            return false;
        wine_short_name(wide, static_cast<size_t>(units - 1), short_wide);
        for (size_t i = 0; i < SHORT_NAME_SIZE; i++)
            short_bytes[i] = static_cast<char>(short_wide[i]);
        if (!compose(out + used, capacity - used, {"\\", short_bytes[0] != '\0' ? short_bytes : bytes}))
            return false;
        used += strlen(out + used);
        name = slash != nullptr ? slash + 1 : name;
    }
    const size_t length = strlen(path);
    if (length > 2 && is_path_separator(path[length - 1]))
        return compose(out + used, capacity - used, {"\\"});
    return true;
}
