// tests/shared/compose_test.cpp: the one composer of paths and command
// lines, at the edges of its buffer.
#include "shared/compose.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A buffer of CAPACITY bytes with guard bytes after it.
constexpr size_t CAPACITY = 8;
constexpr char GUARD = '#';
struct Guarded {
    char bytes[CAPACITY + 4];
    Guarded() { memset(bytes, GUARD, sizeof bytes); }
    bool guards_intact() const
    {
        for (size_t i = CAPACITY; i < sizeof bytes; i++)
            if (bytes[i] != GUARD)
                return false;
        return true;
    }
};

}  // namespace

TEST(Compose, FillsTheBufferToItsLastByteAndNeverBeyond)
{
    struct Row {
        std::initializer_list<const char*> pieces;
        bool fits;
        const char* result;
    };
    const Row rows[] = {
        {{"abc", "defg"}, true, "abcdefg"},         // seven bytes and the NUL: exactly full
        {{"abc", "defgh"}, false, ""},              // one byte too many
        {{"abcdefgh"}, false, ""},                  // a single piece too long
        {{"", "a", "", "bcdefg", ""}, true, "abcdefg"},
        {{}, true, ""},
    };
    for (const Row& row : rows) {
        Guarded out;
        EXPECT_EQ(compose(out.bytes, CAPACITY, row.pieces), row.fits) << row.result;
        EXPECT_STREQ(out.bytes, row.result);
        EXPECT_TRUE(out.guards_intact()) << row.result;
    }
    Guarded none;
    EXPECT_FALSE(compose(none.bytes, 0, {"a"}));
    EXPECT_EQ(none.bytes[0], GUARD);
}
