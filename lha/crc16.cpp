// lha/crc16.cpp: the CRC-16/ARC tables, built at compile time, and the
// block update.
#include "lha/crc16.h"

// Slice 0: each byte shifted eight times through the reflected polynomial.
// Slice k: slice k - 1 shifted through one more zero byte.
static constexpr Crc16Tables make_crc16_tables()
{
    Crc16Tables t{};
    for (int i = 0; i < CRC16_TABLE_SIZE; i++) {
        unsigned crc = static_cast<unsigned>(i);
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
        t.slice[0][i] = static_cast<uint16_t>(crc);
    }
    for (int k = 1; k < CRC16_SLICES; k++)
        for (int i = 0; i < CRC16_TABLE_SIZE; i++) {
            const unsigned previous = t.slice[k - 1][i];
            t.slice[k][i] = static_cast<uint16_t>((previous >> 8) ^ t.slice[0][previous & 0xFF]);
        }
    return t;
}

static constexpr Crc16Tables TABLES = make_crc16_tables();
static_assert(TABLES.slice[0][1] == 0xC0C1 && TABLES.slice[0][128] == 0xA001 && TABLES.slice[0][255] == 0x4040,
              "the standard CRC-16/ARC table");

const Crc16Tables CRC16_TABLES = TABLES;

// The bytes of a block from `at`, the first the lowest.
static inline uint32_t little_endian_32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

// The lookups of the four bytes of `word`, the first of which is shifted
// through `last` further zero bytes of the turn, the others through fewer.
static inline uint32_t fold_word(uint32_t word, int last)
{
    const auto& t = CRC16_TABLES.slice;
    return t[last][word & 0xFF] ^ t[last - 1][(word >> 8) & 0xFF] ^ t[last - 2][(word >> 16) & 0xFF] ^
           t[last - 3][word >> 24];
}

static_assert(CRC16_SLICES == 16, "a turn of crc16_update_block reads four words");

// performance-critical; rerun bench/lh1_bench.sh and bench/members_bench.py.
//
// Sixteen bytes a turn, read as four words: each byte indexes the slice
// that shifts it through the bytes that follow it in the turn, sixteen
// independent lookups. Only the first two bytes meet the 16-bit register,
// so the fourteen others are folded first and the chain from one turn to
// the next is two lookups long.
uint16_t crc16_update_block(uint16_t crc, const uint8_t* bytes, size_t count)
{
    const auto& t = CRC16_TABLES.slice;
    uint32_t c = crc;
    for (; count >= CRC16_SLICES; count -= CRC16_SLICES, bytes += CRC16_SLICES) {
        const uint32_t first = little_endian_32(bytes);
        const uint32_t rest = (t[13][(first >> 16) & 0xFF] ^ t[12][first >> 24]) ^
                              fold_word(little_endian_32(bytes + 4), 11) ^ fold_word(little_endian_32(bytes + 8), 7) ^
                              fold_word(little_endian_32(bytes + 12), 3);
        const uint32_t head = (first ^ c) & 0xFFFF;
        c = rest ^ t[15][head & 0xFF] ^ t[14][head >> 8];
    }
    crc = static_cast<uint16_t>(c);
    for (; count > 0; count--)
        crc = crc16_step(crc, *bytes++);
    return crc;
}
