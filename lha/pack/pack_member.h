// lha/pack/pack_member.h: one member of a level-0 archive made from its
// bytes, the counterpart of the reader: its header and the data that follow
// it. Works on memory alone; opens and prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lha/header.h"

enum PackMethod {
    PACK_SMALLER,  // -lh1- where that is smaller than storing, else stored
    PACK_STORED,   // -lh0- for every member
    PACK_LH1,      // -lh1- for every member
};

// A member ready to be written: `header_size` bytes of header, then
// `data_size` bytes at `data` (the input itself when stored).
struct PackedMember {
    uint8_t header[HEADER_BUFFER_SIZE];
    size_t header_size;
    const uint8_t* data;
    size_t data_size;
    bool compressed;
};

enum PackResult {
    PACK_DONE,
    PACK_LH1_TOO_LARGE,  // forced -lh1- data of MAX_MEMBER_SIZE bytes or more
};

// Packs `size` bytes of `input` (at most MAX_MEMBER_SIZE) as the member
// named `name` (code page 932, `name_length` bytes, at most
// MAX_MEMBER_NAME), stamped `stamp` (lha/pack/dos_stamp.h), by `method`: -lh1- where
// it is smaller than storing (or forced), its data written into `packed`
// (MAX_MEMBER_SIZE + 1 bytes), else stored. An empty input is stored.
PackResult pack_member(const uint8_t* input, size_t size, const char* name, size_t name_length, uint32_t stamp,
                       PackMethod method, uint8_t* packed, PackedMember* member);
