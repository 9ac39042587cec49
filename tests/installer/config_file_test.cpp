// tests/installer/config_file_test.cpp: the configuration file: the 71
// template lines byte for byte with CR LF endings, the OPTIONS line with and
// without a name, an existing file replaced, and the line that a file which
// cannot be made or written gets.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "installer/config_file.h"
#include "installer/run_state.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

namespace {

// A fresh Wine prefix holding c:\games\yamawyrm\, the install directory.
struct ConfigPrefix {
    std::string root;

    ConfigPrefix()
    {
        root = start_prefix();
        make_folders(root, "drive_c/games/yamawyrm");
        strcpy(install_directory, "c:\\games\\yamawyrm\\");
        strcpy(color_option, "color");
        strcpy(number_pad_option, "nonumber_pad");
    }
    ~ConfigPrefix() { end_prefix(root); }
    std::string game_file(const std::string& name) const { return root + "/drive_c/games/yamawyrm/" + name; }
};

// The file as the game expects it, typed out here line by line, with the
// given OPTIONS line as line 22.
std::string expected_config(const std::string& options_line)
{
    const std::vector<std::string> lines = {
        "# Wyrmhold.cnf file for Windows NT",
        "# A '#' at the beginning of a line means the rest of the line is a comment.",
        "#",
        "# To change the configuration, comment out the unwanted lines, and",
        "# uncomment the configuration you want.",
        "",
        "# *** OPTIONS ***",
        "#",
        "OPTIONS=IBMgraphics",
        "#",
        "# Some options to set personal preferences.  Uncomment and change these to",
        "# suit your personal preference.  If several people are to use the same",
        "# configuration, options like these should not be set.",
        "#",
        "#OPTIONS=name:Marvet-Q,female,dogname:Fido,catname:Morris,fruit:apricot",
        "#OPTIONS=packorder:\")[%?+/=!(*0_`,scores:10 top/2 around/own",
        "#",
        "#",
        "# Other general options.  You might also set \"silent\" so as not to attract",
        "# the boss's attention.",
        "#",
        options_line,
        "# *** HARD DISK CONFIGURATION ***",
        "#",
        "# Wyrmhold for Windows NT defaults to using the same directory as that",
        "# which the executable was loaded from.  If you want, you can override ",
        "# that here.",
        "#",
        "#DELVDIR=c:\\games\\wyrmholdn",
        "#",
        "#   LEVELS and SAVE default to DELVDIR",
        "#",
        "#LEVELS=c:\\games\\wyrmhold\\bones",
        "#SAVE=c:\\games\\wyrmhold\\bones;n",
        "#",
        "#   appending a \";n\" to SAVE means don't prompt to insert a disk.",
        "SAVE=;n",
        "# *** CHARACTER GRAPHICS ***",
        "#",
        "# See the on-line help or the Guidebook for which symbols are in which",
        "# positions.",
        "#",
        "# You can make up your own via these graphics options, but you should still",
        "# set IBMgraphics if you are using IBM graphics characters to get the correct",
        "# processing.",
        "#",
        "# An example using the IBM graphics character set:",
        "#DUNGEON=  032 179 196 218 191 192 217 197 193 194 \\",
        "#\t   180 195 249 239 239 254 254 249 177 177 \\",
        "#\t   060 062 060 062 220 190 035 244 247 249 \\",
        "#\t   247 042 042 186 205 046 035 247",
        "#",
        "#TRAPS=    094 094 094 094 094 094 094 094 094 094 \\",
        "#\t   094 094 094 094 232 232 232 157 094 094 \\",
        "#\t   094 094",
        "#",
        "#EFFECTS=  179 196 092 047 042 033 041 040\t   \\",
        "#\t   048 035 064 042\t\t\t   \\",
        "#\t   047 045 092 058 058 092 045 047\t   \\",
        "#\t   047 045 092 058 032 058 092 045 047",
        "#",
        "# Some alternatives:",
        "#DUNGEON=  032 186 205 201 187 200 188 206 202 203 \\",
        "#\t   185 204 249 239 239 254 254 249 177 177 \\",
        "#\t   060 062 060 062 095 092 035 244 247 249 \\",
        "#\t   247 042 042 179 196 046 035 247",
        "#",
        "#TRAPS=    094 094 094 094 094 094 094 094 094 094 \\",
        "#\t   094 094 094 094 094 034 094 094 094 094 \\",
        "#\t   094 094",
        "",
    };
    EXPECT_EQ(lines.size(), 71u);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// Lines of a CR LF file, without their endings; a line feed without its
// carriage return, or a carriage return alone, fails the test.
std::vector<std::string> crlf_lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at byte " << i;
            lines.push_back(text.substr(start, i - 1 - start));
            start = i + 1;
        } else if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare carriage return at byte " << i;
        }
    }
    EXPECT_EQ(start, text.size()) << "the last line has no line ending";
    return lines;
}

