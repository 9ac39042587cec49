// lha/pack/archive_check.cpp: walking an archive of any header level for
// ymw-pack -l and -t, with the installer's own decoder and name rules.
//
// This file keeps no state of its own: the archive stream and the output
// (here written nowhere) are the reader's, which decodes a member from the
// facts that the walk hands it.
#include "lha/pack/archive_check.h"

#include <cstring>

#include "lha/extract.h"
#include "lha/header.h"
#include "lha/stream.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

namespace {

// The largest size the installer's decoder takes.
constexpr uint64_t MAX_DECODED_SIZE = UINT32_MAX;
// What transfer programs of old filled the last block of a file with.
constexpr unsigned PADDING_ZERO = 0x00;
constexpr unsigned PADDING_SUB = 0x1A;

bool is_installer_method(const char* method)
{
    return is_stored_method(method) || is_lh1_method(method);
}

// Whether a method id has the form of one: a hyphen, three small letters
// or digits, a hyphen ("-lh5-", "-pm0-", "-lzs-").
bool is_method_id(const char* method)
{
    if (strlen(method) != METHOD_ID_SIZE || method[0] != '-' || method[METHOD_ID_SIZE - 1] != '-')
        return false;
    for (int i = 1; i < METHOD_ID_SIZE - 1; i++)
        if (!((method[i] >= 'a' && method[i] <= 'z') || (method[i] >= '0' && method[i] <= '9')))
            return false;
    return true;
}

// Whether the rest of the archive holds nothing but padding.
bool only_padding_follows()
{
    for (;;) {
        const unsigned c = read_archive_byte();
        if (archive_stream.past_end > 0)
            return true;
        if (c != PADDING_ZERO && c != PADDING_SUB)
            return false;
    }
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
    if (h.packed_size > MAX_MEMBER_SIZE || h.unpacked_size > MAX_MEMBER_SIZE)
        obstacles |= OBSTACLE_SIZE;
    // A folder's entry names a folder, which is no file.
    if (is_folder_entry(h))
        return obstacles | OBSTACLE_FOLDER;
    if (!is_installer_method(h.method))
        obstacles |= OBSTACLE_METHOD;
    const NameFault fault = has_folder(h.name) ? NAME_FITS : windows_name_fault(h.name);
    if (!is_safe_member_name(h.name) || h.name_cut || (fault != NAME_FITS && fault != NAME_DOT_OR_BLANK_AT_END))
        obstacles |= OBSTACLE_NAME;
    else if (has_folder(h.name))
        obstacles |= OBSTACLE_FOLDER;
    else if (fault == NAME_DOT_OR_BLANK_AT_END)
        obstacles |= OBSTACLE_RENAMED;
    return obstacles;
}

// Reads over `count` bytes; false when the archive ended or failed first.
bool skip_bytes(uint64_t count)
{
    for (; count > 0 && archive_stream.past_end == 0; count -= count > UINT32_MAX ? UINT32_MAX : count)
        skip_archive_bytes(static_cast<uint32_t>(count > UINT32_MAX ? UINT32_MAX : count));
    return archive_stream.past_end == 0;
}

WalkStep step_of(AnyHeaderResult result)
{
    switch (result) {
    case ANY_HEADER_READ:
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

MemberCheck cut_or_failed()
{
    return archive_stream.failed ? MEMBER_READ_FAILED : MEMBER_CUT;
}

}  // namespace

bool is_folder_entry(const AnyHeader& h)
{
    return strcmp(h.method, FOLDER_METHOD) == 0;
}

void start_walk(FILE* file)
{
    take_archive_stream(file);
}

void restart_walk()
{
    FILE* file = archive_stream.file;
    rewind(file);
    take_archive_stream(file);
}

void close_walk()
{
    close_archive_stream();
}

WalkStep walk_next_member(WalkedMember* member)
{
    const bool first = archive_position() == 0;
    const WalkStep step = step_of(read_any_header(&member->header));
    member->obstacles = step == WALK_MEMBER ? obstacles_of(member->header) : 0;
    // The first header tells an archive from another file: an icon begins
    // with a byte 0, a text with a header of any level, a zip or a
    // program with a header whose checksum fails, and none of them holds
    // a method id where a header has it.
    if (!first || step == WALK_READ_FAILED)
        return step;
    if (step == WALK_END)
        return only_padding_follows() ? WALK_END : WALK_NOT_ARCHIVE;
    return is_method_id(member->header.method) ? step : WALK_NOT_ARCHIVE;
}

void renamed_name(const AnyHeader& header, char* out)
{
    const size_t length = kept_name_length(header.name, strlen(header.name));
    memcpy(out, header.name, length);
    out[length] = '\0';
}

MemberCheck skip_walked_member(const WalkedMember& member)
{
    return skip_bytes(member.header.packed_size) ? MEMBER_INTACT : cut_or_failed();
}

MemberCheck test_walked_member(const WalkedMember& member)
{
    const AnyHeader& h = member.header;
    if (is_folder_entry(h))
        return skip_walked_member(member);
    if (!is_installer_method(h.method) || h.packed_size > MAX_DECODED_SIZE || h.unpacked_size > MAX_DECODED_SIZE)
        return skip_walked_member(member) == MEMBER_INTACT ? MEMBER_UNTESTABLE : cut_or_failed();

    // The installer's own decoding, of the facts that its header gives.
    MemberFacts facts;
    memcpy(facts.method, h.method, METHOD_ID_SIZE);
    facts.packed_size = static_cast<uint32_t>(h.packed_size);
    facts.unpacked_size = static_cast<uint32_t>(h.unpacked_size);
    facts.crc = h.crc;
    const uint64_t start = archive_position();
    bool known_method = true;
    open_output_discard();
    const bool intact = unpack_member(facts, &known_method);
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
    return step == WALK_MEMBER || step == WALK_END;
}
