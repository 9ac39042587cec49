// host/portable/new_file_names.h: the name of its own that a new file has
// beside its path while it is written, on every host.
//
// The name is NEW_FILE_STEM, a number from 0 to NEW_FILE_TRIES - 1 in
// decimal, and NEW_FILE_TAIL: "~ymw0.tmp" to "~ymw99.tmp". Short, so that
// it fits wherever the path's last name does, and of characters that every
// system allows in a name. A writer tries the numbers in turn, each one
// taken already (by a run that is writing, or left by one that was killed)
// moving on to the next; a name of this form that no running program
// holds is a leftover that a later run may remove.
#pragma once

#include <cstddef>

constexpr char NEW_FILE_STEM[] = "~ymw";
constexpr char NEW_FILE_TAIL[] = ".tmp";
// Names tried before the folder counts as unwritable.
constexpr int NEW_FILE_TRIES = 100;
// Room for the longest name and its NUL: two digits.
constexpr size_t NEW_FILE_NAME_SIZE = sizeof NEW_FILE_STEM - 1 + 2 + sizeof NEW_FILE_TAIL;
static_assert(NEW_FILE_TRIES <= 100, "a number of two digits at most");

// Writes the name of try `attempt` (0 to NEW_FILE_TRIES - 1) into `out`,
// which holds NEW_FILE_NAME_SIZE units, NUL included. The name is ASCII,
// so it is the same in bytes and, as the Windows kernel takes names, in
// UTF-16.
template <typename Char>
void compose_new_file_name(int attempt, Char* out)
{
    size_t used = 0;
    for (const char* c = NEW_FILE_STEM; *c != '\0'; c++)
        out[used++] = static_cast<Char>(*c);
    if (attempt >= 10)
        out[used++] = static_cast<Char>('0' + attempt / 10);
    out[used++] = static_cast<Char>('0' + attempt % 10);
    for (const char* c = NEW_FILE_TAIL; *c != '\0'; c++)
        out[used++] = static_cast<Char>(*c);
    out[used] = 0;
}

// Room for the pattern that a folder search of the new files' names takes,
// NUL included: NEW_FILE_STEM, "*", NEW_FILE_TAIL.
constexpr size_t NEW_FILES_PATTERN_SIZE = sizeof NEW_FILE_STEM - 1 + 1 + sizeof NEW_FILE_TAIL;

// Writes that pattern into `out` (NEW_FILES_PATTERN_SIZE units). It may
// match other names too: what it finds is taken only where
// is_new_file_name says so.
template <typename Char>
void compose_new_files_pattern(Char* out)
{
    size_t used = 0;
    for (const char* c = NEW_FILE_STEM; *c != '\0'; c++)
        out[used++] = static_cast<Char>(*c);
    out[used++] = static_cast<Char>('*');
    for (const char* c = NEW_FILE_TAIL; *c != '\0'; c++)
        out[used++] = static_cast<Char>(*c);
    out[used] = 0;
}

// Whether `name` (bytes, or UTF-16 as the Windows kernel hands names back)
// is one that compose_new_file_name gives, exactly: no sign, no leading
// zero, no number past the last try.
template <typename Char>
bool is_new_file_name(const Char* name)
{
    for (const char* c = NEW_FILE_STEM; *c != '\0'; c++, name++)
        if (*name != static_cast<Char>(*c))
            return false;
    int number = 0;
    int digits = 0;
    for (; *name >= '0' && *name <= '9' && digits < 3; name++, digits++)
        number = number * 10 + static_cast<int>(*name - '0');
    if (digits == 0 || (digits > 1 && number < 10) || number >= NEW_FILE_TRIES)
        return false;
    for (const char* c = NEW_FILE_TAIL; *c != '\0'; c++, name++)
        if (*name != static_cast<Char>(*c))
            return false;
    return *name == 0;
}
