// lha/pack/header_levels.cpp: reading member headers of levels 0, 1 and 2.
//
// State:
//   header_bytes   the header being read: the fixed part and the base
//                  header of levels 0 and 1, then each extended header of
//                  a level-1 header in turn; a level-2 header whole.
//   name_part, folder_part  the name and the folder found so far, each
//                  with its length, joined into the header's name once the
//                  header is read.
#include "lha/pack/header_levels.h"

#include <cstring>

#include "lha/crc16.h"
#include "lha/stream.h"

namespace {

// A level-2 header and an extended header give their sizes in two bytes.
constexpr size_t HEADER_BYTES_SIZE = 0x10000;
// Bytes read before the level is known: up to the name's length.
constexpr int FIXED_PART = HEADER_NAME_OFFSET;
static_assert(OFFSET_LEVEL < FIXED_PART, "the level is among the fixed bytes");
// After a level-1 name: its CRC, the system's id and the first extended
// header's size.
constexpr int LEVEL1_NAME_TAIL = HEADER_CRC_SIZE + 1 + 2;
// The fixed fields of level 2.
constexpr int LEVEL2_OFFSET_CRC = 21;
constexpr int LEVEL2_OFFSET_NEXT = 24;
constexpr int LEVEL2_BASE_SIZE = 26;
// An extended header: its type, at least no data, the next one's size.
constexpr size_t EXTENDED_MIN_SIZE = 3;
// Extended header types.
constexpr uint8_t EXTENDED_HEADER_CRC = 0x00;
constexpr uint8_t EXTENDED_NAME = 0x01;
constexpr uint8_t EXTENDED_FOLDER = 0x02;
constexpr uint8_t EXTENDED_SIZES = 0x42;
constexpr uint8_t EXTENDED_UNIX_TIME = 0x54;
// A Unix time's bytes.
constexpr size_t UNIX_TIME_SIZE = 4;
// A level-0 header's Unix extension after the name's CRC: its least size,
// its first two bytes, and where its time stands in it.
constexpr size_t LEVEL0_UNIX_SIZE = 12;
constexpr uint8_t LEVEL0_UNIX_ID = 'U';
constexpr uint8_t LEVEL0_UNIX_VERSION = 0;
constexpr size_t LEVEL0_UNIX_TIME_AT = 2;
// The separator of a folder's names in EXTENDED_FOLDER.
constexpr uint8_t FOLDER_SEPARATOR = 0xFF;

uint8_t header_bytes[HEADER_BYTES_SIZE];
char name_part[MAX_LISTED_NAME];
size_t name_part_length;
char folder_part[MAX_LISTED_NAME];
size_t folder_part_length;

uint64_t get_le(const uint8_t* at, int bytes)
{
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; i--)
        value = value << 8 | at[i];
    return value;
}

// Reads `count` bytes into `to`; false when the archive ended before them.
bool read_bytes(uint8_t* to, size_t count)
{
    for (size_t i = 0; i < count; i++)
        to[i] = static_cast<uint8_t>(read_archive_byte());
    return archive_stream.past_end == 0;
}

// Keeps up to the first NUL of `count` bytes as a part of the name; false
// when they do not fit its room.
bool keep_part(char* part, size_t* part_length, const uint8_t* bytes, size_t count)
{
    const uint8_t* nul = static_cast<const uint8_t*>(memchr(bytes, 0, count));
    const size_t length = nul != nullptr ? static_cast<size_t>(nul - bytes) : count;
    const size_t kept = length < MAX_LISTED_NAME - 1 ? length : MAX_LISTED_NAME - 1;
    memcpy(part, bytes, kept);
    part[kept] = '\0';
    *part_length = kept;
    return kept == length;
}

