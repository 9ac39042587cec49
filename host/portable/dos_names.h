// host/portable/dos_names.h: names as DOS and Windows match them against a
// wildcard, and the two names that name no entry: what deltree matches and
// what the folder tree (host/portable/folder_tree.h) skips.
#pragma once

// Whether `name` matches `pattern`, both code page 932, as DOS matches
// names: '*' any run of characters, '?' one character, ASCII letters in
// either case, every other byte itself; a pattern ending in ".*" also
// matches the names that match it without that end, so "*.*" matches every
// name and "bone*.*" every name that begins with "bone".
bool matches_dos_pattern(const char* pattern, const char* name);

// Whether `name` is "." or "..", which name no entry of their own; in
// bytes or, as the Windows kernel hands names back, in UTF-16.
template <typename Char>
bool is_dot_name(const Char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}
