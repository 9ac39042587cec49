// packer/report.h: the one way the packer writes a line, and the one way
// it reports a refusal or a failure: one line on standard error,
// "ymw-pack: " and the text.
#pragma once

#include <cstdio>

// Writes one line (`format` ends in "\n") to `stream`, each control
// character in it (C0, DEL, C1) and each byte that is no part of a UTF-8
// character shown as \xHH: a name read from an archive or a folder can
// neither move the terminal's cursor, set its title, nor begin a line of
// its own.
void pack_print(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The line of a refusal or a failure, without its "\n", after everything
// written to standard output before it.
void pack_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The line of a call of the system that failed: what could not be done to
// which file, and the system's reason (host/packer_files.h). Called at
// once after the failure.
void pack_system_failure(const char* action, const char* what);
