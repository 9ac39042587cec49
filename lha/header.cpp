// lha/header.cpp: reading and writing level-0 member headers.
//
// State:
//   member_header  the current header's fields (lha/header.h).
//   header_buffer  its bytes as read: H, the checksum and H more bytes.
#include "lha/header.h"

#include <cstring>

#include "lha/stream.h"

MemberHeader member_header;

static uint8_t header_buffer[HEADER_BUFFER_SIZE];

static_assert(OFFSET_METHOD + METHOD_ID_SIZE == OFFSET_PACKED_SIZE, "the sizes follow the method");
static_assert(OFFSET_NAME_LENGTH + 1 == HEADER_NAME_OFFSET, "the name follows its length");
static_assert(HEADER_BUFFER_SIZE == 2 + 255, "H is one byte");

// The little-endian number in `count` bytes of a header from `offset`.
// Sizes are read as three bytes: the fourth has no effect.
constexpr int SIZE_BYTES = 3;
static_assert(MAX_MEMBER_SIZE == (uint32_t{1} << (8 * SIZE_BYTES)) - 1, "the largest size three bytes hold");

static uint32_t get_le(const uint8_t* bytes, unsigned offset, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; i--)
        value = value << 8 | bytes[offset + static_cast<unsigned>(i)];
    return value;
}

HeaderResult parse_member_header(const uint8_t* bytes, MemberHeader* header)
{
    const unsigned size = bytes[0];
    uint8_t sum = 0;
    for (unsigned i = 2; i < size + 2; i++)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    if (sum != bytes[1])
        return HEADER_BAD_SUM;
    // The fixed fields, the name and its CRC must lie inside the H bytes
    // after the first two: H >= 22 + N. Byte 21 itself needs H >= 20.
    const unsigned name_length = size + 1 >= OFFSET_NAME_LENGTH ? bytes[OFFSET_NAME_LENGTH] : 0;
    if (size + 1 < OFFSET_NAME_LENGTH || size < HEADER_NAME_OFFSET + name_length)
        return HEADER_DAMAGED;

    MemberHeader& h = *header;
    h.header_size = bytes[0];
    h.header_sum = bytes[1];
    memcpy(h.method, bytes + OFFSET_METHOD, METHOD_ID_SIZE);
    h.packed_size = get_le(bytes, OFFSET_PACKED_SIZE, SIZE_BYTES);
    h.unpacked_size = get_le(bytes, OFFSET_UNPACKED_SIZE, SIZE_BYTES);
    h.stamp = get_le(bytes, OFFSET_STAMP, 4);
    h.attribute = bytes[OFFSET_ATTRIBUTE];
    h.name_length = static_cast<uint8_t>(name_length);
    memcpy(h.name, bytes + HEADER_NAME_OFFSET, name_length);
    h.name[name_length] = '\0';
    h.crc = static_cast<uint16_t>(get_le(bytes, HEADER_NAME_OFFSET + name_length, HEADER_CRC_SIZE));
    return HEADER_READ;
}

HeaderResult read_member_header()
{
    const unsigned size = read_archive_byte();
    if (size == 0)
        return HEADER_END;
    header_buffer[0] = static_cast<uint8_t>(size);
    for (unsigned i = 1; i < size + 2; i++)
        header_buffer[i] = static_cast<uint8_t>(read_archive_byte());
    return parse_member_header(header_buffer, &member_header);
}

static bool is_method(const char* method, char digit)
{
    return memcmp(method, "-lh", 3) == 0 && method[3] == digit && method[4] == '-';
}

bool is_stored_method(const char* method)
{
    return is_method(method, '0');
}

bool is_lh1_method(const char* method)
{
    return is_method(method, '1');
}

MemberFacts facts_of(const MemberHeader& header)
{
    MemberFacts facts;
    memcpy(facts.method, header.method, METHOD_ID_SIZE);
    facts.packed_size = header.packed_size;
    facts.unpacked_size = header.unpacked_size;
    facts.crc = header.crc;
    return facts;
}

static void put_le(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

int write_member_header(const MemberHeader& header, uint8_t out[HEADER_BUFFER_SIZE])
{
    if (header.name_length > MAX_MEMBER_NAME)
        return 0;
    const int body = HEADER_NAME_OFFSET - 2 + header.name_length + HEADER_CRC_SIZE;
    out[0] = static_cast<uint8_t>(body);
    memcpy(out + OFFSET_METHOD, header.method, METHOD_ID_SIZE);
    put_le(out + OFFSET_PACKED_SIZE, header.packed_size, 4);
    put_le(out + OFFSET_UNPACKED_SIZE, header.unpacked_size, 4);
    put_le(out + OFFSET_STAMP, header.stamp, 4);
    out[OFFSET_ATTRIBUTE] = header.attribute;
    out[OFFSET_LEVEL] = 0;
    out[OFFSET_NAME_LENGTH] = header.name_length;
    memcpy(out + HEADER_NAME_OFFSET, header.name, header.name_length);
    put_le(out + HEADER_NAME_OFFSET + header.name_length, header.crc, HEADER_CRC_SIZE);
    uint8_t sum = 0;
    for (int i = 2; i < body + 2; i++)
        sum = static_cast<uint8_t>(sum + out[i]);
    out[1] = sum;
    return body + 2;
}
