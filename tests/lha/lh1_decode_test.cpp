// tests/lha/lh1_decode_test.cpp: the -lh1- sliding-window decoder: the
// position code, the worked members, the window preset and what carries over
// between members, the stop rule, where the stream is left, and agreement
// with the step-by-step reference on arbitrary input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/lha/lh1_test_support.h"

using namespace lh1_test;

namespace {

// Bytes that stand after the packed data, so that a read after the member
// shows where the stream was left.
constexpr uint8_t MARKER = 0x5C;

Bytes with_marker(Bytes bytes)
{
    bytes.push_back(MARKER);
    return bytes;
}

Bytes hex(std::initializer_list<int> values)
{
    Bytes bytes;
    for (int v : values)
        bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

// What the child process of a decoding too long to wait for compares, and
// the bytes it has been written so far.
Bytes expected_start;
Bytes written_start;

// The write of a stream that gathers the first expected_start.size() bytes
// written to it, then ends the process: exit code 0 when they are those
// bytes, 2 when not.
ssize_t end_at_first_bytes(void*, const char* bytes, size_t count)
{
    written_start.insert(written_start.end(), bytes, bytes + count);
    if (written_start.size() >= expected_start.size())
        _exit(std::equal(expected_start.begin(), expected_start.end(), written_start.begin()) ? 0 : 2);
    return static_cast<ssize_t>(count);
}

// Decodes a member of `size` bytes from an empty archive (every bit 1) in
// this process, which ends once the first OUTPUT_BUFFER_SIZE bytes are
// written out (end_at_first_bytes), or with exit code 1 when the decoder
// returns before.
[[noreturn]] void decode_until_the_first_buffer(uint32_t size)
{
    TempWorkspace w;
    StreamOver stream(Bytes{});
    Reference r;
    memcpy(r.window + REF_WINDOW_START, decoder_window + REF_WINDOW_START, REF_WINDOW - REF_WINDOW_START);
    expected_start = ref_decode_member(r, OUTPUT_BUFFER_SIZE);
    cookie_io_functions_t io{};
    io.write = end_at_first_bytes;
    FILE* out = fopencookie(nullptr, "w", io);
    setvbuf(out, nullptr, _IONBF, 0);
    open_output_discard();
    output_file.file = out;
    decode_lh1(size);
    _exit(1);
}

void expect_same_runs(const std::vector<MemberRun>& product, const std::vector<MemberRun>& reference)
{
    ASSERT_EQ(product.size(), reference.size());
    for (size_t m = 0; m < product.size(); m++) {
        SCOPED_TRACE(testing::Message() << "member " << m);
        ASSERT_EQ(product[m].output.size(), reference[m].output.size());
        EXPECT_TRUE(product[m].output == reference[m].output);
        EXPECT_EQ(product[m].crc, reference[m].crc);
        EXPECT_EQ(product[m].position, reference[m].position);
    }
}

}  // namespace

TEST(Lh1Position, TablesFollowTheRows)
{
    for (int b = 0; b < POSITION_TABLE_SIZE; b++) {
        EXPECT_EQ(pos_high[b], ref_pos_high(b)) << "entry " << b;
        EXPECT_EQ(pos_code_len[b], position_row(b).length) << "entry " << b;
    }
    EXPECT_EQ(pos_high[80], 4);
    EXPECT_EQ(pos_high[255], 63);
    EXPECT_EQ(pos_code_len[255], 8);
}

TEST(Lh1Position, WorkedCodes)
{
    struct Case {
        const char* bits;
        int distance;
    };
    const Case cases[] = {
        {"00010110 1", 45},
        {"01010000 010", 258},
        {"11110101 000011", 3395},
        {"00000000 0", 0},
        {"11111111 111111", 4095},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        TempWorkspace w;
        // Four more bits after the code show that none of them was taken.
        StreamOver stream(bytes_of_bits(std::string(c.bits) + "1011"));
        EXPECT_EQ(decode_position(), c.distance);
        EXPECT_EQ(get_bits(0, 4), 0xB);
    }
}

// Every position has the code that put_position writes for it.
TEST(Lh1Position, EveryDistanceRoundTrips)
{
    TempWorkspace w;
    BitWriter bits;
    for (int d = 0; d < WINDOW_SIZE; d++)
        put_position(bits, d);
    StreamOver stream(bits.bytes);
    for (int d = 0; d < WINDOW_SIZE; d++)
        ASSERT_EQ(decode_position(), d);
}

TEST(Lh1Decode, WorkedMembers)
{
    struct Case {
        Bytes packed;
        uint32_t size;
        std::string output;
        uint16_t crc;
    };
    const Case cases[] = {
        // literal a; match of length 3 at distance 0
        {hex({0xF6, 0xC6, 0x00, 0x00}), 4, "aaaa", 0x5AA6},
        // literals a, b, c; match of length 6 at distance 2
        {hex({0xF6, 0xFB, 0xBD, 0xF1, 0xE0, 0x20}), 9, "abcabcabc", 0x0FA6},
        // the same items, the match cut after 4 of its 6 bytes
        {hex({0xF6, 0xFB, 0xBD, 0xF1, 0xE0, 0x20}), 7, "abcabca", 0xB6EB},
        // a match of length 5 at distance 0 that copies the preset spaces
        {hex({0x8E, 0x00, 0x73, 0x40}), 6, "     A", 0x5D55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        TempWorkspace w;
        StreamOver stream(with_marker(c.packed));
        const std::vector<MemberRun> runs = decode_open_stream({c.size});
        EXPECT_EQ(runs[0].output, bytes_of(c.output));
        EXPECT_EQ(runs[0].crc, c.crc);
        EXPECT_EQ(runs[0].position, c.packed.size());
        EXPECT_EQ(read_archive_byte(), MARKER);
    }
}

// The bits left in the last byte of a member are dropped: the second copy
// of the same member decodes alike.
TEST(Lh1Decode, NextMemberStartsWithAFreshByte)
{
    const Bytes member = hex({0xF6, 0xC6, 0x00, 0x00});
    Bytes input = member;
    input.insert(input.end(), member.begin(), member.end());
    const std::vector<MemberRun> runs = decode_members(with_marker(input), {4, 4});
    EXPECT_EQ(runs[0].output, bytes_of("aaaa"));
    EXPECT_EQ(runs[1].output, bytes_of("aaaa"));
    EXPECT_EQ(runs[0].position, 4u);
    EXPECT_EQ(runs[1].position, 8u);
}

TEST(Lh1Decode, EmptyMemberReadsNoBit)
{
    TempWorkspace w;
    StreamOver stream(Bytes{MARKER});
    const std::vector<MemberRun> runs = decode_open_stream({0});
    EXPECT_TRUE(runs[0].output.empty());
    EXPECT_EQ(runs[0].crc, 0);
    EXPECT_EQ(read_archive_byte(), MARKER);
}

// A match is cut where the member ends, after its length and position
// were read in full; no further symbol is read.
TEST(Lh1Decode, MatchIsCutAtTheUnpackedSize)
{
    const Bytes packed = encode_items({literal('x'), literal('y'), match(60, 1)});
    for (uint32_t size : {2u, 3u, 4u, 33u, 62u}) {
        SCOPED_TRACE(size);
        TempWorkspace w;
        StreamOver stream(with_marker(packed));
        const std::vector<MemberRun> runs = decode_open_stream({size});
        Bytes expected = bytes_of(std::string(62, ' '));
        for (size_t i = 0; i < 62; i++)
            expected[i] = i % 2 == 0 ? 'x' : 'y';
        expected.resize(size);
        EXPECT_EQ(runs[0].output, expected);
        // With two bytes only, the match symbol is never read: the stream
        // stands after the 16 bits of the two literals (8 each, fresh).
        EXPECT_EQ(runs[0].position, size == 2 ? 2u : packed.size());
        if (size > 2)
            EXPECT_EQ(read_archive_byte(), MARKER);
    }
}

// Positions 0 to 4035 are spaces at the start of every member; positions
// 4036 to 4095 keep what the previous member left there. Distance 4095
// reads the byte stored 4096 bytes earlier, which at the start of a member
// is the previous member's.
TEST(Lh1Decode, WindowPresetAndTheLastSixtyPositions)
{
    std::string first;
    for (int i = 0; i < MAX_MATCH; i++)
        first += static_cast<char>('!' + i);
    // The first member fills positions 4036 to 4095 exactly.
    const std::vector<Item> first_items = literals(first);
    // The second reads them back, then spaces from both ends of the preset.
    const std::vector<Item> second_items = {match(60, 4095), match(3, 4035 + 60), match(4, 60 + 4095 - 4035 - 1),
                                            literal('z'), match(3, 0)};
    Bytes input = encode_items(first_items);
    const size_t first_size = input.size();
    const Bytes second = encode_items(second_items);
    input.insert(input.end(), second.begin(), second.end());

    uint8_t tail[MAX_MATCH];
    memset(tail, 0, sizeof tail);
    const Bytes first_expected = expand_items(first_items, tail);
    memcpy(tail, first_expected.data(), MAX_MATCH);
    const Bytes second_expected = expand_items(second_items, tail);
    ASSERT_EQ(Bytes(second_expected.begin(), second_expected.begin() + 60), bytes_of(first));

    const std::vector<MemberRun> runs =
        decode_members(input, {static_cast<uint32_t>(first_expected.size()), static_cast<uint32_t>(second_expected.size())});
    EXPECT_EQ(runs[0].output, first_expected);
    EXPECT_EQ(runs[1].output, second_expected);
    EXPECT_EQ(runs[0].position, first_size);
    EXPECT_EQ(runs[1].position, input.size());
    EXPECT_EQ(runs[1].crc, reference_crc16(second_expected));
}

// Before the first -lh1- member of a run of the program, the last sixty
// window positions hold zeros. Checked in a fresh process.
TEST(Lh1DecodeDeathTest, LastSixtyPositionsAreZeroAtProgramStart)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto decode_first_member = [] {
        const std::vector<MemberRun> runs = decode_members(encode_items({match(60, 4095), literal('q')}), {61});
        Bytes expected(60, 0);
        expected.push_back('q');
        std::exit(runs[0].output == expected ? 0 : 1);
    };
    EXPECT_EXIT(decode_first_member(), testing::ExitedWithCode(0), "");
}

// Sizes up to UINT32_MAX count whole: the packer's walk passes them. All
// of a member of 2^31 bytes takes the decoder some 20 seconds, so the
// child process checks only its first buffer against the reference, and a
// decoder that returns at once (one that took the size for a negative
// count) fails.
TEST(Lh1DecodeDeathTest, SizesUpToTheLargestAreDecoded)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const uint32_t size : {(uint32_t{1} << 31) + 4, UINT32_MAX})
        EXPECT_EXIT(decode_until_the_first_buffer(size), testing::ExitedWithCode(0), "") << size;
}

