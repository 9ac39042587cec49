// lha/crc16.h: CRC-16/ARC (reflected polynomial 0xA001, initial value 0,
// no final XOR).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int CRC16_TABLE_SIZE = 256;
// Bytes folded in one step of crc16_update_block.
constexpr int CRC16_SLICES = 16;

// CRC16_TABLES[0][i] is the register after shifting the byte i through a
// zero register (entry 1 is 0xC0C1, entry 128 0xA001, entry 255 0x4040):
// the table of the byte-at-a-time CRC. CRC16_TABLES[k][i] is that value
// shifted through k further zero bytes, so sixteen bytes fold in one step
// with one lookup each.
struct Crc16Tables {
    uint16_t slice[CRC16_SLICES][CRC16_TABLE_SIZE];
};
extern const Crc16Tables CRC16_TABLES;

// Folds one byte into a CRC register and returns the new register.
inline uint16_t crc16_step(uint16_t crc, uint8_t byte)
{
    return static_cast<uint16_t>(CRC16_TABLES.slice[0][(crc ^ byte) & 0xFF] ^ (crc >> 8));
}

// Folds `count` bytes into a CRC register and returns the new register;
// the same as crc16_step on each byte in turn.
uint16_t crc16_update_block(uint16_t crc, const uint8_t* bytes, size_t count);
