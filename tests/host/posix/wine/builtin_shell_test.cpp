// tests/host/posix/wine/builtin_shell_test.cpp: the built-in interpreter's
// mkdir, deltree and write, on a temporary prefix.
#include "host/posix/wine/builtin_shell.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "tests/support/capture.h"
#include "tests/support/test_support.h"

// ソフト表 in code page 932: two of its characters end in the byte 0x5C.
static const char SOFT_TABLE_CP932[] = "\x83\x5c\x83\x74\x83\x67\x95\x5c";
static const char SOFT_TABLE_UTF8[] = "ソフト表";

struct ShellRun {
    int status;
    std::string output;  // what the interpreter printed on standard output
    std::string errors;  // and on standard error
};

// The variables that choose the locale of a run, and the values a run is
// given (the others unset): LC_ALL, LC_MESSAGES, LC_CTYPE, LANG.
constexpr const char* LOCALE_VARIABLES[] = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG"};
struct LocaleSetting {
    const char* values[4];
};
constexpr LocaleSetting C_LOCALE = {{"C", nullptr, nullptr, nullptr}};

// Runs one line with both streams captured, under `locale`.
static ShellRun run_shell(const std::string& line, const LocaleSetting& locale = C_LOCALE)
{
    std::string saved[4];
    bool was_set[4];
    for (size_t i = 0; i < 4; i++) {
        const char* value = getenv(LOCALE_VARIABLES[i]);
        was_set[i] = value != nullptr;
        saved[i] = value != nullptr ? value : "";
        if (locale.values[i] != nullptr)
            setenv(LOCALE_VARIABLES[i], locale.values[i], 1);
        else
            unsetenv(LOCALE_VARIABLES[i]);
    }
    int status = -1;
    const auto printed = capture_console_and_errors([&] { status = run_builtin_shell(line.c_str()); });
    for (size_t i = 0; i < 4; i++) {
        if (was_set[i])
            setenv(LOCALE_VARIABLES[i], saved[i].c_str(), 1);
        else
            unsetenv(LOCALE_VARIABLES[i]);
    }
    return ShellRun{status, printed.first, printed.second};
}

