// tests/installer/flow_test.cpp: the dialogue's command lines: make_dirs
// on top of the one composer, at the edge of the command-line buffer.
#include "installer/flow.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/test_support.h"

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
