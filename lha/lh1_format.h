// lha/lh1_format.h: the constants of the -lh1- format, which the decoder
// and the encoder share: LZSS over a window of the last 4096 bytes, 314
// symbols (256 literal bytes, then match lengths 3 to 60) coded by the
// adaptive model, and match distances coded as six upper bits by a fixed
// prefix code of 3 to 8 bits, then six lower bits as they are.
#pragma once

// Size of the window ring; every window position is taken modulo it.
constexpr int WINDOW_SIZE = 4096;
constexpr int WINDOW_MASK = WINDOW_SIZE - 1;
// Shortest and longest match, bytes.
constexpr int MIN_MATCH = 3;
constexpr int MAX_MATCH = 60;
// Symbols below this are literal bytes; symbol s from it on stands for a
// match of s - LENGTH_SYMBOL_BASE bytes.
constexpr int FIRST_MATCH_SYMBOL = 256;
constexpr int LENGTH_SYMBOL_BASE = FIRST_MATCH_SYMBOL - MIN_MATCH;
constexpr int SYMBOL_COUNT = LENGTH_SYMBOL_BASE + MAX_MATCH + 1;
// Bits of a position code: 3 to 8 for the upper six bits of a distance,
// then the lower six.
constexpr int POSITION_LOW_BITS = 6;
constexpr int POSITION_CODE_MAX = 8;
constexpr int POSITION_HIGH_VALUES = WINDOW_SIZE >> POSITION_LOW_BITS;
// Entries of the two position tables: one per value of the first 8 bits.
constexpr int POSITION_TABLE_SIZE = 1 << POSITION_CODE_MAX;

static_assert((WINDOW_SIZE & WINDOW_MASK) == 0, "the window is a power of two");
static_assert(SYMBOL_COUNT == 314, "symbols 0 to 313");
static_assert(POSITION_HIGH_VALUES == 64, "six upper and six lower bits make a distance");
