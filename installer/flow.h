// installer/flow.h: the installer's dialogue from banner to exit code.
#pragma once

// Runs the whole dialogue and ends the process: exit code 0 at the normal
// end, 1 when the user refuses to replace an earlier installation or the
// archive cannot be opened. Does not return.
[[noreturn]] void run_installer();

// Hands one command line to the command interpreter once everything written
// so far is on the screen, and waits for it; returns its exit status.
int run_command(const char* line);