static bool is_folder(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes each entry in `folder`: a name ending in '/' is a folder holding a
// file and a folder with a file, the others are files.
static void make_entries(const std::string& folder, const std::vector<std::string>& names)
{
    mkdir(folder.c_str(), 0777);
    for (const std::string& name : names) {
        if (name.back() != '/') {
            write_file(folder + "/" + name, bytes_of(name));
            continue;
        }
        const std::string inner = folder + "/" + name;
        mkdir(inner.c_str(), 0777);
        write_file(inner + "file", bytes_of("file"));
        mkdir((inner + "deeper").c_str(), 0777);
        write_file(inner + "deeper/file", bytes_of("file"));
    }
}

static std::set<std::string> entries_of(const std::string& folder)
{
    std::set<std::string> names;
    if (DIR* listing = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        closedir(listing);
    }
    return names;
}

TEST(Deltree, DeletesExactlyWhatThePatternMatches)
{
    const struct {
        std::string pattern;
        std::vector<std::string> entries;
        std::set<std::string> left;
    } cases[] = {
        {"yamawyrm.exe", {"yamawyrm.exe", "yamawyrm.ico", "yamawyrm.exe.bak", "xyamawyrm.exe"},
         {"yamawyrm.ico", "yamawyrm.exe.bak", "xyamawyrm.exe"}},
        {"YAMAWYRM.EXE", {"yamawyrm.exe", "Yamawyrm.Ico"}, {"Yamawyrm.Ico"}},
        {"yamawyrm.exe", {"YaMaWyRm.ExE", "yamawyrm.ex"}, {"yamawyrm.ex"}},
        {"*.sav", {"a.sav", "B.SAV", ".sav", "a.sav.bak", "sav", "x.savx", "dir.sav/"},
         {"a.sav.bak", "sav", "x.savx"}},
        {"bone*.*", {"bone", "bones.1", "BONE.dat", "bonefile/", "bon.e", "xbone", "bonus"},
         {"bon.e", "xbone", "bonus"}},
        {"*.*", {"a", "b.c", "d/", ".hidden"}, {}},
        {"*", {"a", "b.c", "d/"}, {}},
        {"record", {"record/", "recorder", "records/", "RECORD.bak"}, {"recorder", "records/", "RECORD.bak"}},
        {"logfile", {"logfile"}, {}},
        {"logfile", {"log", "logfile.txt"}, {"log", "logfile.txt"}},
        {"?.txt", {"a.txt", "ab.txt", "ソ.txt", ".txt"}, {"ab.txt", ".txt"}},
        {"a*b?c", {"abxc", "aXXbyc", "abc", "ab", "abxcd"}, {"abc", "ab", "abxcd"}},
        {"*e", {"eee", "e", "ex", "exe"}, {"ex"}},
    };
    for (const auto& c : cases) {
        const std::string root = start_prefix();
        make_entries(root + "/drive_c/inst", c.entries);
        write_file(root + "/drive_c/sibling.sav", bytes_of("outside"));

        const ShellRun run = run_shell("deltree /y c:\\inst\\" + c.pattern);
        EXPECT_EQ(run.status, 0) << c.pattern;
        EXPECT_EQ(run.output, "") << c.pattern;
        std::set<std::string> left;
        for (const std::string& name : c.left)
            left.insert(name.back() == '/' ? name.substr(0, name.size() - 1) : name);
        EXPECT_EQ(entries_of(root + "/drive_c/inst"), left) << c.pattern;
        EXPECT_TRUE(file_exists(root + "/drive_c/sibling.sav")) << c.pattern;
        // A folder left behind keeps its whole tree.
        for (const std::string& name : c.left)
            if (name.back() == '/')
                EXPECT_TRUE(file_exists(root + "/drive_c/inst/" + name + "deeper/file")) << c.pattern;
        end_prefix(root);
    }
}

// "", "." and ".." name no entry of the folder: nothing is deleted, least
// of all the folder itself or its parent.
TEST(Deltree, DotAndEmptyNamesMatchNothing)
{
    const std::string root = start_prefix();
    make_entries(root + "/drive_c/inst", {"a.sav", "sub/"});
    for (const char* line : {"deltree /y c:\\inst\\", "deltree /y c:\\inst\\.", "deltree /y c:\\inst\\..",
                             "deltree /y c:\\inst\\sub\\..", "deltree /y c:\\inst/"}) {
        const ShellRun run = run_shell(line);
        EXPECT_EQ(run.status, 0) << line;
        EXPECT_EQ(entries_of(root + "/drive_c/inst"), (std::set<std::string>{"a.sav", "sub"})) << line;
    }
    EXPECT_TRUE(file_exists(root + "/drive_c/inst/sub/deeper/file"));
    end_prefix(root);
}

TEST(Deltree, LinksAreRemovedNeverFollowed)
{
    const std::string root = start_prefix();
    const std::string outside = root + "/outside";
    make_entries(outside, {"keep.txt", "bone.dat", "tree/"});
    const std::string inst = root + "/drive_c/inst";
    make_entries(inst, {"record/"});
    ASSERT_EQ(symlink(outside.c_str(), (inst + "/bones").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/keep.txt").c_str(), (inst + "/saved.sav").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (inst + "/record/escape").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/tree").c_str(), (inst + "/record/deeper/tree").c_str()), 0);

    for (const char* pattern : {"bone*.*", "*.sav", "record"})
        EXPECT_EQ(run_shell(std::string("deltree /y c:\\inst\\") + pattern).status, 0) << pattern;
    EXPECT_EQ(entries_of(inst), std::set<std::string>{});
    EXPECT_EQ(entries_of(outside), (std::set<std::string>{"keep.txt", "bone.dat", "tree"}));
    EXPECT_EQ(read_file(outside + "/keep.txt"), bytes_of("keep.txt"));
    EXPECT_TRUE(file_exists(outside + "/tree/deeper/file"));
    end_prefix(root);
}

