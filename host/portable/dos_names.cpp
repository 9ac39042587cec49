// host/portable/dos_names.cpp: DOS wildcard matching. No state.
#include "host/portable/dos_names.h"

#include <cstring>

#include "shared/sjis.h"
#include "shared/windows_names.h"

// Whether `name` matches the first `length` bytes of `pattern`, without the
// ".*" rule. A '*' gives back whole characters, and a '?' takes one.
static bool matches_wildcards(const char* pattern, size_t length, const char* name)
{
    constexpr size_t NO_STAR = static_cast<size_t>(-1);
    size_t p = 0;
    size_t n = 0;
    size_t star = NO_STAR;  // the pattern position after the last '*'
    size_t star_name = 0;   // where the name stood when that '*' was met
    while (name[n] != '\0') {
        const size_t here = sjis_character_length(name + n);
        if (p < length && pattern[p] == '*') {
            star = ++p;
            star_name = n;
        } else if (p < length && pattern[p] == '?') {
            p++;
            n += here;
        } else if (p + here <= length && here == 2 && pattern[p] == name[n] && pattern[p + 1] == name[n + 1]) {
            p += 2;
            n += 2;
        } else if (p < length && here == 1 && fold_ascii_case(pattern[p]) == fold_ascii_case(name[n])) {
            p++;
            n++;
        } else if (star != NO_STAR) {
            star_name += sjis_character_length(name + star_name);
            n = star_name;
            p = star;
        } else {
            return false;
        }
    }
    while (p < length && pattern[p] == '*')
        p++;
    return p == length;
}

bool matches_dos_pattern(const char* pattern, const char* name)
{
    const size_t length = strlen(pattern);
    if (matches_wildcards(pattern, length, name))
        return true;
    return length >= 2 && pattern[length - 2] == '.' && pattern[length - 1] == '*' &&
           matches_wildcards(pattern, length - 2, name);
}
