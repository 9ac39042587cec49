// host/packer_files.h: the files that the packer reads and the archives it
// writes, named as the system's command line names them. Paths here are
// UTF-8 on both systems: the POSIX host takes them as they are, the Windows
// host converts them to and from UTF-16 at every call, so that no name
// depends on the system's ANSI code page.
#pragma once

#include <cstdint>
#include <cstdio>

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
