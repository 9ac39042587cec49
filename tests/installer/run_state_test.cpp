// tests/shared/buffers_test.cpp: the one composer of paths and command
// lines, at the edges of its buffer, and make_dirs on top of it.
#include "installer/run_state.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "installer/flow.h"
#include "tests/support/test_support.h"

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

// A level whose quoted command line would not fit the command-line buffer
// is not run at all, rather than run cut short.
TEST(MakeDirs, LevelTooLongForACommandLineIsNotRun)
{
    const std::string root = start_prefix();
    const std::string recorder = root + "/recorder";
    write_file(recorder, bytes_of("#!/bin/sh\nprintf '%s\\n' \"$2\" >> '" + root + "/record'\n"));
    chmod(recorder.c_str(), 0755);
    setenv("COMSPEC", recorder.c_str(), 1);
    // "mkdir " and two quotes around the level: 8 bytes. A level of 247
    // bytes makes a line of 255, the most the buffer holds.
    for (const size_t length : {size_t{247}, size_t{248}}) {
        const std::string level = "c:\\my games\\" + std::string(length - 12, 'x');
        make_dirs((level + "\\").c_str());
        std::string expected = "mkdir c:\nmkdir \"c:\\my games\"\n";
        if (length == 247)
            expected += "mkdir \"" + level + "\"\n";
        EXPECT_EQ(text_of(read_file(root + "/record")), expected) << length;
        remove((root + "/record").c_str());
    }
    unsetenv("COMSPEC");
    end_prefix(root);
}
