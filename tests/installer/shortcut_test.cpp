// tests/installer/shortcut_test.cpp: the two shortcuts, saved below the
// Windows directory of a temporary Wine prefix and read back with lnkinfo
// (Debian's liblnk-utils): the target path, the working directory (the
// install directory where the batch file cannot change to it), the show
// command, the failure message of a missing folder, and the kinds that are
// refused.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "installer/directory_rules.h"
#include "installer/shortcut.h"
#include "installer/run_state.h"
#include "tests/support/capture.h"
#include "tests/support/lnkinfo.h"
#include "tests/support/test_support.h"

namespace {

// The folders of a Japanese system below C:\windows, as host names.
const std::string WINDOWS = "/drive_c/windows";
const std::string START_MENU_FOLDER = WINDOWS + "/ｽﾀｰﾄ ﾒﾆｭｰ";
const std::string PROGRAMS_FOLDER = START_MENU_FOLDER + "/ﾌﾟﾛｸﾞﾗﾑ";
const std::string DESKTOP_FOLDER = WINDOWS + "/ﾃﾞｽｸﾄｯﾌﾟ";
const std::string LINK_NAME = "/ワームホールド Ver 1.0.5.4.1.lnk";

// 保存に失敗しました
const std::string SAVE_FAILED = "\x95\xdb\x91\xb6\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\n";

// A fresh Wine prefix with C:\windows and, as asked, its Start menu program
// folder and desktop folder; the install directory is c:\games\yamawyrm\.
struct LinkPrefix {
    std::string root;

    explicit LinkPrefix(bool start_menu = true, bool desktop = true)
    {
        root = start_prefix();
        mkdir((root + WINDOWS).c_str(), 0755);
        if (start_menu) {
            mkdir((root + START_MENU_FOLDER).c_str(), 0755);
            mkdir((root + PROGRAMS_FOLDER).c_str(), 0755);
        }
        if (desktop)
            mkdir((root + DESKTOP_FOLDER).c_str(), 0755);
        strcpy(install_directory, "c:\\games\\yamawyrm\\");
    }
    ~LinkPrefix() { end_prefix(root); }
    std::string start_menu_link() const { return root + PROGRAMS_FOLDER + LINK_NAME; }
    std::string desktop_link() const { return root + DESKTOP_FOLDER + LINK_NAME; }
};

// Everything below `folder`, as paths relative to it.
void list_tree(const std::string& folder, const std::string& relative, std::set<std::string>& entries)
{
    DIR* dir = opendir((folder + relative).c_str());
    if (dir == nullptr)
        return;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        entries.insert(relative + "/" + name);
        list_tree(folder, relative + "/" + name, entries);
    }
    closedir(dir);
}

// The ShowCommand field of the file's ShellLinkHeader (offset 0x3C).
uint32_t header_show_command(const std::string& path)
{
    const Bytes data = read_file(path);
    if (data.size() < 0x4C)
        return 0;
    return static_cast<uint32_t>(data[0x3C] | data[0x3D] << 8 | data[0x3E] << 16 | data[0x3F] << 24);
}

// Checks the shortcut at `path`: the target, the working directory, a
// maximised window.
void expect_link(const std::string& path, const std::string& target, const std::string& working = "C:\\windows")
{
    SCOPED_TRACE(path);
    ASSERT_TRUE(file_exists(path));
    const std::string info = run_lnkinfo("", path);
    EXPECT_EQ(lnkinfo_field(info, "Local path"), target) << info;
    EXPECT_EQ(lnkinfo_field(info, "Working directory"), working) << info;
    // lnkinfo 20181227, Debian's, never fills in the show window value and
    // prints 0 for every file; later versions print what the header holds.
    const std::string shown = lnkinfo_field(info, "Show Window value");
    if (shown != "0x00000000")
        EXPECT_EQ(shown, "0x00000003") << info;
    EXPECT_EQ(header_show_command(path), 3u);
}