// Takes one extended header's data into `header`. False when the data is
// too short for its type.
bool take_extended(AnyHeader* header, uint8_t type, const uint8_t* data, size_t size)
{
    switch (type) {
    case EXTENDED_NAME:
        header->name_cut |= !keep_part(name_part, &name_part_length, data, size);
        return true;
    case EXTENDED_FOLDER:
        header->name_cut |= !keep_part(folder_part, &folder_part_length, data, size);
        // A separator at the end stands for the one joined before the name.
        if (folder_part_length > 0 && static_cast<uint8_t>(folder_part[folder_part_length - 1]) == FOLDER_SEPARATOR)
            folder_part[--folder_part_length] = '\0';
        for (size_t i = 0; i < folder_part_length; i++)
            if (static_cast<uint8_t>(folder_part[i]) == FOLDER_SEPARATOR)
                folder_part[i] = '\\';
        return true;
    case EXTENDED_SIZES:
        if (size < 16)
            return false;
        header->packed_size = get_le(data, 8);
        header->unpacked_size = get_le(data + 8, 8);
        return true;
    case EXTENDED_UNIX_TIME:
        // A shorter one is passed over, as lhasa passes it.
        if (size >= UNIX_TIME_SIZE) {
            header->stamp_kind = STAMP_UNIX;
            header->stamp = static_cast<uint32_t>(get_le(data, UNIX_TIME_SIZE));
        }
        return true;
    default:
        return true;
    }
}

// The folder and the name, joined by a backslash, as the header's name;
// what does not fit its room is cut off.
void join_name(AnyHeader* header)
{
    size_t length = 0;
    const auto append = [&](const char* text, size_t count) {
        for (size_t i = 0; i < count; i++) {
            if (length == MAX_LISTED_NAME - 1) {
                header->name_cut = true;
                break;
            }
            header->name[length++] = text[i];
        }
    };
    append(folder_part, folder_part_length);
    append("\\", folder_part_length > 0 ? 1 : 0);
    append(name_part, name_part_length);
    header->name[length] = '\0';
}

// The fields that levels 0 and 1 share with level 2 at the same offsets,
// the method aside.
void take_common_fields(AnyHeader* header)
{
    header->packed_size = get_le(header_bytes + OFFSET_PACKED_SIZE, 4);
    header->unpacked_size = get_le(header_bytes + OFFSET_UNPACKED_SIZE, 4);
    header->stamp = static_cast<uint32_t>(get_le(header_bytes + OFFSET_STAMP, 4));
}

// Levels 0 and 1: the base header of H + 2 bytes, of which FIXED_PART are
// read, checked and taken apart by the installer's reader of level 0
// (lha/header.h); a level-1 header's extended headers follow it in the
// stream.
AnyHeaderResult read_level_0_or_1(AnyHeader* header)
{
    const size_t size = header_bytes[0] + 2u;
    if (size < FIXED_PART)
        return ANY_HEADER_DAMAGED;
    if (!read_bytes(header_bytes + FIXED_PART, size - FIXED_PART))
        return ANY_HEADER_CUT;
    MemberHeader base;
    const HeaderResult result = parse_member_header(header_bytes, &base);
    if (result != HEADER_READ)
        return result == HEADER_BAD_SUM ? ANY_HEADER_BAD_SUM : ANY_HEADER_DAMAGED;
    const size_t name_length = base.name_length;
    if (header->level == 1 && size < HEADER_NAME_OFFSET + name_length + LEVEL1_NAME_TAIL)
        return ANY_HEADER_DAMAGED;
    // The sizes as they stand, all four bytes (the installer reads three).
    take_common_fields(header);
    header->stamp_kind = STAMP_DOS;
    header->crc = base.crc;
    header->name_cut =
        !keep_part(name_part, &name_part_length, reinterpret_cast<const uint8_t*>(base.name), name_length);
    if (header->level == 0) {
        const uint8_t* extension = header_bytes + HEADER_NAME_OFFSET + name_length + HEADER_CRC_SIZE;
        if (header_bytes + size - extension >= static_cast<ptrdiff_t>(LEVEL0_UNIX_SIZE) &&
            extension[0] == LEVEL0_UNIX_ID && extension[1] == LEVEL0_UNIX_VERSION) {
            header->stamp_kind = STAMP_UNIX;
            header->stamp = static_cast<uint32_t>(get_le(extension + LEVEL0_UNIX_TIME_AT, UNIX_TIME_SIZE));
        }
        return ANY_HEADER_READ;
    }

    // The extended headers, one at a time; their sizes count in the packed
    // size field.
    size_t next = static_cast<size_t>(get_le(header_bytes + size - 2, 2));
    uint64_t extended = 0;
    while (next != 0) {
        extended += next;
        if (next < EXTENDED_MIN_SIZE || extended > header->packed_size)
            return ANY_HEADER_DAMAGED;
        if (!read_bytes(header_bytes, next))
            return ANY_HEADER_CUT;
        if (!take_extended(header, header_bytes[0], header_bytes + 1, next - EXTENDED_MIN_SIZE))
            return ANY_HEADER_DAMAGED;
        next = static_cast<size_t>(get_le(header_bytes + next - 2, 2));
    }
    header->packed_size -= extended;
    return ANY_HEADER_READ;
}

