// lha/pack/archive_check.h: walking an LHA archive of any header level
// member by member, for ymw-pack's listing and testing: each header read
// (lha/pack/header_levels.h), each member's data skipped or decoded by the
// installer's own decoder, and what keeps the installer from extracting
// it. Prints nothing; the packer's program does.
#pragma once

#include <cstdint>
#include <cstdio>

#include "lha/pack/header_levels.h"

// What keeps the installer from extracting a member, or its file from
// staying as the member has it, one bit each.
enum Obstacle : unsigned {
    OBSTACLE_LEVEL = 1u << 0,    // a level-1 or -2 header: the installer reads level 0
    OBSTACLE_METHOD = 1u << 1,   // a method other than -lh0- and -lh1- (and -lhd-)
    OBSTACLE_NAME = 1u << 2,     // a name the installer refuses, or Windows cannot create
    OBSTACLE_FOLDER = 1u << 3,   // a folder (-lhd-), or a name in one: the installer makes none
    OBSTACLE_SIZE = 1u << 4,     // above MAX_MEMBER_SIZE: the installer reads three bytes of a size
    OBSTACLE_RENAMED = 1u << 5,  // Windows creates it under another name (dots and blanks at the end dropped)
    // Found by the reader of the whole archive, not of one header:
    OBSTACLE_OVERWRITTEN = 1u << 6,  // the installer writes a file of its own over it
    OBSTACLE_LOST = 1u << 7,         // a later member of its name, in any spelling, is written over it
};
constexpr int OBSTACLE_KINDS = 8;
// What keeps it from being extracted at all: then the name it would take
// counts for nothing.
constexpr unsigned NOT_EXTRACTED = OBSTACLE_LEVEL | OBSTACLE_METHOD | OBSTACLE_NAME | OBSTACLE_FOLDER | OBSTACLE_SIZE;

// The method of a folder's entry, which has no data.
constexpr char FOLDER_METHOD[] = "-lhd-";

// Whether `h` is a folder's entry.
bool is_folder_entry(const AnyHeader& h);

struct WalkedMember {
    AnyHeader header;
    unsigned obstacles;  // Obstacle bits
};

enum WalkStep {
    WALK_MEMBER,       // the next member's header
    WALK_END,          // the end marker
    WALK_BAD_SUM,      // a header checksum that does not match
    WALK_BAD_CRC,      // a level-2 header CRC that does not match
    WALK_DAMAGED,      // a header whose fields do not fit it
    WALK_CUT,          // the archive ends inside a header or before its end marker
    WALK_LEVEL,        // a header level above MAX_HEADER_LEVEL
    WALK_READ_FAILED,  // the system failed to read the archive
    WALK_NOT_ARCHIVE,  // the first header is none (no method id between hyphens), or the end
                       // marker comes first and other bytes than padding (0x00, 0x1A) follow it
};

enum MemberCheck {
    MEMBER_INTACT,      // its CRC matches (tested), or its data is all there (skipped)
    MEMBER_DAMAGED,     // its CRC does not match
    MEMBER_UNTESTABLE,  // a method or a size the installer's decoder does not take: skipped
    MEMBER_CUT,         // the archive ends inside its data
    MEMBER_READ_FAILED, // the system failed to read the archive
    MEMBER_OVERRUN,     // the decoder needed bytes after its data: the walk cannot go on
};

// Starts a walk over the archive `file`, opened by the caller for reading;
// the walk closes it at its end. restart_walk goes back to its first byte.
void start_walk(FILE* file);
void restart_walk();
void close_walk();

// Reads the next member's header into `member` and finds the obstacles
// that its header shows (not OBSTACLE_OVERWRITTEN and OBSTACLE_LOST).
WalkStep walk_next_member(WalkedMember* member);

// The name Windows gives the file of a member marked OBSTACLE_RENAMED, in
// `out` (MAX_LISTED_NAME bytes): its dots and blanks at the end dropped.
void renamed_name(const AnyHeader& header, char* out);

// After WALK_MEMBER: goes over the member's data unread, or decodes it and
// compares its CRC. Either way the walk stands at the next header.
MemberCheck skip_walked_member(const WalkedMember& member);
MemberCheck test_walked_member(const WalkedMember& member);

// Whether the file `file` (`size` bytes, opened by the caller for reading;
// closed here) may be replaced by a new archive: an empty file, an end
// marker alone (padding after it), or a file whose first header is one
// this reader reads (its checksum or CRC right, a method id between
// hyphens).
bool is_replaceable_archive(FILE* file, uint64_t size);