TEST(Shortcut, SavesBothShortcutsToTheBatchFile)
{
    LinkPrefix prefix;
    int start_menu_result = -1;
    int desktop_result = -1;
    const std::string printed = capture_console([&] {
        start_menu_result = create_shortcut(SHORTCUT_START_MENU, "yamawyrm.bat");
        desktop_result = create_shortcut(SHORTCUT_DESKTOP, "yamawyrm.bat");
    });
    EXPECT_EQ(start_menu_result, 0);
    EXPECT_EQ(desktop_result, 0);
    EXPECT_EQ(printed, "");
    expect_link(prefix.start_menu_link(), "c:\\games\\yamawyrm\\yamawyrm.bat");
    expect_link(prefix.desktop_link(), "c:\\games\\yamawyrm\\yamawyrm.bat");
}

TEST(Shortcut, MissingFolderFailsThatShortcutOnly)
{
    struct Case {
        bool start_menu_folder;
        bool desktop_folder;
    } cases[] = {{false, true}, {true, false}, {false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start_menu_folder) + std::to_string(c.desktop_folder));
        LinkPrefix prefix(c.start_menu_folder, c.desktop_folder);
        int results[2] = {-1, -1};
        const std::string start_menu_printed = capture_console([&] {
            results[0] = create_shortcut(SHORTCUT_START_MENU, "yamawyrm.bat");
        });
        const std::string desktop_printed = capture_console([&] {
            results[1] = create_shortcut(SHORTCUT_DESKTOP, "yamawyrm.bat");
        });
        EXPECT_EQ(results[0], 0);
        EXPECT_EQ(results[1], 0);
        EXPECT_EQ(start_menu_printed, c.start_menu_folder ? "" : on_console(SAVE_FAILED));
        EXPECT_EQ(desktop_printed, c.desktop_folder ? "" : on_console(SAVE_FAILED));
        if (c.start_menu_folder)
            expect_link(prefix.start_menu_link(), "c:\\games\\yamawyrm\\yamawyrm.bat");
        if (c.desktop_folder)
            expect_link(prefix.desktop_link(), "c:\\games\\yamawyrm\\yamawyrm.bat");
        // The save makes no folder.
        EXPECT_EQ(file_exists(prefix.root + PROGRAMS_FOLDER), c.start_menu_folder);
        EXPECT_EQ(file_exists(prefix.root + DESKTOP_FOLDER), c.desktop_folder);
    }
}

TEST(Shortcut, OtherKindsAreRefusedTouchingNothing)
{
    LinkPrefix prefix;
    std::set<std::string> before;
    list_tree(prefix.root, "", before);
    for (int kind : {0, 3, -1, 256}) {
        SCOPED_TRACE(kind);
        int result = -1;
        const std::string printed = capture_console([&] { result = create_shortcut(kind, "yamawyrm.bat"); });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(printed, "");
    }
    std::set<std::string> after;
    list_tree(prefix.root, "", after);
    EXPECT_EQ(after, before);
}

TEST(Shortcut, ReplacesAnExistingShortcut)
{
    LinkPrefix prefix;
    write_file(prefix.desktop_link(), Bytes(3000, 0xEE));
    capture_console([] { create_shortcut(SHORTCUT_DESKTOP, "yamawyrm.bat"); });
    expect_link(prefix.desktop_link(), "c:\\games\\yamawyrm\\yamawyrm.bat");
    EXPECT_LT(read_file(prefix.desktop_link()).size(), 3000u);
}