// The pattern's own folder may be reached through links, as c: is in a
// Wine prefix; only what is below it is never followed.
TEST(Deltree, FolderReachedThroughDosdevicesLink)
{
    const std::string root = start_prefix();
    mkdir((root + "/dosdevices").c_str(), 0777);
    ASSERT_EQ(symlink("../drive_c", (root + "/dosdevices/c:").c_str()), 0);
    make_entries(root + "/drive_c/Games", {"YAMAWYRM.EXE", "license.txt"});
    EXPECT_EQ(run_shell("deltree /y C:\\games\\yamawyrm.exe").status, 0);
    EXPECT_EQ(entries_of(root + "/drive_c/Games"), std::set<std::string>{"license.txt"});
    end_prefix(root);
}

TEST(Deltree, QuotedAndShiftJisFolders)
{
    const std::string root = start_prefix();
    make_entries(root + "/drive_c/my games", {"a.sav", "b.txt"});
    make_entries(root + "/drive_c/" + SOFT_TABLE_UTF8, {"a.sav", "b.txt"});
    EXPECT_EQ(run_shell("deltree /y \"c:\\my games\\*.sav\"").status, 0);
    EXPECT_EQ(run_shell(std::string("DelTree /Y c:\\") + SOFT_TABLE_CP932 + "\\*.SAV").status, 0);
    EXPECT_EQ(entries_of(root + "/drive_c/my games"), std::set<std::string>{"b.txt"});
    EXPECT_EQ(entries_of(root + "/drive_c/" + SOFT_TABLE_UTF8), std::set<std::string>{"b.txt"});
    end_prefix(root);
}

TEST(Deltree, AbsentFolderIsNoError)
{
    const std::string root = start_prefix();
    for (const char* line : {"deltree /y c:\\absent\\*.*", "deltree /y q:\\x", "deltree /y \\\\server\\share\\x"}) {
        const ShellRun run = run_shell(line);
        EXPECT_EQ(run.status, 0) << line;
        EXPECT_EQ(run.output, "") << line;
    }
    end_prefix(root);
}

TEST(Deltree, RefusesWithoutConfirmation)
{
    const std::string root = start_prefix();
    make_entries(root + "/drive_c/inst", {"a.sav"});
    const struct {
        const char* line;
        const char* output;
    } cases[] = {
        {"deltree c:\\inst\\a.sav", "Deleting without /Y is not supported; nothing was deleted.\n"},
        {"deltree /y", "Required parameter missing\n"},
        {"deltree /q c:\\inst\\a.sav", "Invalid switch - /q\n"},
    };
    for (const auto& c : cases) {
        const ShellRun run = run_shell(c.line);
        EXPECT_EQ(run.status, 1) << c.line;
        EXPECT_EQ(run.output, c.output) << c.line;
    }
    EXPECT_TRUE(file_exists(root + "/drive_c/inst/a.sav"));
    end_prefix(root);
}

TEST(Mkdir, CreatesOneLevelAndComplains)
{
    const std::string root = start_prefix();
    const std::string drive_c = root + "/drive_c";
    write_file(drive_c + "/file.txt", bytes_of("x"));
    // The complaints of Wine's cmd.exe for the same lines, on standard
    // error: a system error message and an empty line, or a line of its own.
    const struct {
        const char* line;
        int status;
        const char* errors;
    } steps[] = {
        {"mkdir c:\\games", 0, ""},
        {"mkdir c:\\games", 1, "File already exists.\n\n"},
        {"md C:\\GAMES", 1, "File already exists.\n\n"},
        {"MKDIR C:\\GAMES\\Yamawyrm", 0, ""},
        {"mkdir c:\\file.txt", 1, "File already exists.\n\n"},
        {"mkdir c:\\absent\\games", 1, "Path not found.\n\n"},
        {"mkdir c:\\file.txt\\games", 1, "Path not found.\n\n"},
        {"mkdir q:\\games", 1, "File not found.\n\n"},
        {"mkdir c:\\a*b", 1, "Invalid name.\n\n"},
        {"mkdir c:\\a:b", 1, "Invalid name.\n\n"},
        {"mkdir ", 1, "Argument missing\n"},
        {"md", 1, "Argument missing\n"},
        {"mkdir c:", 1, "File already exists.\n\n"},
    };
    for (const auto& step : steps) {
        const ShellRun run = run_shell(step.line);
        EXPECT_EQ(run.status, step.status) << step.line;
        EXPECT_EQ(run.errors, step.errors) << step.line;
        EXPECT_EQ(run.output, "") << step.line;
    }
    EXPECT_EQ(entries_of(drive_c), (std::set<std::string>{"games", "file.txt"}));
    EXPECT_EQ(entries_of(drive_c + "/games"), std::set<std::string>{"Yamawyrm"});
    end_prefix(root);
}

