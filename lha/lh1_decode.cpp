// lha/lh1_decode.cpp: the -lh1- sliding-window decoder.
//
// Module state:
//   decoder_window  the ring of the most recent output (lha/lh1_decode.h).
// The loop keeps its positions and the bytes still to produce in locals.
#include "lha/lh1_decode.h"

#include <cstring>

#include "lha/lh1_model.h"
#include "lha/stream.h"

uint8_t decoder_window[WINDOW_SIZE];

// The longest position code: its upper and its lower bits.
constexpr int POSITION_BITS_MAX = POSITION_CODE_MAX + POSITION_LOW_BITS;
static_assert(POSITION_BITS_MAX <= BIT_REFILL_GUARANTEE, "a position fits one refill");

// Both position tables, built by one rule at compile time. The upper value
// u has a code of 3 bits for u = 0, 4 bits for 1 to 3, 5 for 4 to 11, 6 for
// 12 to 23, 7 for 24 to 47 and 8 for 48 to 63. Going through u in order,
// each u takes the next 2^(8 - length) entries: its code is the top
// `length` bits of its first entry.
struct PositionTables {
    PositionTable high;
    PositionTable code_len;
};

static constexpr PositionTables make_position_tables()
{
    // How many values of u have each code length from 3 to 8.
    constexpr int VALUES_OF_LENGTH[] = {1, 3, 8, 12, 24, 16};
    constexpr int SHORTEST_CODE = 3;
    PositionTables t{};
    int entry = 0;
    int u = 0;
    for (int group = 0; group < 6; group++) {
        const int length = SHORTEST_CODE + group;
        for (int n = 0; n < VALUES_OF_LENGTH[group]; n++, u++) {
            for (int e = 0; e < 1 << (POSITION_CODE_MAX - length); e++, entry++) {
                t.high[entry] = u;
                t.code_len[entry] = length;
            }
        }
    }
    return t;
}

static constexpr PositionTables POSITION_TABLES = make_position_tables();
static_assert(POSITION_TABLES.high[POSITION_TABLE_SIZE - 1] == 63, "the last entry is u = 63 alone");
static_assert(POSITION_TABLES.high[80] == 4 && POSITION_TABLES.code_len[80] == 5, "entry 80 starts u = 4");

const PositionTable pos_high = POSITION_TABLES.high;
const PositionTable pos_code_len = POSITION_TABLES.code_len;

// performance-critical; rerun bench/lh1_bench.sh.
//
// The first eight bits hold the whole code of the upper six bits and the
// first bits of the lower six; pos_code_len[b] + 6 bits are taken in all,
// and the lower six bits are the last six of them.
int decode_position()
{
    need_bits(POSITION_BITS_MAX);
    const uint32_t b = peek_bits(POSITION_CODE_MAX);
    const int length = pos_code_len[b] + POSITION_LOW_BITS;
    const uint32_t code = peek_bits(length);
    drop_bits(length);
    return static_cast<int>(static_cast<uint32_t>(pos_high[b]) << POSITION_LOW_BITS |
                            (code & ((1u << POSITION_LOW_BITS) - 1)));
}

// performance-critical; rerun bench/lh1_bench.sh.
//
// One turn per item. Entry: `size` is any number from 0 to UINT32_MAX;
// `left`, the bytes still owed, is of its type and starts at it. The
// archive stream holds any bytes (0xFF past its end), the last MAX_MATCH
// window positions any bytes the previous member left; the model, the bit
// input and the window's other positions are set here. A turn decodes one
// symbol (one walk and one update of the model) and emits 1 byte for a
// literal, or reads a position and emits up to 60 bytes for a match, each
// byte read from the window before the byte of its step is stored, so a
// match overlapping its own output repeats it. A match is cut where `left`
// reaches 0; its bits have all been read by then. Exit: left is 0, `size`
// bytes have been emitted, and no further bit has been read.
void decode_lh1(uint32_t size)
{
    uint32_t left = size;
    init_model();
    reset_bit_input();
    memset(decoder_window, ' ', WINDOW_START);

    int pos = WINDOW_START;
    while (left > 0) {
        const int symbol = decode_char();
        if (symbol < FIRST_MATCH_SYMBOL) {
            put_output_byte(static_cast<unsigned>(symbol));
            decoder_window[pos] = static_cast<uint8_t>(symbol);
            pos = (pos + 1) & WINDOW_MASK;
            left--;
            continue;
        }
        const uint32_t length = static_cast<uint32_t>(symbol - LENGTH_SYMBOL_BASE);
        const int distance = decode_position();
        int copy_pos = (pos - distance - 1) & WINDOW_MASK;
        const uint32_t count = length < left ? length : left;
        left -= count;
        for (uint32_t n = 0; n < count; n++) {
            const uint8_t byte = decoder_window[copy_pos];
            copy_pos = (copy_pos + 1) & WINDOW_MASK;
            put_output_byte(byte);
            decoder_window[pos] = byte;
            pos = (pos + 1) & WINDOW_MASK;
        }
    }
    end_bit_input();
}
