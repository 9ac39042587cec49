// tests/installer/batch_file_test.cpp: the launch batch file: the drive line
// only for a directory that begins with a drive letter and a colon, the cd
// line with the directory as typed, CR LF endings, an existing file replaced,
// a missing folder reported.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "installer/batch_file.h"
#include "installer/run_state.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

namespace {

// A fresh Wine prefix whose drives c:, d: and z: are folders of the test:
// drive_c, and the links dosdevices/d: and dosdevices/z: to drive_d and
// drive_z, so that no path of a test reaches the real root.
struct BatchPrefix {
    std::string root;

    BatchPrefix()
    {
        root = start_prefix();
        for (const char* folder : {"/drive_d", "/drive_z", "/dosdevices"})
            mkdir((root + folder).c_str(), 0755);
        EXPECT_EQ(symlink((root + "/drive_d").c_str(), (root + "/dosdevices/d:").c_str()), 0);
        EXPECT_EQ(symlink((root + "/drive_z").c_str(), (root + "/dosdevices/z:").c_str()), 0);
    }
    ~BatchPrefix() { end_prefix(root); }
};

TEST(BatchFile, LinesFollowTheInstallDirectory)
{
    struct Case {
        const char* install_directory;
        const char* host_folder;  // where it lies, below the prefix
        const char* expected;
    } cases[] = {
        {"c:\\games\\yamawyrm\\", "drive_c/games/yamawyrm",
         "@echo off\r\nc:\r\ncd c:\\games\\yamawyrm\\\r\nyamawyrm.exe\r\n"},
        {"D:\\Games\\Yamawyrm\\", "drive_d/Games/Yamawyrm",
         "@echo off\r\nD:\r\ncd D:\\Games\\Yamawyrm\\\r\nyamawyrm.exe\r\n"},
        {"\\games\\yamawyrm\\", "drive_z/games/yamawyrm",
         "@echo off\r\ncd \\games\\yamawyrm\\\r\nyamawyrm.exe\r\n"},
        {"d:games\\", "drive_d/games",
         "@echo off\r\nd:\r\ncd d:games\\\r\nyamawyrm.exe\r\n"},
        {"c:\\my games\\", "drive_c/my games",
         "@echo off\r\nc:\r\ncd c:\\my games\\\r\nyamawyrm.exe\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.install_directory);
        BatchPrefix prefix;
        make_folders(prefix.root, c.host_folder);
        strcpy(install_directory, c.install_directory);
        const std::string printed = capture_console([] { write_batch_file("yamawyrm.bat"); });
        EXPECT_EQ(printed, "");
        EXPECT_EQ(file_slot, nullptr);
        EXPECT_EQ(text_of(read_file(prefix.root + "/" + c.host_folder + "/yamawyrm.bat")), c.expected);
    }
}

TEST(BatchFile, RunsTheGameWhateverTheFileName)
{
    BatchPrefix prefix;
    make_folders(prefix.root, "drive_c/games");
    strcpy(install_directory, "c:\\games\\");
    capture_console([] { write_batch_file("play.bat"); });
    EXPECT_EQ(text_of(read_file(prefix.root + "/drive_c/games/play.bat")),
              "@echo off\r\nc:\r\ncd c:\\games\\\r\nyamawyrm.exe\r\n");
}

TEST(BatchFile, ReplacesAnExistingFile)
{
    BatchPrefix prefix;
    make_folders(prefix.root, "drive_c/games/yamawyrm");
    write_file(prefix.root + "/drive_c/games/yamawyrm/yamawyrm.bat", bytes_of(std::string(5000, 'r') + "\r\n"));
    strcpy(install_directory, "c:\\games\\yamawyrm\\");
    capture_console([] { write_batch_file("yamawyrm.bat"); });
    EXPECT_EQ(text_of(read_file(prefix.root + "/drive_c/games/yamawyrm/yamawyrm.bat")),
              "@echo off\r\nc:\r\ncd c:\\games\\yamawyrm\\\r\nyamawyrm.exe\r\n");
}

TEST(BatchFile, MissingFolderIsReportedAndNothingWritten)
{
    BatchPrefix prefix;
    strcpy(install_directory, "c:\\games\\yamawyrm\\");
    const std::string printed = capture_console([] { write_batch_file("yamawyrm.bat"); });
    // ファイル"c:\games\yamawyrm\yamawyrm.bat"を作成できませんでした。
    EXPECT_EQ(printed, on_console("\x83\x74\x83\x40\x83\x43\x83\x8b\"c:\\games\\yamawyrm\\yamawyrm.bat\""
                                  "\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\n"));
    EXPECT_EQ(file_slot, nullptr);
    EXPECT_FALSE(file_exists(prefix.root + "/drive_c/games"));
}

}  // namespace
