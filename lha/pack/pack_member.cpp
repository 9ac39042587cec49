// lha/pack/pack_member.cpp: members packed into memory. No state.
#include "lha/pack/pack_member.h"

#include <cstring>

#include "lha/crc16.h"
#include "lha/pack/lh1_encode.h"

// MS-DOS dates count years from 1980 to 2107.
constexpr int DOS_EPOCH_YEAR = 1980;
constexpr int DOS_LAST_YEAR = DOS_EPOCH_YEAR + 127;

PackResult pack_member(const uint8_t* input, size_t size, const char* name, size_t name_length, uint32_t stamp,
                       PackMethod method, uint8_t* packed, PackedMember* member)
{
    // -lh1- unless storing is not larger (or lh0 is forced); an empty file
    // has no -lh1- data that could be smaller.
    member->data = input;
    member->data_size = size;
    member->compressed = false;
    if (method == PACK_LH1 || (method == PACK_SMALLER && size > 0)) {
        // The packed size has three bytes in the header too: forced -lh1-
        // data of incompressible input can outgrow them.
        const size_t capacity = method == PACK_LH1 ? MAX_MEMBER_SIZE : size - 1;
        const size_t packed_size = encode_lh1(input, size, packed, capacity);
        if (packed_size != LH1_TOO_LARGE) {
            member->data = packed;
            member->data_size = packed_size;
            member->compressed = true;
        } else if (method == PACK_LH1) {
            return PACK_LH1_TOO_LARGE;
        }
    }
    MemberHeader header{};
    memcpy(header.method, member->compressed ? "-lh1-" : "-lh0-", METHOD_ID_SIZE);
    header.packed_size = static_cast<uint32_t>(member->data_size);
    header.unpacked_size = static_cast<uint32_t>(size);
    header.stamp = stamp;
    header.attribute = MEMBER_ATTRIBUTE_ARCHIVE;
    header.name_length = static_cast<uint8_t>(name_length);
    memcpy(header.name, name, name_length);
    header.crc = crc16_update_block(0, input, size);
    member->header_size = static_cast<size_t>(write_member_header(header, member->header));
    return PACK_DONE;
}

uint32_t dos_stamp(int year, int month, int day, int hour, int minute, int second)
{
    if (year < DOS_EPOCH_YEAR)
        return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00, the first stamp there is
    if (year > DOS_LAST_YEAR)
        return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
    const uint32_t date = static_cast<uint32_t>((year - DOS_EPOCH_YEAR) << 9 | month << 5 | day);
    const uint32_t time_of_day = static_cast<uint32_t>(hour << 11 | minute << 5 | second / 2);
    return date << 16 | time_of_day;
}
