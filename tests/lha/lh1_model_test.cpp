// tests/lha/lh1_model_test.cpp: the -lh1- bit input and adaptive model: the
// codes of a fresh model, the first update and the first rebuild, reading
// past the end, giving back bytes read ahead, and agreement with the
// step-by-step reference on arbitrary bits and symbol sequences.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/lha/lh1_test_support.h"

using namespace lh1_test;

namespace {

// The model's tables as the product keeps them, read-only.
const uint32_t* const freq = model_freq;
const int32_t* const child = model_child;
const int32_t* const parent = model_parent;

std::string product_code(int symbol)
{
    return code_of(child, parent, symbol);
}

// The invariants that hold whenever decode_char returns: frequencies never
// fall with position, siblings sit side by side and sum to their parent,
// every parent link matches its child link, every leaf is at least 1, and
// each leaf is reachable through its symbol's entry.
void expect_model_invariants()
{
    for (int p = 0; p < ROOT; p++)
        ASSERT_LE(freq[p], freq[p + 1]) << "position " << p;
    ASSERT_EQ(freq[NODE_COUNT], FREQ_SENTINEL);
    ASSERT_EQ(parent[ROOT], 0);
    for (int p = 0; p < NODE_COUNT; p++) {
        const int c = child[p];
        if (c >= NODE_COUNT) {
            ASSERT_GE(freq[p], 1u);
            ASSERT_EQ(parent[c], p) << "leaf of symbol " << c - NODE_COUNT;
        } else {
            ASSERT_EQ(freq[p], freq[c] + freq[c + 1]) << "position " << p;
            ASSERT_EQ(parent[c], p);
            ASSERT_EQ(parent[c + 1], p);
        }
    }
}

void expect_same_model(const Reference& r)
{
    for (int p = 0; p <= NODE_COUNT; p++)
        ASSERT_EQ(freq[p], r.freq[p]) << "freq at " << p;
    for (int p = 0; p < NODE_COUNT; p++)
        ASSERT_EQ(child[p], r.child[p]) << "child at " << p;
    for (int p = 0; p < PARENT_COUNT; p++)
        ASSERT_EQ(parent[p], r.parent[p]) << "parent at " << p;
}

// Bits taken from the archive stream so far: the position after giving
// back what was read ahead, less the bits still unread in the last byte.
uint64_t bits_taken()
{
    end_bit_input();
    return stream_position() * 8 - static_cast<uint64_t>(bit_count);
}

}  // namespace

TEST(Lh1Model, FreshModelCodes)
{
    init_model();
    expect_model_invariants();
    EXPECT_EQ(freq[ROOT], 314u);
    for (int s = 0; s < SYMBOL_COUNT; s++)
        EXPECT_EQ(product_code(s).size(), s < 116 ? 9u : 8u) << "symbol " << s;
    EXPECT_EQ(product_code('a'), "111101101");
    EXPECT_EQ(product_code(256), "10001100");
    EXPECT_EQ(product_code(313), "11000101");
}

TEST(Lh1Model, FreshModelDecodesZerosAndOnes)
{
    struct Case {
        const char* bits;  // a code, then bits that must still be there
        int symbol;
        int code_length;
        int rest;
    };
    const Case cases[] = {
        {"00000000 1011010", 116, 8, 0x5A},
        {"111111111 0110100", 115, 9, 0x34},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        TempWorkspace w;
        StreamOver stream(bytes_of_bits(c.bits));
        init_model();
        EXPECT_EQ(decode_char(), c.symbol);
        EXPECT_EQ(bits_taken(), static_cast<uint64_t>(c.code_length));
        EXPECT_EQ(get_bits(0, 7), c.rest);
    }
}

TEST(Lh1Model, FirstUpdateMovesTheLeafToTheTop)
{
    TempWorkspace w;
    init_model();
    StreamOver stream(bytes_of_bits(product_code(0)));
    EXPECT_EQ(decode_char(), 0);
    expect_model_invariants();
    EXPECT_EQ(parent[NODE_COUNT + 0], 313);
    EXPECT_EQ(parent[NODE_COUNT + 313], 0);
    EXPECT_EQ(freq[313], 2u);
    EXPECT_EQ(freq[ROOT], 315u);
    EXPECT_EQ(product_code(0), "11000101");
}

// The root rises from 314 by one per symbol and meets FREQ_LIMIT after
// 32,454 updates; the next update rebuilds first.
TEST(Lh1Model, FirstRebuildHalvesEveryLeaf)
{
    for (int symbol : {0, int{'e'}, 255, 256, 313}) {
        SCOPED_TRACE(symbol);
        init_model();
        for (int i = 0; i < 32454; i++)
            update_model(symbol);
        EXPECT_EQ(freq[ROOT], FREQ_LIMIT);
        EXPECT_EQ(freq[parent[NODE_COUNT + symbol]], 32455u);
        update_model(symbol);
        expect_model_invariants();
        for (int s = 0; s < SYMBOL_COUNT; s++)
            EXPECT_EQ(freq[parent[NODE_COUNT + s]], s == symbol ? 16229u : 1u) << "symbol " << s;
        EXPECT_EQ(freq[ROOT], 16542u);
    }
}

