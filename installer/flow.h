// installer/flow.h: the installer's dialogue from banner to exit code.
#pragma once

#include <cstddef>

#include "shared/buffers.h"

// Runs the whole dialogue and ends the process: exit code 0 at the normal
// end, 1 when the user refuses to replace an earlier installation or the
// archive cannot be opened. Does not return.
[[noreturn]] void run_installer();

// The guide, which the write command line opens from the install
// directory.
constexpr char WRITE_VERB[] = "write ";
constexpr char GUIDE_FILE[] = "jguide.txt";

// The replace branch's command lines: DELTREE_VERB, the install directory,
// then each of these names or wildcards.
constexpr char DELTREE_VERB[] = "deltree /y ";
constexpr const char* DELETED_FILES[] = {"yamawyrm.exe", "recover.exe", "logfile", "record", "*.sav", "bone*.*"};

constexpr size_t longest_deleted_file()
{
    size_t longest = 0;
    for (const char* name : DELETED_FILES) {
        size_t length = 0;
        while (name[length] != '\0')
            length++;
        longest = length > longest ? length : longest;
    }
    return longest;
}

// The longest install directory accepted, with the quotes it may need: the
// longest command line composed from it, a deltree line, must still fit
// the command-line buffer. The mkdir and write lines are shorter.
constexpr size_t MAX_INSTALL_DIRECTORY = LINE_SIZE - 1 - (sizeof DELTREE_VERB - 1) - longest_deleted_file();
static_assert(MAX_INSTALL_DIRECTORY == 232, "\"deltree /y %syamawyrm.exe\" adds 23 bytes to the directory");
static_assert(sizeof WRITE_VERB - 1 + sizeof GUIDE_FILE - 1 <= sizeof DELTREE_VERB - 1 + longest_deleted_file(),
              "the guide's write line is shorter");

// Runs one "mkdir" command line for every backslash in `path`, naming the
// part of the path before it: for c:\games\ the levels c: and c:\games.
// The second byte of a Shift_JIS double-byte character is never taken for a
// backslash.
void make_dirs(const char* path);

// Hands one command line to the command interpreter once everything written
// so far is on the screen, and waits for it; returns its exit status.
int run_command(const char* line);
