// lha/extract.cpp: a member chosen, checked, and put out or skipped.
//
// This file keeps no state of its own: the member's facts come from the
// caller, the archive stream, the output file and the CRC register are
// lha/stream.cpp's.
#include "lha/extract.h"

#include <cstring>

#include "lha/header.h"
#include "lha/lh1_decode.h"
#include "lha/stream.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

bool is_member_selected(const char* pattern, const char* name)
{
    return strcmp(pattern, "*") == 0 || strcmp(pattern, "*.*") == 0 || same_ignoring_case(pattern, name);
}

// Shift_JIS double-byte characters are stepped over whole, so a trail byte
// 0x5C is not a separator.
bool is_safe_member_name(const char* name)
{
    if (is_path_separator(name[0]) || has_colon_second(name))
        return false;
    const char* component = name;
    for (const char* p = name;; p++) {
        if (*p == '\0' || is_path_separator(*p)) {
            if (is_dots_and_blanks(component, p) || is_device_name(component, p))
                return false;
            if (*p == '\0')
                return p == name || p != component;
            component = p + 1;
        } else {
            p += sjis_character_length(p) - 1;
        }
    }
}

void skip_member_data(const MemberFacts& member)
{
    skip_archive_bytes(member.packed_size);
}

bool unpack_member(const MemberFacts& member, bool* known_method)
{
    crc_register = 0;
    *known_method = true;
    if (is_stored_method(member.method)) {
        copy_archive_bytes(member.packed_size);
    } else if (is_lh1_method(member.method)) {
        decode_lh1(member.unpacked_size);
    } else {
        *known_method = false;
        skip_member_data(member);
    }
    return output_crc() == member.crc;
}
