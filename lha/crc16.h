// lha/crc16.h: CRC-16/ARC (reflected polynomial 0xA001, initial value 0,
// no final XOR), one table step per byte.
#pragma once

#include <cstdint>

constexpr int CRC16_TABLE_SIZE = 256;

// Entry i is the CRC-16/ARC register after shifting the byte i through a
// zero register: entry 1 is 0xC0C1, entry 128 is 0xA001, entry 255 0x4040.
extern const uint16_t CRC16_TABLE[CRC16_TABLE_SIZE];

// Folds one byte into a CRC register and returns the new register.
inline uint16_t crc16_step(uint16_t crc, uint8_t byte)
{
    return static_cast<uint16_t>(CRC16_TABLE[(crc ^ byte) & 0xFF] ^ (crc >> 8));
}
