// lha/extract.h: reading an LHA archive of level-0 headers and extracting
// its members into the install directory.
#pragma once

#include <cstdint>

// Header bytes after the first two: H is one byte, so at most 255.
constexpr int HEADER_MAX_BODY = 255;
// The whole header buffer: H, the checksum and up to 255 more bytes.
constexpr int HEADER_BUFFER_SIZE = 2 + HEADER_MAX_BODY;
// Offset of the name in a level-0 header; the fixed fields before it.
constexpr int HEADER_NAME_OFFSET = 22;
// Length of a method id such as "-lh1-".
constexpr int METHOD_ID_SIZE = 5;
// The longest output path: install directory and member name.
constexpr int MAX_OUTPUT_PATH = 255;

// The current member's level-0 header. Valid from a successful
// read_member_header until the next call of it.
struct MemberHeader {
    uint8_t header_size;              // H, byte 0: header bytes after byte 1
    uint8_t header_sum;               // byte 1: sum of bytes 2 .. H + 1
    char method[METHOD_ID_SIZE];      // bytes 2-6, "-lh0-" or "-lh1-"
    uint32_t packed_size;             // bytes 7-9 (byte 10 not read)
    uint32_t unpacked_size;           // bytes 11-13 (byte 14 not read)
    uint8_t name_length;              // N, byte 21
    char name[HEADER_MAX_BODY + 1];   // bytes 22 .. 21 + N, then a NUL
    uint16_t crc;                     // bytes 22 + N and 23 + N
};
extern MemberHeader member_header;

// Opens the archive, reads it from its first byte to its end marker and
// writes every member that `pattern` selects into the install directory,
// printing a line per member and per fault. `pattern` is "*" or "*.*" for
// every member, or a member name compared ignoring ASCII case. Ends the
// program with exit code 1 when the archive cannot be opened.
void extract_archive(const char* archive_name, const char* pattern);
