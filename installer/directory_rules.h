// installer/directory_rules.h: what an install directory may be, and how
// it goes into the command lines that the installer hands to the command
// interpreter.
//
// A directory is code page 932 bytes; every test walks it character by
// character (shared/sjis.h), so that the second byte of a double-byte
// character is never taken for a backslash, a blank or a quote.
#pragma once

#include <cstddef>

#include "installer/run_state.h"
#include "shared/installed_files.h"

// The guide, which the write command line opens from the install
// directory.
constexpr char WRITE_VERB[] = "write ";
constexpr char GUIDE_FILE[] = "jguide.txt";

// The replace branch's command lines: DELTREE_VERB, the install directory,
// then each of these names or wildcards.
constexpr char DELTREE_VERB[] = "deltree /y ";
constexpr const char* DELETED_FILES[] = {GAME_EXECUTABLE, "recover.exe", "logfile", "record", "*.sav", "bone*.*"};

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

// What the rules say of a directory answer.
enum DirectoryVerdict {
    DIRECTORY_ACCEPTED,
    DIRECTORY_TOO_LONG,       // longer than MAX_INSTALL_DIRECTORY, quotes counted
    DIRECTORY_BAD_CHARACTER,  // a character no path may hold here
    DIRECTORY_BAD_END,        // a folder name ending in a blank or a dot
};

// The line as typed, `length` bytes of it (more than the buffer holds when
// it was cut): one that could not name a folder whatever follows it. A NUL
// byte typed into the line would cut the path short unseen; a lead byte
// without its trail byte is read as one character here and may be read
// otherwise by whatever takes the path next (at the end of the line, it
// would take the backslash appended to it as its second byte); a path that
// the system cannot convert names no folder at all.
DirectoryVerdict judge_typed_directory(const char* line, long length);

// A directory that ends in a backslash, as it will be used: no character
// that Windows forbids in a path, nor % and ! (which the command
// interpreter expands inside double quotes too, so that a deletion could
// reach another folder), no folder name ending in a blank or a dot, and
// short enough for every command line composed from it.
DirectoryVerdict judge_directory(const char* directory);

// Whether the last character of `text` is a backslash; the second byte of
// a double-byte character is never one.
bool ends_in_backslash(const char* text);

// Composes verb + path + tail into the command-line buffer, the path and
// tail in double quotes when the path holds a character that the command
// interpreter treats specially. False, with nothing composed, when the
// line would not fit.
bool compose_command(const char* verb, const char* path, const char* tail);
