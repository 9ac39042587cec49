// tests/host/posix/console_test.cpp: the console under a UTF-8 locale and
// under the C locale, each case in a process of its own
// (tests/host/posix/console_probe.cpp).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/support/capture.h"
#include "tests/support/test_support.h"

// Waits up to `seconds` for the child; kills it when it takes longer.
// Returns its wait status, or -1 when it had to be killed.
static int wait_for(pid_t child, int seconds)
{
    const time_t limit = time(nullptr) + seconds;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (time(nullptr) > limit) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        usleep(10000);
    }
    return status;
}

// In the child: the locale and the probe's arguments, then exec.
[[noreturn]] static void exec_probe(const char* locale, const std::vector<std::string>& arguments)
{
    setenv("LC_ALL", locale, 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(CONSOLE_PROBE));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(CONSOLE_PROBE, argv.data());
    _exit(127);
}

struct ProbeRun {
    std::string output;  // what the probe wrote to standard output
    std::string report;  // the lines it read, as its report file holds them
    int status;          // its exit code, or -1
};

// Runs the probe with `input` as standard input and standard output going
// to a file.
static ProbeRun run_probe(const char* locale, std::vector<std::string> arguments, const std::string& input = "")
{
    const std::string folder = make_temp_dir();
    const std::string report = folder + "/report";
    write_file(folder + "/input", bytes_of(input));
    if (!arguments.empty() && arguments[0] == "lines")
        arguments.insert(arguments.begin() + 1, report);
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const int in = open((folder + "/input").c_str(), O_RDONLY);
        const int out = open((folder + "/output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        exec_probe(locale, arguments);
    }
    const int status = wait_for(child, 20);
    ProbeRun run = {text_of(read_file(folder + "/output")), text_of(read_file(report)),
                    status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    remove_tree(folder);
    return run;
}

// ソフト表 in code page 932, cut inside its first and its last character.
static const std::vector<std::string> SPLIT_PIECES = {"[\x83", "\x5c\x83\x74\x83\x67\x95", "\x5c]\n"};

TEST(Console, OutputBecomesUtf8UnderUtf8Locale)
{
    std::vector<std::string> arguments = {"lines", "16"};
    arguments.insert(arguments.end(), SPLIT_PIECES.begin(), SPLIT_PIECES.end());
    arguments.push_back("\xb1\xb2 \x80 end\n");
    const ProbeRun run = run_probe("C.UTF-8", arguments);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "[ソフト表]\nｱｲ ? end\n");
}

TEST(Console, OutputPassesUnchangedUnderOtherLocales)
{
    std::vector<std::string> arguments = {"lines", "16"};
    arguments.insert(arguments.end(), SPLIT_PIECES.begin(), SPLIT_PIECES.end());
    arguments.push_back("\xb1\xb2 \x80 end\n");
    for (const char* locale : {"C", "POSIX"}) {
        const ProbeRun run = run_probe(locale, arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, "[\x83\x5c\x83\x74\x83\x67\x95\x5c]\n\xb1\xb2 \x80 end\n") << locale;
    }
}

// The program's last message is often followed by nothing but exit.
TEST(Console, OutputLeftAtExitStillComesOut)
{
    const std::string many(10000, 'x');
    const ProbeRun raw = run_probe("C", {"say", "last words\n", many, "\x83"});
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.output, "last words\n" + many + "\x83");
    // A lead byte with nothing after it cannot be converted.
    const ProbeRun utf8 = run_probe("C.UTF-8", {"say", "last words\n", many, "\x83"});
    EXPECT_EQ(utf8.status, 0);
    EXPECT_EQ(utf8.output, "last words\n" + many + "?");
}

TEST(Console, LinesBecomeCodePage932UnderUtf8Locale)
{
    // A character without a code page 932 form, or bytes that are no UTF-8,
    // refuse their line whole: no name is ever written with a '?' in it.
    const ProbeRun run = run_probe("C.UTF-8", {"lines", "64"},
                                   "ソフト表\r\n"
                                   "c:\\games\\ｱｲ\n"
                                   "\n"
                                   "emoji \xf0\x9f\x98\x80\n"
                                   "\xff broken \xe3\x82\n"
                                   "last line without a line feed");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.report,
              "8 \x83\x5c\x83\x74\x83\x67\x95\x5c\n"
              "11 c:\\games\\\xb1\xb2\n"
              "0 \n"
              "refused\nrefused\n"
              "29 last line without a line feed\n"
              "end\nend\n");
}

TEST(Console, LinesOfAnEucJpLocaleBecomeCodePage932)
{
    if (!locale_is_generated("ja_JP.eucJP"))
        GTEST_SKIP() << "the ja_JP.eucJP locale is not generated here";
    // 山田 and ｱ in EUC-JP; the answer goes out in EUC-JP too.
    const ProbeRun run = run_probe("ja_JP.eucJP", {"lines", "64", "\x8e\x52\x93\x63"}, "\xbb\xb3\xc5\xc4 \x8e\xb1\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.report, "6 \x8e\x52\x93\x63 \xb1\nend\nend\n");
    EXPECT_EQ(run.output, "\xbb\xb3\xc5\xc4");
}

TEST(Console, LinesPassUnchangedUnderOtherLocales)
{
    const ProbeRun run = run_probe("C", {"lines", "64"}, "\x83\x5c\x95\x5c\r\nab\rc\r\n\xe3\x82\xbd\nlast\r");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.report,
              "4 \x83\x5c\x95\x5c\n"
              "4 ab\rc\n"
              "3 \xe3\x82\xbd\n"
              "5 last\r\n"
              "end\nend\n");
}