// ファイルはすでに存在します。 and an empty line, in code page 932.
static const char EXISTS_CP932[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcd\x82\xb7\x82\xc5\x82\xc9\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb7\x81\x42\n\n";

TEST(Mkdir, ComplainsInTheLanguageOfTheLocaleForMessages)
{
    const std::string root = start_prefix();
    const struct {
        LocaleSetting locale;
        std::string errors;
    } cases[] = {
        // LC_ALL wins over LC_MESSAGES, which wins over LANG.
        {{{"C", "ja_JP.UTF-8", nullptr, "ja_JP.UTF-8"}}, "File already exists.\n\n"},
        {{{nullptr, "ja_JP.UTF-8", "C", "en_US.UTF-8"}}, EXISTS_CP932},
        {{{nullptr, "en_US.UTF-8", "C", "ja_JP.UTF-8"}}, "File already exists.\n\n"},
        {{{nullptr, nullptr, "C", "ja_JP.eucJP"}}, EXISTS_CP932},
        {{{nullptr, "", "C", "ja"}}, EXISTS_CP932},
        {{{nullptr, nullptr, "C", "jam"}}, "File already exists.\n\n"},
        {{{nullptr, nullptr, nullptr, nullptr}}, "File already exists.\n\n"},
    };
    for (const auto& c : cases) {
        const ShellRun run = run_shell("mkdir c:", c.locale);
        EXPECT_EQ(run.errors, c.errors) << (c.locale.values[3] != nullptr ? c.locale.values[3] : "no LANG");
        EXPECT_EQ(run.output, "");
    }
    // Under a Japanese UTF-8 locale the message is in UTF-8, as the
    // console's text is.
    if (locale_is_generated("ja_JP.UTF-8")) {
        const ShellRun run = run_shell("mkdir c:", {{"ja_JP.UTF-8", nullptr, nullptr, nullptr}});
        EXPECT_EQ(run.errors, "ファイルはすでに存在します。\n\n");
    }
    end_prefix(root);
}

// The first mkdir of an installation names the drive alone.
TEST(Mkdir, BareDriveMakesAnEmptyPrefixUsable)
{
    const std::string root = make_temp_dir();
    const std::string prefix = root + "/new prefix";
    setenv("WINEPREFIX", prefix.c_str(), 1);
    for (const char* line : {"mkdir c:", "mkdir c:\\games", "mkdir c:\\games\\yamawyrm"}) {
        const ShellRun run = run_shell(line);
        EXPECT_EQ(run.status, 0) << line;
        EXPECT_EQ(run.output + run.errors, "") << line;
    }
    EXPECT_TRUE(is_folder(prefix + "/drive_c/games/yamawyrm"));
    const ShellRun again = run_shell("mkdir C:");
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.errors, "File already exists.\n\n");
    unsetenv("WINEPREFIX");
    remove_tree(root);
}