// Level 2: the whole header, its extended headers inside it, checked by
// the header CRC where it has one.
AnyHeaderResult read_level_2(AnyHeader* header)
{
    const size_t size = static_cast<size_t>(get_le(header_bytes, 2));
    if (size < LEVEL2_BASE_SIZE)
        return ANY_HEADER_DAMAGED;
    if (!read_bytes(header_bytes + FIXED_PART, size - FIXED_PART))
        return ANY_HEADER_CUT;
    take_common_fields(header);
    header->stamp_kind = STAMP_UNIX;
    header->crc = static_cast<uint16_t>(get_le(header_bytes + LEVEL2_OFFSET_CRC, HEADER_CRC_SIZE));
    size_t at = LEVEL2_OFFSET_NEXT;
    size_t next = static_cast<size_t>(get_le(header_bytes + at, 2));
    at += 2;
    size_t crc_at = 0;
    while (next != 0) {
        if (next < EXTENDED_MIN_SIZE || at + next > size)
            return ANY_HEADER_DAMAGED;
        const uint8_t type = header_bytes[at];
        if (!take_extended(header, type, header_bytes + at + 1, next - EXTENDED_MIN_SIZE))
            return ANY_HEADER_DAMAGED;
        if (type == EXTENDED_HEADER_CRC && next >= EXTENDED_MIN_SIZE + HEADER_CRC_SIZE)
            crc_at = at + 1;
        at += next;
        next = static_cast<size_t>(get_le(header_bytes + at - 2, 2));
    }
    // Bytes after the last extended header (an archiver may add one, so
    // that the header's first byte is never 0) are part of the header.
    if (crc_at != 0) {
        const uint16_t stored = static_cast<uint16_t>(get_le(header_bytes + crc_at, HEADER_CRC_SIZE));
        header_bytes[crc_at] = 0;
        header_bytes[crc_at + 1] = 0;
        if (crc16_update_block(0, header_bytes, size) != stored)
            return ANY_HEADER_BAD_CRC;
    }
    return ANY_HEADER_READ;
}

}  // namespace

AnyHeaderResult read_any_header(AnyHeader* header)
{
    *header = AnyHeader{};
    name_part_length = 0;
    folder_part_length = 0;
    header_bytes[0] = static_cast<uint8_t>(read_archive_byte());
    if (archive_stream.past_end > 0)
        return ANY_HEADER_CUT;
    if (header_bytes[0] == 0)
        return ANY_HEADER_END;
    if (!read_bytes(header_bytes + 1, FIXED_PART - 1))
        return ANY_HEADER_CUT;
    memcpy(header->method, header_bytes + OFFSET_METHOD, METHOD_ID_SIZE);
    header->method[METHOD_ID_SIZE] = '\0';
    header->level = header_bytes[OFFSET_LEVEL];
    AnyHeaderResult result = ANY_HEADER_LEVEL;
    if (header->level <= 1)
        result = read_level_0_or_1(header);
    else if (header->level == 2)
        result = read_level_2(header);
    if (result == ANY_HEADER_READ)
        join_name(header);
    return result;
}