// A byte stored at position 4095 is followed by a store at position 0, and
// a match reads across that seam.
TEST(Lh1Decode, WindowWrapsAroundItsEnd)
{
    std::vector<Item> items;
    for (int i = 0; i < 200; i++)
        items.push_back(literal(i * 13 % 256));
    items.push_back(match(50, 80));
    for (int i = 0; i < 4000; i++)
        items.push_back(literal(i % 7 == 0 ? 'a' + i % 26 : ' '));
    items.push_back(match(60, 4095));
    items.push_back(match(60, 4000));
    uint8_t tail[MAX_MATCH];
    memcpy(tail, decoder_window + WINDOW_START, MAX_MATCH);
    const Bytes expected = expand_items(items, tail);
    const std::vector<MemberRun> runs = decode_members(encode_items(items), {static_cast<uint32_t>(expected.size())});
    EXPECT_TRUE(runs[0].output == expected);
    EXPECT_EQ(runs[0].crc, reference_crc16(expected));
}

// Made-up members of every kind of item, long enough for many rebuilds,
// and arbitrary bytes decoded as members of arbitrary sizes (running past
// the end of their input): the product and the reference agree on every
// byte, every CRC and every stream position.
TEST(Lh1Decode, MatchesTheReferenceOnWellFormedItems)
{
    const unsigned seeds[] = {11, 12, 13};
    for (unsigned seed : seeds) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        Bytes input;
        std::vector<uint32_t> sizes;
        for (int member = 0; member < 4; member++) {
            std::vector<Item> items;
            const int count = member == 2 ? 120000 : static_cast<int>(random() % 3000);
            for (int i = 0; i < count; i++) {
                if (random() % 3 == 0)
                    items.push_back(match(3 + static_cast<int>(random() % 58), static_cast<int>(random() % 4096)));
                else
                    items.push_back(literal(static_cast<int>(random() % (random() % 4 == 0 ? 256 : 16))));
            }
            const Bytes packed = encode_items(items);
            input.insert(input.end(), packed.begin(), packed.end());
            uint32_t size = static_cast<uint32_t>(expand_items(items, decoder_window + WINDOW_START).size());
            sizes.push_back(size);
        }
        const std::vector<MemberRun> reference = ref_decode_members(input, sizes);
        expect_same_runs(decode_members(input, sizes), reference);
    }
}

TEST(Lh1Decode, MatchesTheReferenceOnArbitraryBytes)
{
    for (unsigned seed = 21; seed < 41; seed++) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        Bytes input(random() % 5000);
        for (uint8_t& byte : input)
            byte = static_cast<uint8_t>(random());
        std::vector<uint32_t> sizes;
        for (unsigned m = 0; m < 1 + random() % 4; m++)
            sizes.push_back(random() % 3 == 0 ? random() % 50 : random() % 40000);
        const std::vector<MemberRun> reference = ref_decode_members(input, sizes);
        expect_same_runs(decode_members(input, sizes), reference);
    }
}
