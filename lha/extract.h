// lha/extract.h: reading an LHA archive of level-0 headers and extracting
// its members into the install directory.
#pragma once

// The longest output path: install directory and member name.
constexpr int MAX_OUTPUT_PATH = 255;

// Whether a member's name stays inside the install directory and names a
// file: no drive, no leading separator, no ".." component (nor one that may
// become ".."), no device name, no separator at the end (which would write
// a file under the folder's name). The installer creates no other member.
bool is_safe_member_name(const char* name);

// Skips the current member's packed data in the archive stream.
void skip_member_data();

// Puts the current member out into the output file: stored data copied,
// -lh1- data decoded, the data of any other method skipped, which
// *known_method then tells. Returns whether the CRC of what was put out
// matches the header's.
bool unpack_member(bool* known_method);

// Opens the archive, reads it from its first byte to its end marker and
// writes every member that `pattern` selects into the install directory,
// printing a line per member and per fault. `pattern` is "*" or "*.*" for
// every member, or a member name compared ignoring ASCII case. Ends the
// program with exit code 1 when the archive cannot be opened.
void extract_archive(const char* archive_name, const char* pattern);
