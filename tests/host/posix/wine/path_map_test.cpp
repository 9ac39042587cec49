// tests/host/posix/wine/path_map_test.cpp: Windows paths found in a temporary
// Wine prefix and in the host's current directory.
#include "host/posix/wine/path_map.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/test_support.h"

// ソフト表 in code page 932: two of its characters end in the byte 0x5C.
static const char SOFT_TABLE_CP932[] = "\x83\x5c\x83\x74\x83\x67\x95\x5c";
static const char SOFT_TABLE_UTF8[] = "ソフト表";

// The prefix lies one level down, so that the tests have room beside it
// for folders that are not in it.
static const char PREFIX_FOLDER[] = "prefix";

static std::string mapped(const std::string& windows_path)
{
    char host_path[HOST_PATH_SIZE];
    if (!map_path(windows_path.c_str(), host_path))
        return "(not mapped)";
    return host_path;
}

static std::string full_path(const std::string& windows_path)
{
    char out[260];
    if (!full_windows_path(windows_path.c_str(), out, sizeof out))
        return "(failed)";
    return out;
}

TEST(MapPath, WindowsPathsInThePrefix)
{
    const std::string root = start_prefix(PREFIX_FOLDER);
    const std::string drive_c = root + "/prefix/drive_c";
    const struct {
        std::string windows_path;
        std::string host_path;
    } cases[] = {
        // The drive letters of the prefix.
        {"c:\\games\\yamawyrm", drive_c + "/games/yamawyrm"},
        {"C:\\games\\yamawyrm", drive_c + "/games/yamawyrm"},
        {"c:/games/yamawyrm/", drive_c + "/games/yamawyrm"},
        {"c:\\", drive_c},
        {"c:", drive_c},
        {"z:\\tmp", "/tmp"},
        {"Z:\\", "/"},
        {"d:\\games", "(not mapped)"},
        {"Q:x", "(not mapped)"},
        // Dots are resolved as Windows does.
        {"c:\\a\\.\\b\\..\\c", drive_c + "/a/c"},
        {"c:\\..\\..\\x", drive_c + "/x"},
        {"c:\\a\\..\\..", drive_c},
        {"c:\\a\\\\b", drive_c + "/a/b"},
        // Trailing dots and blanks leave the last name only.
        {"c:\\a\\b. .", drive_c + "/a/b"},
        {"c:\\a\\...", drive_c + "/a"},
        // Before a separator one dot goes and blanks stay, as under Wine:
        // CreateFile("c:\\b.\\y") writes b\\y, "b..\\x" names "b.", and
        // CreateDirectory("c:\\k3 .\\") makes "k3 ".
        {"c:\\b.\\y", drive_c + "/b/y"},
        {"c:\\b..\\y", drive_c + "/b./y"},
        {"c:\\k3 .\\", drive_c + "/k3 "},
        {"c:\\a \\y", drive_c + "/a /y"},
        {"c:\\...\\y", "(not mapped)"},   // would leave ".."
        // A Shift_JIS trail byte is no separator.
        {std::string("c:\\") + SOFT_TABLE_CP932 + "\\readme.txt", drive_c + "/" + SOFT_TABLE_UTF8 + "/readme.txt"},
        {std::string("c:\\") + SOFT_TABLE_CP932, drive_c + "/" + SOFT_TABLE_UTF8},
        {std::string("c:\\") + SOFT_TABLE_CP932 + "\\..\\x", drive_c + "/x"},
        // Halfwidth katakana are single bytes: ｿﾌﾄ.
        {"c:\\\xbf\xcc\xc4", drive_c + "/ｿﾌﾄ"},
        // Names Windows cannot hold are refused.
        {"c:\\\x80x", "(not mapped)"},      // 0x80 is no code page 932 character
        {"c:\\a\\x\x83", "(not mapped)"},   // a lead byte with nothing after it
        {"c:\\\xfd\\x", "(not mapped)"},    // 0xFD is no code page 932 character
        {"c:\\a*b", "(not mapped)"},
        {"c:\\a?b", "(not mapped)"},
        {"c:\\a|b", "(not mapped)"},
        {"c:\\a\"b", "(not mapped)"},
        {"c:\\a:b", "(not mapped)"},
        {"c:\\a\x01z", "(not mapped)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mapped(c.windows_path), c.host_path) << c.windows_path;
    end_prefix(root);
}

TEST(MapPath, DosdevicesEntryWins)
{
    const std::string root = start_prefix(PREFIX_FOLDER);
    const std::string devices = root + "/prefix/dosdevices";
    mkdir(devices.c_str(), 0777);
    mkdir((root + "/elsewhere").c_str(), 0777);
    ASSERT_EQ(symlink("../drive_c", (devices + "/c:").c_str()), 0);
    ASSERT_EQ(symlink((root + "/elsewhere").c_str(), (devices + "/d:").c_str()), 0);
    ASSERT_EQ(symlink((root + "/elsewhere").c_str(), (devices + "/z:").c_str()), 0);

    EXPECT_EQ(mapped("C:\\games"), devices + "/c:/games");
    EXPECT_EQ(mapped("d:\\games"), devices + "/d:/games");
    EXPECT_EQ(mapped("D:"), devices + "/d:");
    EXPECT_EQ(mapped("z:\\x"), devices + "/z:/x");
    EXPECT_EQ(mapped("e:\\games"), "(not mapped)");
    end_prefix(root);
}

TEST(MapPath, PrefixDefaultsToDotWineInHome)
{
    const std::string root = make_temp_dir();
    const char* saved_home = getenv("HOME");
    const std::string home = saved_home != nullptr ? saved_home : "";
    setenv("HOME", root.c_str(), 1);
    unsetenv("WINEPREFIX");
    EXPECT_EQ(mapped("c:\\games"), root + "/.wine/drive_c/games");
    setenv("WINEPREFIX", "", 1);
    EXPECT_EQ(mapped("c:\\games"), root + "/.wine/drive_c/games");
    unsetenv("WINEPREFIX");
    if (saved_home != nullptr)
        setenv("HOME", home.c_str(), 1);
    else
        unsetenv("HOME");
    remove_tree(root);
}

TEST(MapPath, RelativePathsStartAtTheCurrentDirectory)
{
    const std::string root = start_prefix(PREFIX_FOLDER);
    const std::string saved = current_directory();
    mkdir((root + "/dist").c_str(), 0777);
    ASSERT_EQ(chdir((root + "/dist").c_str()), 0);
    const std::string here = current_directory();
    const std::string parent = here.substr(0, here.rfind('/'));
    const struct {
        const char* windows_path;
        std::string host_path;
    } cases[] = {
        {"ymw.lz_", here + "/ymw.lz_"},
        {"games\\yamawyrm\\", here + "/games/yamawyrm"},
        {".\\games\\.\\x", here + "/games/x"},
        {"..\\x", parent + "/x"},
        {"..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\x", "/x"},
        // z: is the current drive: its own current directory is the host's.
        {"z:games", here + "/games"},
        // Any other drive's current directory is its root.
        {"c:games\\x", root + "/prefix/drive_c/games/x"},
        // One leading separator: the root of z:.
        {"\\tmp\\x", "/tmp/x"},
        {"/tmp/x", "/tmp/x"},
        // Two: a network path, which the host has no way to open.
        {"\\\\server\\share\\x", "(not mapped)"},
        {"//server/share", "(not mapped)"},
        {"\\/server", "(not mapped)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mapped(c.windows_path), c.host_path) << c.windows_path;
    ASSERT_EQ(chdir(saved.c_str()), 0);
    end_prefix(root);
}

TEST(MapPath, ExistingNamesMatchWhateverTheirCase)
{
    const std::string root = start_prefix(PREFIX_FOLDER);
    const std::string drive_c = root + "/prefix/drive_c";
    mkdir((drive_c + "/Games").c_str(), 0777);
    mkdir((drive_c + "/Games/YamaWyrm").c_str(), 0777);
    write_file(drive_c + "/Games/YamaWyrm/YAMAWYRM.EXE", bytes_of("x"));

    EXPECT_EQ(mapped("c:\\games\\yamawyrm\\yamawyrm.exe"), drive_c + "/Games/YamaWyrm/YAMAWYRM.EXE");
    EXPECT_EQ(mapped("C:\\GAMES\\YAMAWYRM\\"), drive_c + "/Games/YamaWyrm");
    // A new name keeps the case it is written in.
    EXPECT_EQ(mapped("c:\\GAMES\\yamawyrm\\NewFile.Txt"), drive_c + "/Games/YamaWyrm/NewFile.Txt");
    EXPECT_EQ(mapped("c:\\games\\absent\\Name"), drive_c + "/Games/absent/Name");
    end_prefix(root);
}

TEST(MapPath, ExactNameWinsElseFirstInNameOrder)
{
    const std::string root = start_prefix(PREFIX_FOLDER);
    const std::string drive_c = root + "/prefix/drive_c";
    for (const char* name : {"readme", "ReadMe", "README"})
        write_file(drive_c + "/" + name, bytes_of(name));

    EXPECT_EQ(mapped("c:\\readme"), drive_c + "/readme");
    EXPECT_EQ(mapped("c:\\ReadMe"), drive_c + "/ReadMe");
    EXPECT_EQ(mapped("c:\\README"), drive_c + "/README");
    EXPECT_EQ(mapped("c:\\rEADME"), drive_c + "/README");
    unlink((drive_c + "/README").c_str());
    EXPECT_EQ(mapped("c:\\rEADME"), drive_c + "/ReadMe");
    // Only ASCII letters fold: a fullwidth Ｒ is another name.
    EXPECT_EQ(mapped("c:\\\x82\x71" "eadme"), drive_c + "/Ｒeadme");
    end_prefix(root);
}

TEST(FullWindowsPath, MakesPathsAbsoluteOnTheirDrive)
{
    const std::string root = start_prefix(PREFIX_FOLDER);
    const std::string saved = current_directory();
    mkdir((root + "/dist").c_str(), 0777);
    mkdir((root + "/dist/inst").c_str(), 0777);
    ASSERT_EQ(chdir((root + "/dist/inst").c_str()), 0);
    const std::string here = as_z_path(current_directory());
    const std::string parent = here.substr(0, here.rfind('\\'));
    const struct {
        std::string windows_path;
        std::string full;
    } cases[] = {
        {"yamawyrm.bat", here + "\\yamawyrm.bat"},
        {"games\\yamawyrm\\yamawyrm.bat", here + "\\games\\yamawyrm\\yamawyrm.bat"},
        {"..\\x\\.\\y", parent + "\\x\\y"},
        {"games/", here + "\\games\\"},
        {"c:\\games\\yamawyrm\\yamawyrm.bat", "c:\\games\\yamawyrm\\yamawyrm.bat"},
        {"C:/games//x", "C:\\games\\x"},
        {"c:games", "c:\\games"},
        {"c:", "c:\\"},
        {"\\games\\x", "Z:\\games\\x"},
        {"\\\\server\\share/x", "\\\\server\\share\\x"},
        {std::string("c:\\") + SOFT_TABLE_CP932 + "\\x", std::string("c:\\") + SOFT_TABLE_CP932 + "\\x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(full_path(c.windows_path), c.full) << c.windows_path;
    ASSERT_EQ(chdir(saved.c_str()), 0);
    end_prefix(root);
}

TEST(FullWindowsPath, CurrentDirectoryBecomesCodePage932)
{
    const std::string root = make_temp_dir();
    const std::string saved = current_directory();
    const std::string japanese = root + "/" + SOFT_TABLE_UTF8;
    mkdir(japanese.c_str(), 0777);
    ASSERT_EQ(chdir(japanese.c_str()), 0);
    EXPECT_EQ(full_path("x.bat"), as_z_path(current_directory().substr(0, current_directory().rfind('/'))) + "\\" +
                                      SOFT_TABLE_CP932 + "\\x.bat");

    // A folder name with no code page 932 form cannot be given.
    const std::string emoji = root + "/\xf0\x9f\x98\x80";
    mkdir(emoji.c_str(), 0777);
    ASSERT_EQ(chdir(emoji.c_str()), 0);
    EXPECT_EQ(full_path("x.bat"), "(failed)");
    // The host opens it all the same: only the program's view needs the code page.
    EXPECT_EQ(mapped("x.bat"), current_directory() + "/x.bat");
    ASSERT_EQ(chdir(saved.c_str()), 0);
    remove_tree(root);
}

TEST(FullWindowsPath, FailsWhenTooLong)
{
    char out[8];
    EXPECT_FALSE(full_windows_path("c:\\games\\x", out, sizeof out));
    EXPECT_TRUE(full_windows_path("c:\\gam", out, sizeof out));
    EXPECT_STREQ(out, "c:\\gam");
}

TEST(CreateDriveC, MakesAFreshPrefixUsable)
{
    const std::string root = make_temp_dir();
    setenv("WINEPREFIX", (root + "/fresh").c_str(), 1);
    EXPECT_TRUE(create_drive_c());
    struct stat info;
    EXPECT_EQ(stat((root + "/fresh/drive_c").c_str(), &info), 0);
    EXPECT_FALSE(create_drive_c());

    // A prefix whose c: is a dosdevices entry keeps it untouched.
    setenv("WINEPREFIX", (root + "/wine").c_str(), 1);
    mkdir((root + "/wine").c_str(), 0777);
    mkdir((root + "/wine/dosdevices").c_str(), 0777);
    ASSERT_EQ(symlink("../somewhere", (root + "/wine/dosdevices/c:").c_str()), 0);
    EXPECT_FALSE(create_drive_c());
    EXPECT_NE(stat((root + "/wine/drive_c").c_str(), &info), 0);
    unsetenv("WINEPREFIX");
    remove_tree(root);
}
