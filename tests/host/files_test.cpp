// tests/host/files_test.cpp: open_file on Windows paths in a temporary prefix.
#include "host/files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/test_support.h"

TEST(OpenFile, TextModeWritesCrLf)
{
    const std::string root = start_prefix();
    // Long enough that the stream hands its buffer on several times.
    std::string text = "first\nsecond\r\n\n";
    std::string expected = "first\r\nsecond\r\r\n\r\n";
    for (int i = 0; i < 3000; i++) {
        text += "line\n";
        expected += "line\r\n";
    }
    FILE* file = open_file("c:\\yamawyrm.bat", "w");
    ASSERT_NE(file, nullptr);
    fputs(text.c_str(), file);
    EXPECT_EQ(fclose(file), 0);
    EXPECT_EQ(read_file(root + "/drive_c/yamawyrm.bat"), bytes_of(expected));
    end_prefix(root);
}

TEST(OpenFile, BinaryModesKeepEveryByte)
{
    const std::string root = start_prefix();
    const std::string data("a\nb\r\n\0\x1a\xff", 8);
    FILE* file = open_file("C:\\data.dat", "wb");
    ASSERT_NE(file, nullptr);
    fwrite(data.data(), 1, data.size(), file);
    EXPECT_EQ(fclose(file), 0);
    EXPECT_EQ(read_file(root + "/drive_c/data.dat"), bytes_of(data));

    file = open_file("c:/DATA.DAT", "rb");
    ASSERT_NE(file, nullptr);
    char back[16];
    EXPECT_EQ(fread(back, 1, sizeof back, file), data.size());
    EXPECT_EQ(std::string(back, data.size()), data);
    fclose(file);
    end_prefix(root);
}

TEST(OpenFile, ReplacesAnExistingFileFoundByCase)
{
    const std::string root = start_prefix();
    mkdir((root + "/drive_c/Games").c_str(), 0777);
    write_file(root + "/drive_c/Games/YAMAWYRM.EXE", bytes_of("old contents"));
    FILE* file = open_file("c:\\games\\yamawyrm.exe", "wb");
    ASSERT_NE(file, nullptr);
    fputs("new", file);
    fclose(file);
    EXPECT_EQ(read_file(root + "/drive_c/Games/YAMAWYRM.EXE"), bytes_of("new"));
    EXPECT_FALSE(file_exists(root + "/drive_c/Games/yamawyrm.exe"));
    end_prefix(root);
}

// A member with an empty name names the install directory itself.
TEST(OpenFile, FolderIsNoFile)
{
    const std::string root = start_prefix();
    mkdir((root + "/drive_c/games").c_str(), 0777);
    for (const char* mode : {"wb", "w", "rb"})
        EXPECT_EQ(open_file("c:\\games\\", mode), nullptr) << mode;
    EXPECT_EQ(open_file("c:\\games", "rb"), nullptr);
    end_prefix(root);
}

TEST(OpenFile, FailsWhereWindowsFails)
{
    const std::string root = start_prefix();
    const char* const paths[] = {
        "c:\\absent\\file.txt",   // a missing folder
        "q:\\file.txt",           // a drive the prefix does not have
        "\\\\server\\share\\x",   // a network path
        "c:\\\x80.txt",           // not code page 932
        "c:\\*.txt",
    };
    for (const char* path : paths) {
        EXPECT_EQ(open_file(path, "wb"), nullptr) << path;
        EXPECT_EQ(open_file(path, "w"), nullptr) << path;
    }
    EXPECT_EQ(open_file("c:\\absent.txt", "rb"), nullptr);
    // Only the three modes the program uses.
    write_file(root + "/drive_c/x.txt", bytes_of("x"));
    EXPECT_EQ(open_file("c:\\x.txt", "r"), nullptr);
    EXPECT_EQ(open_file("c:\\x.txt", "a"), nullptr);
    end_prefix(root);
}

TEST(OpenFile, WriteErrorsReachTheCaller)
{
    for (const char* mode : {"wb", "w"}) {
        FILE* file = open_file("z:\\dev\\full", mode);
        ASSERT_NE(file, nullptr) << mode;
        fputs("text\n", file);
        const bool flush_failed = fflush(file) != 0 || ferror(file);
        EXPECT_TRUE(flush_failed) << mode;
        fclose(file);
    }
}
