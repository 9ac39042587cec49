// lha/pack/header_levels.h: member headers of levels 0, 1 and 2, as
// archivers write them, read for ymw-pack's listing and testing. The
// installer reads level 0 alone, through lha/header.h, whose layout levels
// 0 and 1 share up to the name; the level byte is at offset 20 in all
// three.
//
//   level 1  bytes 0-21 as level 0 (byte 0: H, byte 1: the sum of bytes
//            2 .. H + 1), but bytes 7-10 hold the packed data and the
//            extended headers after the base header together; then the
//            name, its CRC, the system's id and, in the last two bytes of
//            the H + 2, the size of the first extended header (0: none).
//            Time: MS-DOS date and time, as level 0, unless an extended
//            header 0x54 gives a Unix time.
//   level 2  bytes 0-1: the size of the whole header, extended headers
//            included; 2-6 the method; 7-10 the packed size; 11-14 the
//            unpacked size; 15-18 a Unix time (seconds since 1970, UTC);
//            19 0x20; 20 the level; 21-22 the CRC; 23 the system's id;
//            24-25 the size of the first extended header. No checksum and
//            no name: the name is an extended header.
//   level 0  after the name's CRC, a header written on Unix may hold an
//            extension of at least 12 bytes: 'U', 0 (its version), the
//            Unix time (4 bytes), the mode, the owner and the group (2
//            bytes each). Its time stands for the MS-DOS one.
//   extended header: its type (one byte), its data, and the size of the
//            next one (two bytes); its size counts all three.
//     0x00   the CRC-16 of the whole header, this field counted as zero
//     0x01   the name
//     0x02   the folder, its names separated by 0xFF
//     0x42   64-bit packed and unpacked sizes
//     0x54   a Unix time (4 bytes), which stands for the header's own
//   Every number is little-endian. Other types are skipped; of two of one
//   type the later counts. These are the time stamps as lhasa reads them.
//
// The reader reads from the archive stream (lha/stream.h) and leaves it at
// the first byte of the member's packed data. It prints nothing.
#pragma once

#include <cstdint>

#include "lha/header.h"

// Room for a member's name: folder and name in code page 932, and a NUL.
constexpr int MAX_LISTED_NAME = 1024;
// The highest header level read.
constexpr int MAX_HEADER_LEVEL = 2;

enum StampKind {
    STAMP_DOS,   // levels 0 and 1 as they stand: local date and time, no zone
    STAMP_UNIX,  // level 2, and a Unix time of levels 0 and 1: seconds since 1970-01-01 00:00 UTC
};

// One member's header, of any level.
struct AnyHeader {
    int level;
    char method[METHOD_ID_SIZE + 1];   // NUL-terminated; set once the fixed bytes are read, for a damaged header too
    uint64_t packed_size;              // the packed data alone
    uint64_t unpacked_size;
    StampKind stamp_kind;
    uint32_t stamp;                    // MS-DOS date << 16 | time, or Unix seconds
    uint16_t crc;
    char name[MAX_LISTED_NAME];        // folder\name, up to a NUL in it
    bool name_cut;                     // longer than the room: only its start is kept
};

enum AnyHeaderResult {
    ANY_HEADER_READ,     // the next member's header
    ANY_HEADER_END,      // the end marker, a byte 0
    ANY_HEADER_BAD_SUM,  // a level-0 or -1 header whose checksum does not match
    ANY_HEADER_BAD_CRC,  // a level-2 header whose header CRC does not match
    ANY_HEADER_DAMAGED,  // fields that do not fit the header
    ANY_HEADER_CUT,      // the archive ends inside the header
    ANY_HEADER_LEVEL,    // a level above MAX_HEADER_LEVEL
};

// Reads the next member's header from the archive stream into `header`.
// For ANY_HEADER_LEVEL, header->level tells the level.
AnyHeaderResult read_any_header(AnyHeader* header);
