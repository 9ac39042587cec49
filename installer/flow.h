// installer/flow.h: the installer's dialogue from banner to exit code.
#pragma once

#include <cstddef>

#include "installer/run_state.h"

// Runs the whole dialogue and ends the process: exit code 0 at the normal
// end, 1 when the user refuses to replace an earlier installation or the
// archive cannot be opened. Does not return.
[[noreturn]] void run_installer();

// Runs one "mkdir" command line for every backslash in `path`, naming the
// part of the path before it: for c:\games\ the levels c: and c:\games.
// The second byte of a Shift_JIS double-byte character is never taken for a
// backslash.
void make_dirs(const char* path);

// Hands one command line to the command interpreter once everything written
// so far is on the screen (the host puts it there first), and waits for it;
// returns its exit status.
int run_command(const char* line);