TEST(Shortcut, TargetHoldsTheLongestInstallDirectory)
{
    // Far past 79 bytes: the longest directory the dialogue accepts.
    LinkPrefix prefix;
    std::string directory = "c:\\";
    while (directory.size() + 9 <= MAX_INSTALL_DIRECTORY)
        directory += "abcdefgh\\";
    directory.insert(directory.size() - 1, std::string(MAX_INSTALL_DIRECTORY - directory.size(), 'x'));
    ASSERT_EQ(directory.size(), MAX_INSTALL_DIRECTORY);
    strcpy(install_directory, directory.c_str());
    const std::string printed = capture_console([] { create_shortcut(SHORTCUT_START_MENU, "yamawyrm.bat"); });
    EXPECT_EQ(printed, "");
    expect_link(prefix.start_menu_link(), directory + "yamawyrm.bat");
}

TEST(Shortcut, TargetThatDoesNotFitIsNotSaved)
{
    LinkPrefix prefix;
    const std::string name = std::string(2 * LINE_SIZE, 'n') + ".bat";
    int result = -1;
    const std::string printed = capture_console([&] { result = create_shortcut(SHORTCUT_DESKTOP, name.c_str()); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed, on_console(SAVE_FAILED));
    EXPECT_FALSE(file_exists(prefix.desktop_link()));
}

TEST(Shortcut, StartsWhereTheBatchFileReachesTheInstallDirectory)
{
    // The batch file's cd line reaches the install directory when it names
    // it from a drive's root and the console (code page 932 under a
    // Japanese Wine, 437 under C and English ones) reads it as written;
    // elsewhere the shortcut starts in the install directory, made
    // absolute. The target is made absolute in every case.
    struct Case {
        const char* locale;
        std::string directory;   // code page 932
        std::string target;      // UTF-8, as lnkinfo shows it; "~" stands
        std::string working;     // for the current directory on Z:
    } cases[] = {
        {"ja_JP.UTF-8", "c:\\games\\yamawyrm\\", "c:\\games\\yamawyrm\\yamawyrm.bat", "C:\\windows"},
        {"C", "c:\\games\\yamawyrm\\", "c:\\games\\yamawyrm\\yamawyrm.bat", "C:\\windows"},
        {"C", "c:/games/", "c:\\games\\yamawyrm.bat", "C:\\windows"},
        // c:\ゲーム\表\: 表 ends in the byte of a backslash.
        {"ja_JP.UTF-8", "c:\\\x83\x51\x81\x5b\x83\x80\\\x95\x5c\\", "c:\\ゲーム\\表\\yamawyrm.bat", "C:\\windows"},
        {"C", "c:\\\x83\x51\x81\x5b\x83\x80\\\x95\x5c\\", "c:\\ゲーム\\表\\yamawyrm.bat", "c:\\ゲーム\\表\\"},
        {"en_US.UTF-8", "D:\\\x83\x51\x81\x5b\x83\x80\\", "D:\\ゲーム\\yamawyrm.bat", "D:\\ゲーム\\"},
        {"ja_JP.UTF-8", "inst\\sub\\", "~\\inst\\sub\\yamawyrm.bat", "~\\inst\\sub\\"},
        {"C", "\\games\\", "Z:\\games\\yamawyrm.bat", "Z:\\games\\"},
        {"ja_JP.UTF-8", "c:games\\", "c:\\games\\yamawyrm.bat", "c:\\games\\"},
    };
    const std::string saved = current_directory();
    ASSERT_NE(saved, "");
    const std::string work = make_temp_dir();
    ASSERT_EQ(chdir(work.c_str()), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory + " " + c.locale);
        LinkPrefix prefix;
        LocaleVariables locale(c.locale);
        strcpy(install_directory, c.directory.c_str());
        const std::string printed = capture_console([] { create_shortcut(SHORTCUT_DESKTOP, "yamawyrm.bat"); });
        EXPECT_EQ(printed, "");
        const auto here = [&](const std::string& path) {
            return path[0] == '~' ? as_z_path(work) + path.substr(1) : path;
        };
        expect_link(prefix.desktop_link(), here(c.target), here(c.working));
    }
    EXPECT_EQ(chdir(saved.c_str()), 0);
    remove_tree(work);
}

}  // namespace
