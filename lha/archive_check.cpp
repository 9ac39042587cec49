// lha/archive_check.cpp: walking an archive of any header level for
// ymw-pack -l and -t, with the installer's own decoder and name rules.
//
// This file keeps no state of its own: the archive stream, the output
// (here written nowhere) and the header the decoder reads are the
// reader's.
#include "lha/archive_check.h"

#include <cstring>

#include "lha/extract.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

namespace {

// The largest size the installer's decoder takes.
constexpr uint64_t MAX_DECODED_SIZE = UINT32_MAX;

bool is_installer_method(const char* method)
{
    return strcmp(method, "-lh0-") == 0 || strcmp(method, "-lh1-") == 0;
}

// Whether a name holds a separator between two names (a folder part);
// double-byte characters are stepped over whole.
bool has_folder(const char* name)
{
    for (const char* p = name; *p != '\0'; p += sjis_character_length(p))
        if (sjis_character_length(p) == 1 && is_path_separator(*p))
            return true;
    return false;
}

unsigned obstacles_of(const AnyHeader& h)
{
    unsigned obstacles = 0;
    if (h.level != 0)
        obstacles |= OBSTACLE_LEVEL;
    if (!is_installer_method(h.method))
        obstacles |= OBSTACLE_METHOD;
    if (!is_safe_member_name(h.name) || h.name_cut ||
        (!has_folder(h.name) && windows_name_fault(h.name) != NAME_FITS))
        obstacles |= OBSTACLE_NAME;
    else if (has_folder(h.name))
        obstacles |= OBSTACLE_FOLDER;
    if (h.packed_size > MAX_MEMBER_SIZE || h.unpacked_size > MAX_MEMBER_SIZE)
        obstacles |= OBSTACLE_SIZE;
    return obstacles;
}

// Reads over `count` bytes; false when the archive ended or failed first.
bool skip_bytes(uint64_t count)
{
    for (uint64_t i = 0; i < count && archive_stream.past_end == 0; i++)
        read_archive_byte();
    return archive_stream.past_end == 0;
}

MemberCheck cut_or_failed()
{
    return archive_stream.failed ? MEMBER_READ_FAILED : MEMBER_CUT;
}

}  // namespace

void start_walk(FILE* file)
{
    take_archive_stream(file);
}

void close_walk()
{
    close_archive_stream();
}

WalkStep walk_next_member(WalkedMember* member)
{
    switch (read_any_header(&member->header)) {
    case ANY_HEADER_READ:
        member->obstacles = obstacles_of(member->header);
        return WALK_MEMBER;
    case ANY_HEADER_END:
        return WALK_END;
    case ANY_HEADER_BAD_SUM:
        return WALK_BAD_SUM;
    case ANY_HEADER_BAD_CRC:
        return WALK_BAD_CRC;
    case ANY_HEADER_DAMAGED:
        return WALK_DAMAGED;
    case ANY_HEADER_CUT:
        return archive_stream.failed ? WALK_READ_FAILED : WALK_CUT;
    case ANY_HEADER_LEVEL:
        return WALK_LEVEL;
    }
    return WALK_DAMAGED;
}

MemberCheck skip_walked_member(const WalkedMember& member)
{
    return skip_bytes(member.header.packed_size) ? MEMBER_INTACT : cut_or_failed();
}

MemberCheck test_walked_member(const WalkedMember& member)
{
    const AnyHeader& h = member.header;
    if (!is_installer_method(h.method) || h.packed_size > MAX_DECODED_SIZE || h.unpacked_size > MAX_DECODED_SIZE)
        return skip_walked_member(member) == MEMBER_INTACT ? MEMBER_UNTESTABLE : cut_or_failed();

    // The installer's own decoding, from the header fields it reads.
    memcpy(member_header.method, h.method, METHOD_ID_SIZE);
    member_header.packed_size = static_cast<uint32_t>(h.packed_size);
    member_header.unpacked_size = static_cast<uint32_t>(h.unpacked_size);
    member_header.crc = h.crc;
    const uint64_t start = archive_position();
    bool known_method = true;
    open_output_discard();
    const bool intact = unpack_member(&known_method);
    close_output_file();
    if (archive_stream.past_end > 0)
        return cut_or_failed();
    // -lh1- data may hold bytes after the last one that its decoding needs.
    const uint64_t used = archive_position() - start;
    if (used > h.packed_size)
        return MEMBER_OVERRUN;
    if (!skip_bytes(h.packed_size - used))
        return cut_or_failed();
    return intact ? MEMBER_INTACT : MEMBER_DAMAGED;
}

bool is_replaceable_archive(FILE* file, uint64_t size)
{
    take_archive_stream(file);
    WalkedMember first;
    const WalkStep step = size == 0 ? WALK_END : walk_next_member(&first);
    close_archive_stream();
    if (size == 0)
        return true;
    // An end marker alone is an archive without members; a file that only
    // begins with a byte 0 (an icon, say) is not.
    if (step == WALK_END && size == 1)
        return true;
    return step == WALK_MEMBER && first.header.method[0] == '-' && first.header.method[METHOD_ID_SIZE - 1] == '-';
}
