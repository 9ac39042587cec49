// host/packer_arguments.h: the packer's arguments, in UTF-8 on both
// systems, patterns expanded where the system leaves that to the program.
#pragma once

// What became of the program's arguments.
enum SourceArguments {
    ARGUMENTS_TAKEN,
    ARGUMENTS_UNMATCHED,  // a pattern matched no name
    ARGUMENTS_TOO_MANY,   // a pattern matched more names than there is room for
};

// Replaces the program's arguments by their UTF-8 form. The strings live
// until the program ends. On POSIX, whose shell has expanded any pattern,
// they stay as they are. On Windows they are taken from the wide command
// line, and an argument whose last name holds * or ? is replaced by the
// paths of the names it matches, sorted, as Windows programs expand their
// own arguments. A result other than ARGUMENTS_TAKEN leaves the arguments
// as they were and points `pattern` at the pattern, in UTF-8.
SourceArguments take_source_arguments(int* argc, char*** argv, const char** pattern);
