// host/posix/wine/short_names.h: the short (8.3) names that Wine gives the
// entries of its drives, and the short form of a path that
// GetShortPathNameW makes of them: what a shortcut file holds where the
// ANSI code page cannot hold the path of its target.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for a short name: eight characters, a dot, three more, the 0 unit.
constexpr size_t SHORT_NAME_SIZE = 13;

// Writes into `out` (SHORT_NAME_SIZE units, 0 included) the short name
// that Wine gives the entry named `name` (`length` UTF-16 units, at least
// one): empty when the name is a legal DOS name already, which is then its
// own short name. Otherwise the first four characters before the last dot,
// each that a DOS name may not hold as '_', padded with '~' to five, three
// characters of a hash of the whole name (ignoring letter case), and the
// first three characters after that dot, all in capitals: "ゲーム" becomes
// "___~~NWP", "My Games" "MY_G~I5E".
void wine_short_name(const uint16_t* name, size_t length, uint16_t* out);

// Writes the short form of the absolute Windows path `path` (code page 932,
// a drive and the names below its root, as full_windows_path gives it)
// into `out` (capacity bytes, NUL included): the drive as written, then
// each name as the host spells it where that is a legal DOS name, else its
// short name, so that the result is ASCII. False when an entry on the way
// does not exist, a name cannot be read back, or the result does not fit.
bool wine_short_path(const char* path, char* out, size_t capacity);
