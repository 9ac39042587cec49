// lha/pack/lh1_encode.h: the -lh1- encoder, the counterpart of
// lha/lh1_decode.h: LZSS over the last WINDOW_SIZE bytes of the member,
// literals and match lengths coded with the same adaptive model the decoder
// keeps, match distances with the decoder's position tables.
//
// The window of every member starts empty: no match reaches before the
// member's first byte, so the packed data decodes the same whatever a
// decoder presets its window with (spaces, zeros, the last member's tail).
#pragma once

#include <cstddef>
#include <cstdint>

// Room that the packed data of `size` bytes can need in the worst case. A
// code of the adaptive model is at most 23 bits long while the root stays
// below FREQ_LIMIT (a leaf at depth d needs a root frequency of at least the
// Fibonacci number F(d + 2), and F(25) is above 32,768), so every byte costs
// less than three bytes of output, a literal or its share of a match.
constexpr size_t lh1_packed_bound(size_t size)
{
    return 3 * size + 8;
}

// What encode_lh1 returns when the packed data does not fit `capacity`.
constexpr size_t LH1_TOO_LARGE = ~size_t{0};

// Encodes `size` bytes (at most MAX_MEMBER_SIZE, lha/header.h) of `data`
// as the packed data of one -lh1- member into `out`, the last byte padded
// with zero bits.
// Returns the number of bytes written, or LH1_TOO_LARGE as soon as they
// would exceed `capacity` (then `out` holds a useless prefix); a caller that
// only wants the packed data when it is smaller than the input passes
// `size - 1`. Uses the model tables of lha/lh1_model.h: no member may be
// decoded while this runs.
size_t encode_lh1(const uint8_t* data, size_t size, uint8_t* out, size_t capacity);