TEST(Lh1BitInput, GetBitsWithNoCountReadsNothing)
{
    TempWorkspace w;
    StreamOver stream(Bytes{0xA5, 0x3C});
    EXPECT_EQ(get_bits(42, 0), 42);
    EXPECT_EQ(get_bits(7, -3), 7);
    EXPECT_EQ(bits_taken(), 0u);
    EXPECT_EQ(get_bits(0, 8), 0xA5);
    // A non-zero start has the bits appended below it.
    EXPECT_EQ(get_bits(1, 3), 0b1001);
    EXPECT_EQ(get_bit(), 1);
    EXPECT_EQ(get_bits(0, 4), 0xC);
}

TEST(Lh1BitInput, EveryBitPastTheEndIsOne)
{
    TempWorkspace w;
    StreamOver stream(Bytes{0x00});
    EXPECT_EQ(get_bits(0, 8), 0);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(get_bit(), 1);
    EXPECT_EQ(get_bits(0, 20), 0xFFFFF);
    // 128 bits: the one byte of the file and 15 bytes of 0xFF.
    EXPECT_EQ(bits_taken(), 128u);
    EXPECT_EQ(archive_stream.past_end, 15u);
    // A fresh model decodes on from the ones without complaint.
    init_model();
    EXPECT_EQ(decode_char(), 115);
}

// Whatever was read ahead, the stream stands right after the last byte a
// bit came from, also across a refill of the archive buffer and past the
// end of the file.
TEST(Lh1BitInput, EndOfMemberGivesBackTheBytesReadAhead)
{
    const size_t size = ARCHIVE_BUFFER_SIZE + 100;
    Bytes data(size);
    for (size_t i = 0; i < size; i++)
        data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const uint64_t starts[] = {0, 3, ARCHIVE_BUFFER_SIZE - 9, ARCHIVE_BUFFER_SIZE - 1, size - 2};
    const int takes[] = {0, 1, 7, 8, 9, 56, 57, 63, 64, 65, 130};
    for (uint64_t start : starts) {
        for (int take : takes) {
            SCOPED_TRACE(testing::Message() << "start " << start << ", take " << take);
            TempWorkspace w;
            StreamOver stream(data);
            for (uint64_t i = 0; i < start; i++)
                read_archive_byte();
            for (int left = take; left > 0; left -= 20)
                get_bits(0, left < 20 ? left : 20);
            end_bit_input();
            const uint64_t after = start + (static_cast<uint64_t>(take) + 7) / 8;
            EXPECT_EQ(stream_position(), after);
            EXPECT_EQ(read_archive_byte(), after < size ? data[after] : 0xFFu);
        }
    }
}

// Random bytes, some skewed to zeros or ones so that long runs of equal
// frequencies and deep trees occur, decoded symbol by symbol by the product
// and by the reference; the tables and the bits taken must stay equal
// through many rebuilds.
TEST(Lh1Model, DecodeCharMatchesTheReference)
{
    const unsigned seeds[] = {1, 2, 3, 4};
    for (unsigned seed : seeds) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        Bytes input(120000);
        for (size_t i = 0; i < input.size(); i++) {
            uint8_t byte = static_cast<uint8_t>(random());
            if (seed == 2)
                byte &= static_cast<uint8_t>(random());
            if (seed == 3)
                byte |= static_cast<uint8_t>(random() | random());
            input[i] = byte;
        }
        TempWorkspace w;
        StreamOver stream(input);
        Reference r;
        r.input = input;
        init_model();
        ref_init_model(r);
        for (int n = 0; n < 100000; n++) {
            const int expected = ref_decode_char(r);
            ASSERT_EQ(decode_char(), expected) << "symbol " << n;
            if (n % 997 == 0) {
                expect_same_model(r);
                if (testing::Test::HasFatalFailure())
                    return;
            }
        }
        expect_same_model(r);
        expect_model_invariants();
        EXPECT_GT(r.rebuilds, 1);
        EXPECT_EQ(bits_taken(), r.bytes_read * 8 - static_cast<uint64_t>(r.bit_count));
    }
}

// Symbols drawn with skewed weights, so some leaves climb high and others
// stay low, through update_model directly.
TEST(Lh1Model, UpdateModelMatchesTheReference)
{
    std::mt19937 random(7);
    std::vector<double> weights(SYMBOL_COUNT);
    for (int s = 0; s < SYMBOL_COUNT; s++)
        weights[s] = 1.0 / ((s * 37 % SYMBOL_COUNT) + 1.0);
    std::discrete_distribution<int> skewed(weights.begin(), weights.end());
    Reference r;
    init_model();
    ref_init_model(r);
    for (int n = 0; n < 200000; n++) {
        const int symbol = n % 5000 < 2500 ? skewed(random) : static_cast<int>(random() % SYMBOL_COUNT);
        update_model(symbol);
        ref_update_model(r, symbol);
        if (n % 1009 == 0) {
            expect_same_model(r);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
    expect_same_model(r);
    expect_model_invariants();
    EXPECT_GT(r.rebuilds, 5);
}
