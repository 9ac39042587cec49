// host/portable/command_words.h: a command line taken apart into words, the way
// the Windows command interpreter reads the lines the installer gives it.
//
// Blanks and tabs separate words; a pair of double quotes groups blanks
// into one word and is itself dropped. The line is walked character by
// character (shared/sjis.h); neither a blank, a tab nor a double quote is
// ever the second byte of a character, not even after a lone lead byte.
#pragma once

#include <cstddef>

// The Windows command interpreter takes lines of up to 8191 bytes.
constexpr size_t COMMAND_LINE_LIMIT = 8192;
constexpr size_t MAX_COMMAND_WORDS = 64;

// The words of one line. Each word points into `text`, where it is followed
// by a NUL.
struct CommandWords {
    char* words[MAX_COMMAND_WORDS];
    size_t count;
    char text[COMMAND_LINE_LIMIT];
};

// Fills `out` from `line`; false when the line has too many words or bytes.
bool split_command_line(const char* line, CommandWords& out);
