// host/packer_files.h: the files that the packer reads and the archives it
// writes, named as the system's command line names them. Paths here are
// UTF-8 on both systems: the POSIX host takes them as they are, the Windows
// host converts them to and from UTF-16 at every call, so that no name
// depends on the system's ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What became of the program's arguments.
enum SourceArguments {
    ARGUMENTS_TAKEN,
    ARGUMENTS_UNMATCHED,  // a pattern matched no name
    ARGUMENTS_TOO_MANY,   // a pattern matched more names than there is room for
};

// Replaces the program's arguments by their UTF-8 form. The strings live
// until the program ends. On POSIX, whose shell has expanded any pattern,
// it also opens /dev/null for a closed standard stream. On Windows they are
// taken from the wide command line, and an argument whose last component
// holds * or ? is replaced by the paths of the names it matches, sorted,
// as Windows programs expand their own arguments; a standard output or
// standard error that is a console gets their UTF-8 text written in the
// console's characters (WriteConsoleW). A result other than
// ARGUMENTS_TAKEN leaves the arguments as they were and points `pattern`
// at the pattern, in UTF-8.
SourceArguments take_source_arguments(int* argc, char*** argv, const char** pattern);

// The last name of a path (after its last separator), "" when it ends in
// one.
const char* source_base_name(const char* path);

enum SourceKind { SOURCE_ABSENT, SOURCE_FILE, SOURCE_FOLDER, SOURCE_OTHER };

// What stands at a path, links followed. `volume` and `index` are the same
// for two paths of one file, and differ for two files.
struct SourceInfo {
    SourceKind kind;
    uint64_t volume;
    uint64_t index;
    uint64_t size;
    int64_t modified;  // seconds since 1970-01-01 00:00 UTC
};

SourceInfo look_at_source(const char* path);
// What an open file is.
SourceInfo look_at_open_file(FILE* file);

// Opens a regular file for reading, without blocking on anything else at
// the path (a FIFO, a device), and fills `info` from the open file. Returns
// nullptr, with info->kind telling what stood there (SOURCE_ABSENT when it
// could not be opened at all), for anything but a regular file.
FILE* open_source_file(const char* path, SourceInfo* info);

// The names in a folder, "." and ".." left out, one folder at a time: each
// call of next_source_name returns the next name (UTF-8; valid until the
// next call), or nullptr at the end.
bool open_source_folder(const char* path);
const char* next_source_name();
void close_source_folder();

// The name as Windows names files: code page 932 in `out` (capacity bytes,
// NUL included), only where it reads back as the same name. A name that
// does not convert as it is converts composed (Unicode NFC), if it can:
// one that a system stored decomposed (か and U+3099 for が) is the
// member name typed composed, while one that converts as it is keeps its
// characters (U+212B, U+FA10), which composing would change. Returns the
// bytes stored, or -1.
long source_name_to_cp932(const char* name, char* out, size_t capacity);

// The reverse, for showing a member's name: code page 932 bytes to UTF-8,
// a byte sequence that is not code page 932 shown as '?'. Returns the bytes
// stored, or -1 when they do not fit.
long cp932_to_source_name(const char* text, size_t length, char* out, size_t capacity);

// Room for a name's case key: one unit per character, and a 0.
constexpr size_t NAME_KEY_SIZE = 256;

// The key of a code page 932 name under which Windows finds the file: its
// letters folded as Windows folds them in file names, across Unicode
// (fullwidth and Greek letters as well as ASCII). Two names of one folder
// name the same file when their keys are equal. Returns false when the name
// is not code page 932 or longer than the key's room.
bool windows_name_key(const char* name, uint16_t key[NAME_KEY_SIZE]);

// The system's own words for why the call that failed last did, for the
// failure's line: the text of errno on POSIX; on Windows the system's
// message for GetLastError (errno's text where that is 0), in UTF-8. Call
// it at once after the failure, before anything else that may fail.
const char* system_failure_reason();

// The archive being written, as every file is written: a new file created
// beside `archive` under a name that nothing had (so never through a
// link), which finish_file (host/files.h) moves over `archive` (a link
// there is replaced itself, not written through) and discard_file
// removes. An interrupt (host/ending.h) removes it too. Returns nullptr,
// with errno set, when it cannot be created, or when what stands at
// `archive` is neither a file nor a link.
FILE* create_archive_file(const char* archive);