TEST(Mkdir, QuotesGroupBlanksIntoOneArgument)
{
    const std::string root = start_prefix();
    const std::string drive_c = root + "/drive_c";
    for (const char* line : {"mkdir \"c:\\my games\"", "mkdir \"c:\\a b\"c", "mkdir c:\\one\tc:\\two",
                             "  md   \"c:\\open quote", "mkdir c:\\\"\"empty\"\"pair"}) {
        const ShellRun run = run_shell(line);
        EXPECT_EQ(run.status, 0) << line;
        EXPECT_EQ(run.output + run.errors, "") << line;
    }
    EXPECT_EQ(entries_of(drive_c),
              (std::set<std::string>{"my games", "a bc", "one", "two", "open quote", "emptypair"}));
    end_prefix(root);
}

TEST(Mkdir, ShiftJisNames)
{
    const std::string root = start_prefix();
    EXPECT_EQ(run_shell(std::string("mkdir c:\\") + SOFT_TABLE_CP932).status, 0);
    EXPECT_EQ(run_shell(std::string("mkdir c:\\") + SOFT_TABLE_CP932 + "\\\xbd\xc4").status, 0);
    EXPECT_TRUE(is_folder(root + "/drive_c/" + SOFT_TABLE_UTF8 + "/ｽﾄ"));
    // ポ ends in the byte of '|', which is no fault there.
    EXPECT_EQ(run_shell("mkdir c:\\\x83\x7c").status, 0);
    EXPECT_TRUE(is_folder(root + "/drive_c/ポ"));
    EXPECT_EQ(run_shell("mkdir c:\\\x80").status, 1);
    end_prefix(root);
}

TEST(BuiltinShell, UnknownCommandsAndEmptyLines)
{
    const std::string unknown = "' as an internal or external command, or batch script.\n";
    // を内部または外部コマンド、バッチ スクリプトとして認識できません。
    const std::string unknown_cp932 =
        " \x82\xf0\x93\xe0\x95\x94\x82\xdc\x82\xbd\x82\xcd\x8a\x4f\x95\x94\x83\x52\x83\x7d\x83\x93\x83\x68\x81\x41"
        "\x83\x6f\x83\x62\x83\x60 \x83\x58\x83\x4e\x83\x8a\x83\x76\x83\x67\x82\xc6\x82\xb5\x82\xc4\x94\x46\x8e\xaf"
        "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42\n";
    const LocaleSetting japanese = {{nullptr, "ja_JP.UTF-8", "C", nullptr}};
    const struct {
        std::string line;
        LocaleSetting locale;
        int status;
        std::string errors;
    } cases[] = {
        {"format c:", C_LOCALE, 1, "Can't recognize 'format c:" + unknown},
        {"\"mkdir\"x c:\\games", C_LOCALE, 1, "Can't recognize '\"mkdir\"x c:\\games" + unknown},
        {" \t cmd /c mkdir x", C_LOCALE, 1, "Can't recognize 'cmd /c mkdir x" + unknown},
        {"format c:", japanese, 1, "format c:" + unknown_cp932},
        {"", C_LOCALE, 0, ""},
        {" \t ", C_LOCALE, 0, ""},
        {"mkdir " + std::string(9000, 'x'), C_LOCALE, 1, "File name is too long.\n"},
    };
    for (const auto& c : cases) {
        const ShellRun run = run_shell(c.line, c.locale);
        EXPECT_EQ(run.status, c.status) << c.line;
        EXPECT_EQ(run.errors, c.errors) << c.line;
        EXPECT_EQ(run.output, "") << c.line;
    }
}

TEST(Write, CopiesTheFileWhenOutputIsNoTerminal)
{
    const std::string root = start_prefix();
    write_file(root + "/drive_c/guide.txt", bytes_of("line one\r\nline two\r\n"));
    ShellRun run = run_shell("write c:\\GUIDE.TXT");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "line one\r\nline two\r\n");
    EXPECT_EQ(run.errors, "");
    run = run_shell("write c:\\absent.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "File not found.\n\n");
    run = run_shell("write c:\\");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "File not found.\n\n");
    run = run_shell("write");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "Argument missing\n");
    end_prefix(root);
}
