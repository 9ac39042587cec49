// tests/host/builtin_shell_test.cpp: the built-in interpreter's mkdir,
// deltree and write, on a temporary prefix.
#include "host/posix/builtin_shell.h"

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
    std::string output;  // what the interpreter printed
};

// Runs one line with standard output captured.
static ShellRun run_shell(const std::string& line)
{
    int status = -1;
    const std::string output = capture_console([&] { status = run_builtin_shell(line.c_str()); });
    return ShellRun{status, output};
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
    const struct {
        const char* line;
        int status;
        const char* output;
    } steps[] = {
        {"mkdir c:\\games", 0, ""},
        {"mkdir c:\\games", 1, "A subdirectory or file c:\\games already exists.\n"},
        {"md C:\\GAMES", 1, "A subdirectory or file C:\\GAMES already exists.\n"},
        {"MKDIR C:\\GAMES\\Yamawyrm", 0, ""},
        {"mkdir c:\\file.txt", 1, "A subdirectory or file c:\\file.txt already exists.\n"},
        {"mkdir c:\\absent\\games", 1, "The system cannot find the path specified.\n"},
        {"mkdir c:\\file.txt\\games", 1, "The system cannot find the path specified.\n"},
        {"mkdir q:\\games", 1, "The system cannot find the path specified.\n"},
        {"mkdir c:\\a*b", 1, "The filename, directory name, or volume label syntax is incorrect.\n"},
        {"mkdir c:\\a:b", 1, "The filename, directory name, or volume label syntax is incorrect.\n"},
        {"mkdir ", 1, "The syntax of the command is incorrect.\n"},
        {"md", 1, "The syntax of the command is incorrect.\n"},
        {"mkdir c:", 1, "A subdirectory or file c: already exists.\n"},
    };
    for (const auto& step : steps) {
        const ShellRun run = run_shell(step.line);
        EXPECT_EQ(run.status, step.status) << step.line;
        EXPECT_EQ(run.output, step.output) << step.line;
    }
    EXPECT_EQ(entries_of(drive_c), (std::set<std::string>{"games", "file.txt"}));
    EXPECT_EQ(entries_of(drive_c + "/games"), std::set<std::string>{"Yamawyrm"});
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
        EXPECT_EQ(run.output, "") << line;
    }
    EXPECT_TRUE(is_folder(prefix + "/drive_c/games/yamawyrm"));
    const ShellRun again = run_shell("mkdir C:");
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.output, "A subdirectory or file C: already exists.\n");
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
        EXPECT_EQ(run.output, "") << line;
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
    const struct {
        std::string line;
        int status;
        const char* output;
    } cases[] = {
        {"format c:", 1, "Bad command or file name\n"},
        {"\"mkdir\"x c:\\games", 1, "Bad command or file name\n"},
        {"cmd /c mkdir x", 1, "Bad command or file name\n"},
        {"", 0, ""},
        {" \t ", 0, ""},
        {"mkdir " + std::string(9000, 'x'), 1, "The command line is too long.\n"},
    };
    for (const auto& c : cases) {
        const ShellRun run = run_shell(c.line);
        EXPECT_EQ(run.status, c.status) << c.line;
        EXPECT_EQ(run.output, c.output) << c.line;
    }
}

TEST(Write, CopiesTheFileWhenOutputIsNoTerminal)
{
    const std::string root = start_prefix();
    write_file(root + "/drive_c/guide.txt", bytes_of("line one\r\nline two\r\n"));
    ShellRun run = run_shell("write c:\\GUIDE.TXT");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "line one\r\nline two\r\n");
    run = run_shell("write c:\\absent.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "The system cannot find the file specified.\n");
    run = run_shell("write c:\\");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "The system cannot find the file specified.\n");
    run = run_shell("write");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "The syntax of the command is incorrect.\n");
    end_prefix(root);
}
