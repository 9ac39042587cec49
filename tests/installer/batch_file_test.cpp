// The launch batch file: the drive line only for a directory that begins
// with a drive letter and a colon, the cd line with the directory as typed,
// CR LF endings, an existing file replaced, a missing folder reported.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "host/posix/codepage.h"
#include "installer/batch_file.h"
#include "installer/buffers.h"
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
        root = make_temp_dir();
        setenv("WINEPREFIX", root.c_str(), 1);
        for (const char* folder : {"/drive_c", "/drive_d", "/drive_z", "/dosdevices"})
            mkdir((root + folder).c_str(), 0755);
        EXPECT_EQ(symlink((root + "/drive_d").c_str(), (root + "/dosdevices/d:").c_str()), 0);
        EXPECT_EQ(symlink((root + "/drive_z").c_str(), (root + "/dosdevices/z:").c_str()), 0);
    }
    ~BatchPrefix() { remove_tree(root); }

    // Creates each folder of `host_folder` (relative to the prefix).
    void make_folders(const std::string& host_folder) const
    {
        for (size_t slash = host_folder.find('/'); slash != std::string::npos; slash = host_folder.find('/', slash + 1))
            mkdir((root + "/" + host_folder.substr(0, slash)).c_str(), 0755);
        mkdir((root + "/" + host_folder).c_str(), 0755);
    }
};

std::string on_console(const std::string& cp932)
{
    if (!user_charset_is_utf8())
        return cp932;
    char utf8[1024];
    const long length = cp932_to_utf8(cp932.data(), cp932.size(), utf8, sizeof utf8, false);
    EXPECT_GE(length, 0);
    return std::string(utf8, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string text_of(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

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
        prefix.make_folders(c.host_folder);
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
    prefix.make_folders("drive_c/games");
    strcpy(install_directory, "c:\\games\\");
    capture_console([] { write_batch_file("play.bat"); });
    EXPECT_EQ(text_of(read_file(prefix.root + "/drive_c/games/play.bat")),
              "@echo off\r\nc:\r\ncd c:\\games\\\r\nyamawyrm.exe\r\n");
}

TEST(BatchFile, ReplacesAnExistingFile)
{
    BatchPrefix prefix;
    prefix.make_folders("drive_c/games/yamawyrm");
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
