// lha/pack/pack_member.cpp: members packed into memory. No state.
#include "lha/pack/pack_member.h"

#include <cstring>

#include "lha/crc16.h"
#include "lha/pack/lh1_encode.h"

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
