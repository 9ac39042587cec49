// tests/host/posix/command_test.cpp: run_interpreter with and without COMSPEC.
#include "host/command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/console.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

// A COMSPEC program that records its arguments, one to a line, prints a
// mark on standard output and exits with status 3.
static std::string make_recorder(const std::string& folder)
{
    const std::string path = folder + "/recorder";
    write_file(path, bytes_of("#!/bin/sh\n"
                              "printf '%s\\n' \"$#\" \"$@\" > '" + folder + "/record'\n"
                              "printf 'child|'\n"
                              "exit 3\n"));
    chmod(path.c_str(), 0755);
    return path;
}

TEST(RunInterpreter, ComspecGetsSlashCAndTheLine)
{
    const std::string root = start_prefix();
    setenv("COMSPEC", make_recorder(root).c_str(), 1);
    const std::string line = "mkdir \"c:\\my games\\\x83\x5c\x95\x5c\"";
    EXPECT_EQ(run_interpreter(line.c_str()), 3);
    EXPECT_EQ(text_of(read_file(root + "/record")), "2\n/c\n" + line + "\n");
    // The built-in interpreter did not run as well.
    EXPECT_FALSE(file_exists(root + "/drive_c/my games"));
    unsetenv("COMSPEC");
    end_prefix(root);
}

// Everything written before a command is out before the command writes,
// on standard output or, as the built-in interpreter's complaints, on
// standard error (captured here into the same file).
TEST(RunInterpreter, OutputComesOutInOrder)
{
    const std::string root = start_prefix();
    setenv("COMSPEC", make_recorder(root).c_str(), 1);
    const char* saved_locale = getenv("LC_ALL");
    const std::string saved_value = saved_locale != nullptr ? saved_locale : "";
    setenv("LC_ALL", "C", 1);
    const std::string printed = capture_console([] {
        const int saved_errors = dup(2);
        dup2(1, 2);
        console_print("before|");
        run_interpreter("deltree /y c:\\x");
        console_print("between|");
        unsetenv("COMSPEC");
        run_interpreter("nonsense");
        console_print("after");
        console_flush();
        dup2(saved_errors, 2);
        close(saved_errors);
    });
    EXPECT_EQ(printed, "before|child|between|Can't recognize 'nonsense' as an internal or external command, "
                       "or batch script.\nafter");
    if (saved_locale != nullptr)
        setenv("LC_ALL", saved_value.c_str(), 1);
    else
        unsetenv("LC_ALL");
    end_prefix(root);
}

// A COMSPEC that cannot be started (a Windows path, a missing or
// unexecutable program, an empty value) leaves the line to the built-in
// interpreter.
TEST(RunInterpreter, FallsBackToBuiltinInterpreter)
{
    const std::string root = start_prefix();
    write_file(root + "/not-executable", bytes_of("#!/bin/sh\nexit 5\n"));
    chmod((root + "/not-executable").c_str(), 0644);
    const std::string comspecs[] = {
        "C:\\windows\\system32\\cmd.exe",
        root + "/absent",
        root + "/not-executable",
        "",
    };
    int made = 0;
    for (const std::string& comspec : comspecs) {
        setenv("COMSPEC", comspec.c_str(), 1);
        const std::string folder = "made" + std::to_string(made++);
        EXPECT_EQ(run_interpreter(("mkdir c:\\" + folder).c_str()), 0) << comspec;
        EXPECT_TRUE(file_exists(root + "/drive_c/" + folder)) << comspec;
    }
    unsetenv("COMSPEC");
    EXPECT_EQ(run_interpreter("mkdir c:\\unset"), 0);
    EXPECT_TRUE(file_exists(root + "/drive_c/unset"));
    end_prefix(root);
}
