// lha/header.h: the level-0 member header, the one place its layout is
// written down: read from the archive stream by the installer and the
// packer's list and test modes, written by the packer.
//
//   byte 0        H: header bytes after byte 1 (22 + N + 2 here)
//   byte 1        the sum of bytes 2 .. H + 1, modulo 256
//   bytes 2-6     the method, "-lh0-" (stored) or "-lh1-"
//   bytes 7-10    packed size, little-endian
//   bytes 11-14   unpacked size, little-endian
//   bytes 15-18   MS-DOS time (low half) and date (high half)
//   byte 19       attribute
//   byte 20       header level, 0
//   byte 21       N, the name's length
//   bytes 22 ..   the name, N bytes of code page 932
//   then          the CRC-16/ARC of the unpacked data, little-endian
//
// Sizes are read as three bytes: the fourth has no effect, so a member is
// at most MAX_MEMBER_SIZE bytes, packed and unpacked.
#pragma once

#include <cstdint>

// Header bytes after the first two: H is one byte, so at most 255.
constexpr int HEADER_MAX_BODY = 255;
// The whole header buffer: H, the checksum and up to 255 more bytes.
constexpr int HEADER_BUFFER_SIZE = 2 + HEADER_MAX_BODY;
// Offsets of the fixed fields, and of the name after them.
constexpr int OFFSET_METHOD = 2;
constexpr int OFFSET_PACKED_SIZE = 7;
constexpr int OFFSET_UNPACKED_SIZE = 11;
constexpr int OFFSET_STAMP = 15;
constexpr int OFFSET_ATTRIBUTE = 19;
constexpr int OFFSET_LEVEL = 20;
constexpr int OFFSET_NAME_LENGTH = 21;
constexpr int HEADER_NAME_OFFSET = 22;
// Length of a method id such as "-lh1-".
constexpr int METHOD_ID_SIZE = 5;
// Bytes of the CRC after the name.
constexpr int HEADER_CRC_SIZE = 2;
// The longest name a header holds: H = 22 + N is at most 255.
constexpr int MAX_MEMBER_NAME = HEADER_MAX_BODY - (HEADER_NAME_OFFSET - 2) - HEADER_CRC_SIZE;
static_assert(MAX_MEMBER_NAME == 233, "a level-0 name holds at most 233 bytes");
// The largest size a header holds, in three bytes, and how a line names
// the sizes above it.
constexpr uint32_t MAX_MEMBER_SIZE = (uint32_t{1} << 24) - 1;
constexpr char OVER_MAX_MEMBER_SIZE[] = "16 MiB or more";
static_assert(MAX_MEMBER_SIZE + 1 == uint32_t{16} << 20, "16 MiB is the first size a header does not hold");
// Attribute of an ordinary file with its archive bit, as the packer writes.
constexpr uint8_t MEMBER_ATTRIBUTE_ARCHIVE = 0x20;

// The fields of one header.
struct MemberHeader {
    uint8_t header_size;              // H
    uint8_t header_sum;               // the checksum as stored
    char method[METHOD_ID_SIZE];      // "-lh0-" or "-lh1-", not NUL-terminated
    uint32_t packed_size;
    uint32_t unpacked_size;
    uint32_t stamp;                   // MS-DOS date << 16 | time
    uint8_t attribute;
    uint8_t name_length;              // N
    char name[HEADER_MAX_BODY + 1];   // N bytes, then a NUL
    uint16_t crc;
};

// The current member's header. Valid from a successful read_member_header
// until the next call of it.
extern MemberHeader member_header;

enum HeaderResult {
    HEADER_READ,     // member_header holds the next member
    HEADER_END,      // the end marker, a byte 0
    HEADER_BAD_SUM,  // the checksum does not match the bytes
    HEADER_DAMAGED,  // H too small for the fixed fields, the name and its CRC
};

// Reads the next header from the archive stream into member_header.
HeaderResult read_member_header();

// The one reader of the layout: checks the header whose H + 2 bytes are at
// `bytes` (byte 0, H, not 0) and takes its fields into *header, which is
// left as it was unless the result is HEADER_READ. Levels 0 and 1 share
// the layout up to the name's CRC; the level byte is not looked at.
HeaderResult parse_member_header(const uint8_t* bytes, MemberHeader* header);

// Whether a method id (METHOD_ID_SIZE bytes) is -lh0- (stored) or -lh1-:
// the installer's methods; anything else, letter case significant, is an
// unknown method.
bool is_stored_method(const char* method);
bool is_lh1_method(const char* method);

// What the reader needs of a member to put its data out or go over it:
// the facts that its header gives, of whatever level. The caller fills
// it; the reader keeps nothing of it.
struct MemberFacts {
    char method[METHOD_ID_SIZE];  // not NUL-terminated
    uint32_t packed_size;
    uint32_t unpacked_size;
    uint16_t crc;                 // of the unpacked data
};

// The facts of a level-0 header.
MemberFacts facts_of(const MemberHeader& header);

// Writes `header` (its name_length name bytes; H and the checksum are
// worked out here) as a level-0 header into `out`. Returns its length, or
// 0 when the name is longer than MAX_MEMBER_NAME.
int write_member_header(const MemberHeader& header, uint8_t out[HEADER_BUFFER_SIZE]);
