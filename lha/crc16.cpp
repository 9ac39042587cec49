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

// performance-critical; rerun bench/lh1_bench.sh.
//
// Eight bytes a turn: the register, 16 bits wide, meets the first two of
// them; each byte then indexes the slice that shifts it through the bytes
// that follow it in the turn. Eight independent lookups a turn, instead of
// a chain of eight dependent ones.
uint16_t crc16_update_block(uint16_t crc, const uint8_t* bytes, size_t count)
{
    const auto& t = CRC16_TABLES.slice;
    unsigned c = crc;
    for (; count >= CRC16_SLICES; count -= CRC16_SLICES, bytes += CRC16_SLICES) {
        const unsigned low = (c ^ bytes[0]) & 0xFF;
        const unsigned high = ((c >> 8) ^ bytes[1]) & 0xFF;
        c = t[7][low] ^ t[6][high] ^ t[5][bytes[2]] ^ t[4][bytes[3]] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^
            t[1][bytes[6]] ^ t[0][bytes[7]];
    }
    crc = static_cast<uint16_t>(c);
    for (; count > 0; count--)
        crc = crc16_step(crc, *bytes++);
    return crc;
}