// ファイル"<path>"を作成できませんでした。
std::string cannot_create_line(const std::string& path)
{
    return on_console("\x83\x74\x83\x40\x83\x43\x83\x8b\"" + path
        + "\"\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\n");
}

// ファイル"<path>"の書き込みに失敗しました。
std::string cannot_write_line(const std::string& path)
{
    return on_console("\x83\x74\x83\x40\x83\x43\x83\x8b\"" + path
        + "\"\x82\xcc\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\n");
}

TEST(ConfigFile, WritesTemplateWithTheOptions)
{
    // 勇者 ソ表: the second bytes of ソ and 表 are backslashes, and the
    // percent sign must not be taken for a format.
    const std::string sjis_name = "\x97\x45\x8e\xd2\x83\x5c\x95\x5c%s";
    struct Case {
        std::string name_option;
        std::string options_line;
    } cases[] = {
        {"name:Hero,", "OPTIONS=name:Hero,,notime,norest_on_space,noautopickup,color,nonumber_pad"},
        {"", "OPTIONS=,notime,norest_on_space,noautopickup,color,nonumber_pad"},
        {"name:" + sjis_name + ",",
         "OPTIONS=name:" + sjis_name + ",,notime,norest_on_space,noautopickup,color,nonumber_pad"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name_option);
        ConfigPrefix prefix;
        strcpy(name_option, c.name_option.c_str());
        const std::string printed = capture_console([] { write_config_file("wyrmhold.cnf"); });
        EXPECT_EQ(printed, "");
        EXPECT_EQ(file_slot, nullptr);
        const std::string written = text_of(read_file(prefix.game_file("wyrmhold.cnf")));
        EXPECT_EQ(written, expected_config(c.options_line));

        const std::vector<std::string> lines = crlf_lines(written);
        ASSERT_EQ(lines.size(), 71u);
        EXPECT_EQ(lines[21], c.options_line);
        EXPECT_EQ(lines[5], "");
        EXPECT_EQ(lines[70], "");
        EXPECT_EQ(lines[25].back(), ' ');
        EXPECT_NE(lines[15].find("%?+/=!(*0_`"), std::string::npos);
    }
}

TEST(ConfigFile, ReplacesAnExistingFile)
{
    ConfigPrefix prefix;
    write_file(prefix.game_file("wyrmhold.cnf"), Bytes(20000, 'x'));
    name_option[0] = '\0';
    capture_console([] { write_config_file("wyrmhold.cnf"); });
    EXPECT_EQ(text_of(read_file(prefix.game_file("wyrmhold.cnf"))),
              expected_config("OPTIONS=,notime,norest_on_space,noautopickup,color,nonumber_pad"));
}

TEST(ConfigFile, FileNameFollowsTheInstallDirectory)
{
    ConfigPrefix prefix;
    strcpy(install_directory, "C:\\GAMES\\YAMAWYRM\\");
    strcpy(name_option, "name:Hero,");
    capture_console([] { write_config_file("other.cnf"); });
    EXPECT_TRUE(file_exists(prefix.game_file("other.cnf")));
    EXPECT_FALSE(file_exists(prefix.game_file("wyrmhold.cnf")));
}

TEST(ConfigFile, MissingFolderIsReportedAndNothingWritten)
{
    ConfigPrefix prefix;
    strcpy(install_directory, "c:\\nowhere\\");
    const std::string printed = capture_console([] { write_config_file("wyrmhold.cnf"); });
    EXPECT_EQ(printed, cannot_create_line("c:\\nowhere\\wyrmhold.cnf"));
    EXPECT_EQ(file_slot, nullptr);
    EXPECT_FALSE(file_exists(prefix.root + "/drive_c/nowhere"));
}

TEST(ConfigFile, WriteErrorIsReported)
{
    // The file is far longer than the limit; the captured lines are not.
    ConfigPrefix prefix;
    const std::string printed = capture_console([] {
        FileSizeLimit full(1024);
        write_config_file("wyrmhold.cnf");
    });
    EXPECT_EQ(printed, cannot_write_line("c:\\games\\yamawyrm\\wyrmhold.cnf"));
    EXPECT_EQ(file_slot, nullptr);
}

}  // namespace
