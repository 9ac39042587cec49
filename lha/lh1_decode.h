// lha/lh1_decode.h: the -lh1- sliding-window decoder: LZSS over a window of
// the last 4096 output bytes, literals and match lengths coded by the
// adaptive model of lha/lh1_model.h, match distances by a fixed prefix code.
#pragma once

#include <array>
#include <cstdint>

#include "lha/lh1_format.h"

// First window position of each member, and the number of positions set to
// spaces before it; the MAX_MATCH positions above it carry over from the
// previous -lh1- member.
constexpr int WINDOW_START = WINDOW_SIZE - MAX_MATCH;
// The position tables, indexed by the first eight bits of a position code
// (first bit most significant): pos_high[b] is the upper six bits of the
// distance (0 to 63), pos_code_len[b] the length of their code (3 to 8).
using PositionTable = std::array<int32_t, POSITION_TABLE_SIZE>;
extern const PositionTable pos_high;
extern const PositionTable pos_code_len;

// The window ring of the most recent output, module state of
// lha/lh1_decode.cpp, written there alone: exactly WINDOW_SIZE bytes, every
// index masked. Positions 0 to WINDOW_START - 1 become spaces at the start
// of each member; the last MAX_MATCH positions keep what the previous -lh1-
// member left there (zero since the program started).
extern uint8_t decoder_window[WINDOW_SIZE];

// Reads one match distance, 0 to 4095: the code of its upper six bits,
// then its lower six bits. 0 is the byte output last.
int decode_position();

// Decodes one member of `size` bytes, any number from 0 to UINT32_MAX (the
// installer passes at most MAX_MEMBER_SIZE, the packer's walk up to
// UINT32_MAX), from the archive stream into put_output_byte: exactly `size`
// bytes, whatever the input. Afterwards the stream stands right after the
// last byte a bit was taken from.
void decode_lh1(uint32_t size);
