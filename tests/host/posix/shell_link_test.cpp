// tests/host/posix/shell_link_test.cpp: the POSIX shell link object: the
// Shell Link file it saves, read back field by field after Microsoft's
// published layout and with lnkinfo (Debian's liblnk-utils); the order of
// its operations, as COM enforces it; the Windows directory and the UTF-16
// conversion; the target kept as the user's Wine reads it. The code pages
// of that Wine and its short names are tested beside their units, in
// tests/host/posix/wine/.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/posix/codepage.h"
#include "host/shell_link.h"
#include "tests/support/lnkinfo.h"
#include "tests/support/test_support.h"

namespace {

// A fresh Wine prefix with C:\windows\links\ to save into.
struct LinkFolder {
    std::string root;

    LinkFolder()
    {
        root = start_prefix();
        make_folders(root, "drive_c/windows/links");
    }
    ~LinkFolder() { end_prefix(root); }
    std::string host(const std::string& name) const { return root + "/drive_c/windows/links/" + name; }
};

// Makes a shortcut the way the installer does, saved at the Windows path
// `link_path`; returns whether the save succeeded. Every step before the
// save must succeed.
bool save_shortcut(const char* target, const char* working_directory, int show_command, const char* link_path)
{
    EXPECT_TRUE(start_com());
    EXPECT_TRUE(create_shell_link());
    EXPECT_TRUE(set_link_path(target));
    EXPECT_TRUE(open_link_persist());
    set_link_working_directory(working_directory);
    set_link_show_command(show_command);
    uint16_t wide[WINDOWS_PATH_SIZE];
    EXPECT_TRUE(convert_to_wide(link_path, wide, WINDOWS_PATH_SIZE));
    const bool saved = save_link(wide);
    release_link_persist();
    release_shell_link();
    stop_com();
    return saved;
}

uint32_t u16_at(const Bytes& data, size_t offset)
{
    return offset + 2 <= data.size() ? static_cast<uint32_t>(data[offset] | data[offset + 1] << 8) : 0xFFFFFFFF;
}

uint32_t u32_at(const Bytes& data, size_t offset)
{
    return offset + 4 <= data.size() ? u16_at(data, offset) | u16_at(data, offset + 2) << 16 : 0xFFFFFFFF;
}

// The fields of a Shell Link file that the installer sets, read after
// Microsoft's layout: the ShellLinkHeader, an optional LinkTargetIDList,
// the LinkInfo and the StringData in their fixed order.
struct ParsedLink {
    bool valid = false;
    uint32_t flags = 0;
    uint32_t show_command = 0;
    std::string local_base_path;           // code page 932 bytes
    std::u16string local_base_path_unicode;
    std::u16string working_directory;
};

std::string c_string_at(const Bytes& data, size_t offset)
{
    std::string text;
    while (offset < data.size() && data[offset] != 0)
        text += static_cast<char>(data[offset++]);
    return text;
}

std::u16string wide_string_at(const Bytes& data, size_t offset)
{
    std::u16string text;
    while (offset + 1 < data.size() && u16_at(data, offset) != 0) {
        text += static_cast<char16_t>(u16_at(data, offset));
        offset += 2;
    }
    return text;
}

ParsedLink parse_link(const Bytes& data)
{
    const uint8_t clsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    ParsedLink link;
    if (data.size() < 0x4C || u32_at(data, 0) != 0x4C || memcmp(data.data() + 4, clsid, 16) != 0)
        return link;
    link.flags = u32_at(data, 0x14);
    link.show_command = u32_at(data, 0x3C);
    size_t offset = 0x4C;
    if (link.flags & 0x01)  // HasLinkTargetIDList
        offset += 2 + u16_at(data, offset);
    if (link.flags & 0x02) {  // HasLinkInfo
        const size_t info = offset;
        const uint32_t header_size = u32_at(data, info + 4);
        if (u32_at(data, info + 8) & 0x01) {  // VolumeIDAndLocalBasePath
            link.local_base_path = c_string_at(data, info + u32_at(data, info + 0x10));
            if (header_size >= 0x24)
                link.local_base_path_unicode = wide_string_at(data, info + u32_at(data, info + 0x1C));
        }
        offset += u32_at(data, info);
    }
    const bool unicode = (link.flags & 0x80) != 0;
    // StringData in order: name, relative path, working directory.
    for (uint32_t flag : {0x04u, 0x08u, 0x10u}) {
        if (!(link.flags & flag))
            continue;
        const size_t count = u16_at(data, offset);
        offset += 2;
        std::u16string text;
        for (size_t i = 0; i < count; i++)
            text += static_cast<char16_t>(unicode ? u16_at(data, offset + 2 * i) : data[offset + i]);
        offset += unicode ? 2 * count : count;
        if (flag == 0x10)
            link.working_directory = text;
    }
    // The extra data ends with a terminal block: four zero bytes.
    while (offset + 4 <= data.size() && u32_at(data, offset) >= 4)
        offset += u32_at(data, offset);
    link.valid = offset + 4 == data.size() && u32_at(data, offset) == 0;
    return link;
}

std::u16string utf16_of(const std::string& cp932)
{
    uint16_t units[2 * WINDOWS_PATH_SIZE];
    const int count = cp932_to_utf16(cp932.c_str(), units, 2 * WINDOWS_PATH_SIZE);
    EXPECT_GT(count, 0);
    return std::u16string(units, units + (count > 0 ? count - 1 : 0));
}

std::string utf8_of(const std::string& cp932)
{
    char text[1024];
    const long length = cp932_to_utf8(cp932.data(), cp932.size(), text, sizeof text, REFUSE_UNCONVERTIBLE);
    EXPECT_GE(length, 0);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

TEST(ShellLink, SavedFileHoldsWhatWasSet)
{
    struct Case {
        const char* locale;             // LC_ALL of the Wine it is written for
        std::string target;             // code page 932, absolute
        std::string working_directory;
        int show_command;
    } cases[] = {
        {"C", "c:\\games\\yamawyrm\\yamawyrm.bat", "C:\\windows", SHOW_MAXIMIZED},
        {"C", "D:\\Spiele\\y.bat", "D:\\Spiele", 1},
        // c:\ゲーム\表\yamawyrm.bat: 表 ends in the byte of a backslash.
        {"ja_JP.UTF-8", "c:\\\x83\x51\x81\x5b\x83\x80\\\x95\x5c\\yamawyrm.bat", "C:\\windows", SHOW_MAXIMIZED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        LinkFolder folder;
        LocaleVariables locale(c.locale);
        ASSERT_TRUE(save_shortcut(c.target.c_str(), c.working_directory.c_str(), c.show_command,
                                  "C:\\windows\\links\\a.lnk"));
        const ParsedLink link = parse_link(read_file(folder.host("a.lnk")));
        ASSERT_TRUE(link.valid);
        EXPECT_EQ(link.show_command, static_cast<uint32_t>(c.show_command));
        EXPECT_EQ(link.local_base_path, c.target);
        EXPECT_EQ(link.local_base_path_unicode, utf16_of(c.target));
        EXPECT_EQ(link.working_directory, utf16_of(c.working_directory));

        const std::string info = run_lnkinfo("", folder.host("a.lnk"));
        EXPECT_EQ(lnkinfo_field(info, "Local path"), utf8_of(c.target)) << info;
        EXPECT_EQ(lnkinfo_field(info, "Working directory"), c.working_directory) << info;
    }
}

TEST(ShellLink, CodePage932CopyServesReadersWithoutTheUnicodeOne)
{
    // A LinkInfo header of 0x1C bytes has no Unicode offsets; the reader
    // then takes the local base path in the code page it is told.
    LinkFolder folder;
    LocaleVariables locale("ja_JP.UTF-8");
    const std::string target = "c:\\\x83\x51\x81\x5b\x83\x80\\\xbd\xc0\xb0\xc4\\y.bat";  // c:\ゲーム\ｽﾀｰﾄ\y.bat
    ASSERT_TRUE(save_shortcut(target.c_str(), "C:\\windows", SHOW_MAXIMIZED, "C:\\windows\\links\\a.lnk"));
    Bytes data = read_file(folder.host("a.lnk"));
    ASSERT_FALSE(parse_link(data).flags & 0x01);
    ASSERT_EQ(u32_at(data, 0x4C + 4), 0x24u);
    data[0x4C + 4] = 0x1C;
    write_file(folder.host("ansi.lnk"), data);
    const std::string info = run_lnkinfo("-c windows-932", folder.host("ansi.lnk"));
    EXPECT_EQ(lnkinfo_field(info, "Local path"), utf8_of(target)) << info;
}

TEST(ShellLink, RelativeTargetIsMadeAbsolute)
{
    LinkFolder folder;
    const std::string saved = current_directory();
    ASSERT_NE(saved, "");
    const std::string work = make_temp_dir();
    ASSERT_EQ(chdir(work.c_str()), 0);
    const bool ok = save_shortcut("inst\\y.bat", "C:\\windows", SHOW_MAXIMIZED, "C:\\windows\\links\\a.lnk");
    EXPECT_EQ(chdir(saved.c_str()), 0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(parse_link(read_file(folder.host("a.lnk"))).local_base_path, as_z_path(work + "/inst/y.bat"));
    remove_tree(work);
}

TEST(ShellLink, SaveFailsWhereTheFolderIsMissing)
{
    LinkFolder folder;
    EXPECT_FALSE(save_shortcut("c:\\y.bat", "C:\\windows", SHOW_MAXIMIZED, "C:\\windows\\absent\\a.lnk"));
    EXPECT_FALSE(file_exists(folder.root + "/drive_c/windows/absent"));
    EXPECT_FALSE(save_shortcut("c:\\y.bat", "C:\\windows", SHOW_MAXIMIZED, "Q:\\a.lnk"));
    EXPECT_FALSE(save_shortcut("c:\\y.bat", "C:\\windows", SHOW_MAXIMIZED, "\\\\server\\share\\a.lnk"));
}

TEST(ShellLink, SaveReplacesAnExistingFile)
{
    LinkFolder folder;
    write_file(folder.host("a.lnk"), Bytes(5000, 'z'));
    ASSERT_TRUE(save_shortcut("c:\\y.bat", "C:\\windows", SHOW_MAXIMIZED, "C:\\windows\\links\\a.lnk"));
    const ParsedLink link = parse_link(read_file(folder.host("a.lnk")));
    EXPECT_TRUE(link.valid);
    EXPECT_EQ(link.local_base_path, "c:\\y.bat");
}

TEST(ShellLink, OperationsNeedComAndTheirObject)
{
    LinkFolder folder;
    // No object without COM, and none before it is created.
    EXPECT_FALSE(create_shell_link());
    EXPECT_FALSE(set_link_path("c:\\y.bat"));
    EXPECT_FALSE(open_link_persist());

    ASSERT_TRUE(start_com());
    ASSERT_TRUE(create_shell_link());
    EXPECT_FALSE(create_shell_link());  // one object at a time
    EXPECT_FALSE(set_link_path(""));
    uint16_t wide[WINDOWS_PATH_SIZE];
    ASSERT_TRUE(convert_to_wide("C:\\windows\\links\\a.lnk", wide, WINDOWS_PATH_SIZE));
    EXPECT_FALSE(save_link(wide));      // no persist interface yet
    ASSERT_TRUE(open_link_persist());
    EXPECT_FALSE(save_link(wide));      // no path set
    ASSERT_TRUE(set_link_path("c:\\y.bat"));
    EXPECT_TRUE(save_link(wide));
    release_link_persist();
    EXPECT_FALSE(save_link(wide));
    release_shell_link();
    ASSERT_TRUE(create_shell_link());   // the old one is gone
    release_shell_link();
    stop_com();
    EXPECT_FALSE(create_shell_link());

    // A second start stands for an already started thread: one stop leaves
    // COM started.
    ASSERT_TRUE(start_com());
    ASSERT_TRUE(start_com());
    stop_com();
    EXPECT_TRUE(create_shell_link());
    release_shell_link();
    stop_com();
    EXPECT_FALSE(create_shell_link());
}

TEST(ShellLink, NewObjectShowsItsWindowNormally)
{
    LinkFolder folder;
    ASSERT_TRUE(start_com());
    ASSERT_TRUE(create_shell_link());
    ASSERT_TRUE(set_link_path("c:\\y.bat"));
    ASSERT_TRUE(open_link_persist());
    uint16_t wide[WINDOWS_PATH_SIZE];
    ASSERT_TRUE(convert_to_wide("C:\\windows\\links\\a.lnk", wide, WINDOWS_PATH_SIZE));
    EXPECT_TRUE(save_link(wide));
    release_link_persist();
    release_shell_link();
    stop_com();
    const ParsedLink link = parse_link(read_file(folder.host("a.lnk")));
    ASSERT_TRUE(link.valid);
    EXPECT_EQ(link.show_command, 1u);
    EXPECT_FALSE(link.flags & 0x10);  // no working directory
    EXPECT_EQ(link.local_base_path, "c:\\y.bat");
}

TEST(ShellLink, WindowsDirectoryIsWines)
{
    char directory[WINDOWS_PATH_SIZE];
    ASSERT_TRUE(get_windows_directory(directory, sizeof directory));
    EXPECT_STREQ(directory, "C:\\windows");
    char small[10];
    EXPECT_FALSE(get_windows_directory(small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(ShellLink, ConversionToWideMustBeComplete)
{
    uint16_t wide[WINDOWS_PATH_SIZE];
    const std::string fits(WINDOWS_PATH_SIZE - 1, 'a');
    ASSERT_TRUE(convert_to_wide(fits.c_str(), wide, WINDOWS_PATH_SIZE));
    EXPECT_EQ(wide[WINDOWS_PATH_SIZE - 2], 'a');
    EXPECT_EQ(wide[WINDOWS_PATH_SIZE - 1], 0);
    const std::string too_long(WINDOWS_PATH_SIZE, 'a');
    EXPECT_FALSE(convert_to_wide(too_long.c_str(), wide, WINDOWS_PATH_SIZE));
    // ｽ (one byte) and ワ (two bytes) are one unit each.
    ASSERT_TRUE(convert_to_wide("\xbd\x83\x8f", wide, 3));
    EXPECT_EQ(wide[0], 0xFF7D);
    EXPECT_EQ(wide[1], 0x30EF);
    EXPECT_EQ(wide[2], 0);
}

TEST(ShellLink, TargetIsKeptAsTheUsersWineReadsIt)
{
    // The local base path in the ANSI code page of the user's Wine, else
    // in its short form, whose names are the host's where they are legal
    // DOS names; the UTF-16 copy keeps the path as it was given.
    struct Case {
        const char* locale;
        const char* file;     // made below drive_c, UTF-8; "": none
        std::string target;   // code page 932
        std::string base;     // the local base path's bytes
    } cases[] = {
        {"ja_JP.UTF-8", "ゲーム/yamawyrm.bat", "c:\\\x83\x51\x81\x5b\x83\x80\\yamawyrm.bat",
         "c:\\\x83\x51\x81\x5b\x83\x80\\yamawyrm.bat"},
        {"C", "ゲーム/yamawyrm.bat", "c:\\\x83\x51\x81\x5b\x83\x80\\yamawyrm.bat", "c:\\___~~NWP\\yamawyrm.bat"},
        {"en_US.UTF-8", "Games/ゲーム/My Games (1)/yamawyrm.bat",
         "c:\\GAMES\\\x83\x51\x81\x5b\x83\x80\\My Games (1)\\yamawyrm.bat", "c:\\Games\\___~~NWP\\MY_G~2WA\\yamawyrm.bat"},
        // No file, no short form: what the code page lacks becomes '?'.
        {"C", "", "c:\\\x83\x51\x81\x5b\x83\x80\\yamawyrm.bat", "c:\\???\\yamawyrm.bat"},
        {"C", "", "c:\\My Games (1)\\y.bat", "c:\\My Games (1)\\y.bat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        LinkFolder folder;
        LocaleVariables locale(c.locale);
        if (c.file[0] != '\0') {
            const std::string file = c.file;
            make_folders(folder.root + "/drive_c", file.substr(0, file.rfind('/')));
            write_file(folder.root + "/drive_c/" + file, bytes_of("@echo off\r\n"));
        }
        ASSERT_TRUE(save_shortcut(c.target.c_str(), "C:\\windows", SHOW_MAXIMIZED, "C:\\windows\\links\\a.lnk"));
        const ParsedLink link = parse_link(read_file(folder.host("a.lnk")));
        ASSERT_TRUE(link.valid);
        EXPECT_EQ(link.local_base_path, c.base);
        EXPECT_EQ(link.local_base_path_unicode, utf16_of(c.target));
    }
}

}  // namespace