// The stored part is cut to the capacity; the length is the whole line's.
TEST(Console, LongLinesAreCutButCounted)
{
    for (const char* locale : {"C", "C.UTF-8"}) {
        const ProbeRun run = run_probe(locale, {"lines", "4"}, "abcdefgh\r\nabc\r\nabcd\n\n");
        EXPECT_EQ(run.report, "8 abc\n3 abc\n4 abc\n0 \nend\nend\n") << locale;
    }
}

TEST(Console, EmptyInputEndsAtOnce)
{
    const ProbeRun run = run_probe("C", {"lines", "16"}, "");
    EXPECT_EQ(run.report, "end\nend\n");
}

// The prompt written before a read must reach the user before the read
// waits for the answer, even when standard output is no terminal.
TEST(Console, OutputIsFlushedBeforeEachRead)
{
    const std::string folder = make_temp_dir();
    int to_child[2];
    int from_child[2];
    ASSERT_EQ(pipe(to_child), 0);
    ASSERT_EQ(pipe(from_child), 0);
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        dup2(to_child[0], STDIN_FILENO);
        dup2(from_child[1], STDOUT_FILENO);
        close(to_child[1]);
        close(from_child[0]);
        exec_probe("C", {"lines", folder + "/report", "16", "question -->"});
    }
    close(to_child[0]);
    close(from_child[1]);

    std::string seen;
    pollfd wait_for_prompt = {from_child[0], POLLIN, 0};
    while (seen.size() < 12 && poll(&wait_for_prompt, 1, 10000) == 1) {
        char buffer[64];
        const ssize_t count = read(from_child[0], buffer, sizeof buffer);
        if (count <= 0)
            break;
        seen.append(buffer, static_cast<size_t>(count));
    }
    EXPECT_EQ(seen, "question -->");
    ASSERT_EQ(write(to_child[1], "yes\n", 4), 4);
    close(to_child[1]);
    const int status = wait_for(child, 20);
    close(from_child[0]);
    EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(text_of(read_file(folder + "/report")), "3 yes\nend\nend\n");
    remove_tree(folder);
}

// A terminal's end of input (^D) comes once; the read after it must not wait
// for more.
TEST(Console, NoReadWaitsAfterTerminalEndOfInput)
{
    const std::string folder = make_temp_dir();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const int out = open((folder + "/output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(terminal, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        close(master);
        exec_probe("C", {"lines", folder + "/report", "16"});
    }
    close(terminal);
    ASSERT_EQ(write(master, "abc\n\x04", 5), 5);
    const int status = wait_for(child, 10);
    close(master);
    EXPECT_NE(status, -1) << "the probe waited for input after its end";
    EXPECT_EQ(text_of(read_file(folder + "/report")), "3 abc\nend\nend\n");
    remove_tree(folder);
}

// `write` on a terminal goes through $PAGER, in the terminal's character
// set; here the pager is a shell line that keeps what it is given.
static std::string paged(const char* locale, const std::string& guide)
{
    const std::string folder = make_temp_dir();
    mkdir((folder + "/drive_c").c_str(), 0777);
    write_file(folder + "/drive_c/jguide.txt", bytes_of(guide));
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        dup2(terminal, STDOUT_FILENO);
        close(master);
        setenv("WINEPREFIX", folder.c_str(), 1);
        setenv("PAGER", ("cat > '" + folder + "/paged'").c_str(), 1);
        exec_probe(locale, {"shell", "write C:\\JGUIDE.TXT"});
    }
    close(terminal);
    const int status = wait_for(child, 20);
    close(master);
    EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string result = text_of(read_file(folder + "/paged"));
    remove_tree(folder);
    return result;
}

TEST(Console, WriteShowsFileThroughPagerOnTerminal)
{
    const std::string guide = std::string("\x83\x4b\x83\x43\x83\x68\r\n", 8) + std::string(3000, '\xb1') + "\r\n";
    EXPECT_EQ(paged("C.UTF-8", guide), "ガイド\r\n" + [] {
        std::string katakana;
        for (int i = 0; i < 3000; i++)
            katakana += "ｱ";
        return katakana;
    }() + "\r\n");
    EXPECT_EQ(paged("C", guide), guide);
}

// Off a terminal, `write` puts the file on the console, converted as the
// console converts.
TEST(Console, WriteCopiesFileToOutputOffTerminal)
{
    const std::string folder = make_temp_dir();
    mkdir((folder + "/drive_c").c_str(), 0777);
    write_file(folder + "/drive_c/jguide.txt", bytes_of("\x83\x4b\x83\x43\x83\x68\r\nok\r\n"));
    setenv("WINEPREFIX", folder.c_str(), 1);
    setenv("PAGER", "false", 1);
    const ProbeRun utf8 = run_probe("C.UTF-8", {"shell", "write c:\\jguide.txt"});
    const ProbeRun raw = run_probe("C", {"shell", "write \"c:\\jguide.txt\""});
    unsetenv("PAGER");
    unsetenv("WINEPREFIX");
    EXPECT_EQ(utf8.status, 0);
    EXPECT_EQ(utf8.output, "ガイド\r\nok\r\n");
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.output, "\x83\x4b\x83\x43\x83\x68\r\nok\r\n");
    remove_tree(folder);
}
