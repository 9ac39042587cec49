// lha/lh1_model.h: the bit input of -lh1- members and the adaptive Huffman
// model of their symbols (literal bytes and match lengths).
//
// The model is a code tree over SYMBOL_COUNT symbols kept in three parallel
// tables in order of frequency, walked from the root one bit a level,
// updated after every symbol and rebuilt with halved frequencies when the
// root reaches FREQ_LIMIT. decode_lh1 resets both at the start of each
// member and gives the bytes read ahead back at its end.
#pragma once

#include <cstdint>

#include "lha/lh1_format.h"
#include "lha/stream.h"

// Tree positions: SYMBOL_COUNT leaves and SYMBOL_COUNT - 1 internal nodes.
constexpr int NODE_COUNT = 2 * SYMBOL_COUNT - 1;
// Position of the root, always the last one; it never moves.
constexpr int ROOT = NODE_COUNT - 1;
// Root frequency at which the model is rebuilt before the next update.
constexpr uint32_t FREQ_LIMIT = 0x8000;
// model_freq[NODE_COUNT]: above every frequency, so no update moves the
// root.
constexpr uint32_t FREQ_SENTINEL = 0xFFFF;
// Entries of model_parent: one per position, then one per symbol.
constexpr int PARENT_COUNT = NODE_COUNT + SYMBOL_COUNT;

static_assert(ROOT == 626 && NODE_COUNT == 627, "the tree has 627 positions");
static_assert(FREQ_LIMIT < FREQ_SENTINEL, "the sentinel is above every frequency");

// The model, module state of lha/lh1_model.cpp, written there alone; the
// encoder reads model_freq and model_parent to price and code symbols.
//   model_freq[p]    frequency of the node at position p; never falls with
//                    p. model_freq[NODE_COUNT] is FREQ_SENTINEL.
//   model_child[p]   internal node: position of its first child (the second
//                    is at model_child[p] + 1). Leaf: its symbol +
//                    NODE_COUNT.
//   model_parent[p]  p < NODE_COUNT: position of the parent of the node at
//                    p; model_parent[ROOT] is 0, which is nobody's parent
//                    since position 0 always holds a leaf.
//   model_parent[NODE_COUNT + s]  position of the leaf of symbol s.
extern uint32_t model_freq[NODE_COUNT + 1];
extern int32_t model_child[NODE_COUNT];
extern int32_t model_parent[PARENT_COUNT];

// The bit input, module state of lha/lh1_model.cpp:
//   bit_buffer  the next unread bit of the packed data is bit 63, the
//               following ones below it. Below the bit_count bits that
//               count stand zeros or the bits that come next, never
//               others, so a refill may OR new bytes in.
//   bit_count   unread bits in bit_buffer, 0 to 64; 0 means the next bit
//               needs a new byte. Whole bytes read ahead of need are given
//               back by end_bit_input.
extern uint64_t bit_buffer;
extern int32_t bit_count;

// The longest request of need_bits: a refill brings bit_count to at least
// 56 (whole bytes are added while there is room for one more).
constexpr int BIT_REFILL_GUARANTEE = 56;

// Refills bit_buffer byte by byte through read_archive_byte (past the end
// of the archive those bytes are 0xFF).
void refill_bit_buffer_slow();

// Brings bit_count to at least BIT_REFILL_GUARANTEE bits, by one 8-byte
// load straight from the archive buffer where 8 bytes are there. The bytes
// counted are taken from the stream; the part of a byte beyond them that
// is ORed in is the stream's next byte, so the invariant holds.
inline void refill_bit_buffer()
{
    ArchiveStream& in = archive_stream;
    if (in.end - in.next >= 8) {
        const uint8_t* b = in.next;
        const uint64_t bytes = static_cast<uint64_t>(b[0]) << 56 | static_cast<uint64_t>(b[1]) << 48 |
                               static_cast<uint64_t>(b[2]) << 40 | static_cast<uint64_t>(b[3]) << 32 |
                               static_cast<uint64_t>(b[4]) << 24 | static_cast<uint64_t>(b[5]) << 16 |
                               static_cast<uint64_t>(b[6]) << 8 | static_cast<uint64_t>(b[7]);
        bit_buffer |= bytes >> bit_count;
        const int taken = (63 - bit_count) >> 3;
        in.next += taken;
        bit_count += taken * 8;
        return;
    }
    refill_bit_buffer_slow();
}

// The bit reader's vocabulary: need_bits(n) makes n bits (at most
// BIT_REFILL_GUARANTEE) available, peek_bits(n) returns the next n (1 to
// 32) as a number without taking them, drop_bits(n) takes them.
inline void need_bits(int n)
{
    if (bit_count < n)
        refill_bit_buffer();
}
inline uint32_t peek_bits(int n)
{
    return static_cast<uint32_t>(bit_buffer >> (64 - n));
}
inline void drop_bits(int n)
{
    bit_buffer <<= n;
    bit_count -= n;
}

// Start of a member: no bit is left, the next one comes from a new byte.
void reset_bit_input();
// End of a member: gives the whole bytes that were read ahead back to the
// archive stream, which then stands right after the last byte a bit was
// taken from. The unused bits of that byte stay in bit_buffer, dropped by
// the next reset.
void end_bit_input();

// Puts the tables into their initial state: leaves of symbols 0 to 313 at
// positions 0 to 313, each of frequency 1; the root's frequency is 314.
void init_model();
// Reads one code from the root down to a leaf, updates the model with its
// symbol and returns the symbol, 0 to 313.
int decode_char();
// The update of the model after `symbol`, whose leaf lies at the end of
// the way `path` from the root (path[0] the root's child, path[depth - 1]
// the leaf) in the tree as it stands: what decode_char does after its walk,
// for the encoder, which finds the way from the leaf up. A code is at most
// 23 bits long while the root stays below FREQ_LIMIT.
void update_model_along(const uint32_t* path, int depth, int symbol);
// Halves every leaf's frequency (rounding up) and rebuilds the tree.
void rebuild_model();
