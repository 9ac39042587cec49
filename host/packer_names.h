// host/packer_names.h: the names of the packer's files as members: a path's
// last name, its form in code page 932 and back, and the key under which
// Windows finds it. Paths and names here are UTF-8 on both systems.
#pragma once

#include <cstddef>
#include <cstdint>

// The last name of a path (after its last separator, and on Windows after
// a drive's colon), "" when it ends in a separator.
const char* source_base_name(const char* path);

// The name as Windows names files: code page 932 in `out` (capacity bytes,
// NUL included), only where it reads back as the same name. A name that
// does not convert as it is converts composed (Unicode NFC), if it can:
// one that a system stored decomposed (か and U+3099 for が) is the
// member name typed composed, while one that converts as it is keeps its
// characters (U+212B, U+FA10), which composing would change. Returns the
// bytes stored, or -1.
long source_name_to_cp932(const char* name, char* out, size_t capacity);

// The reverse, for showing a member's name: code page 932 bytes to UTF-8,
// a byte sequence that is not code page 932 shown as '?'. Returns the bytes
// stored, or -1 when they do not fit.
long cp932_to_source_name(const char* text, size_t length, char* out, size_t capacity);

// Room for a name's case key: one unit per character, and a 0.
constexpr size_t NAME_KEY_SIZE = 256;

// The key of a code page 932 name under which Windows finds the file: its
// letters folded as Windows folds them in file names, across Unicode
// (fullwidth and Greek letters as well as ASCII). Two names of one folder
// name the same file when their keys are equal. Returns false when the name
// is not code page 932 or longer than the key's room.
bool windows_name_key(const char* name, uint16_t key[NAME_KEY_SIZE]);
