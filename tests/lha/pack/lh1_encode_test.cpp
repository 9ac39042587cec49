// tests/lha/pack/lh1_encode_test.cpp: the -lh1- encoder against the decoders:
// the product one, and the step-by-step one with its window preset to other
// bytes than spaces.
#include <gtest/gtest.h>

#include <cstring>

#include "lha/pack/lh1_encode.h"
#include "tests/lha/lh1_test_support.h"
#include "tests/support/sample_data.h"

using namespace lh1_test;

namespace {

Bytes encode(const Bytes& data)
{
    Bytes packed(lh1_packed_bound(data.size()));
    const size_t size = encode_lh1(data.data(), data.size(), packed.data(), packed.size());
    EXPECT_NE(size, LH1_TOO_LARGE);
    packed.resize(size == LH1_TOO_LARGE ? 0 : size);
    return packed;
}

// The step-by-step decoder over `packed` with every window position preset
// to `fill`, the carried-over tail included.
Bytes decode_with_window_of(const Bytes& packed, uint32_t size, uint8_t fill)
{
    Reference r;
    r.input = packed;
    memset(r.window, fill, sizeof r.window);
    return ref_decode_member(r, size, fill);
}

}  // namespace

TEST(Lh1Encode, DecodesToItsInputWhateverTheWindowHeldBefore)
{
    for (const sample_data::Sample& sample : sample_data::samples()) {
        SCOPED_TRACE(sample.name);
        const Bytes packed = encode(sample.data);
        const uint32_t size = static_cast<uint32_t>(sample.data.size());

        const std::vector<MemberRun> runs = decode_members(packed, {size});
        EXPECT_TRUE(runs[0].output == sample.data);
        // The decoder takes exactly the packed bytes, no more, no fewer.
        EXPECT_EQ(runs[0].position, packed.size());

        // A match that reached before the member's first byte would copy
        // the preset, and no byte equals both of these.
        EXPECT_TRUE(decode_with_window_of(packed, size, 0x00) == sample.data);
        EXPECT_TRUE(decode_with_window_of(packed, size, 0xFF) == sample.data);
    }
}

TEST(Lh1Encode, StopsWhenThePackedDataOutgrowsTheCapacity)
{
    const Bytes data = sample_data::noise(11, 3000);
    const Bytes packed = encode(data);
    ASSERT_FALSE(packed.empty());

    Bytes out(packed.size());
    EXPECT_EQ(encode_lh1(data.data(), data.size(), out.data(), packed.size()), packed.size());
    EXPECT_TRUE(out == packed);
    EXPECT_EQ(encode_lh1(data.data(), data.size(), out.data(), packed.size() - 1), LH1_TOO_LARGE);
}

TEST(Lh1Encode, PacksRedundantInputsFarBelowTheirSize)
{
    struct Case {
        const char* name;
        Bytes data;
        size_t most;  // the packed size must stay below this
    };
    const Case cases[] = {
        {"zeros", Bytes(100000, 0), 100000 / 40},
        {"period 4096", sample_data::repeating(12, 4096, 40000), 4096 + 40000 / 20},
        {"text", sample_data::text(13, 100000), 100000 / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LT(encode(c.data).size(), c.most);
    }
}
