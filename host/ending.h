// host/ending.h: how an interrupt ends the program.
//
// The interrupts: on Windows a console's Ctrl+C and Ctrl+Break, its window
// closed, the user logging off and the system shutting down; on POSIX the
// signals SIGINT, SIGTERM, SIGHUP and SIGQUIT, and SIGPIPE where the
// program has not taken that one itself. (SIGKILL and a crash cannot be
// caught: on POSIX a file being written has no name until it is complete,
// where the system allows, and goes with the process.) A signal that was ignored when the program
// started (nohup, a background job) stays ignored.
//
// An interrupt removes every file being written (host/files.h), so that no
// file is left half written and no new file stays beside its path; then it
// shows the line given here, when there is one, and ends the process: on
// POSIX by the signal itself, as shells expect of an interrupted program,
// on Windows with the exit code given here.
#pragma once

// Takes the interrupts from now on, and from now on a write past a file
// size limit (ulimit -f) fails instead of ending the program. `line` (code
// page 932, shown on standard output after a line feed, as the console
// shows text; null for none) must live until the program ends. A later
// call replaces the line and the exit code.
void end_on_interrupt(int exit_code, const char* line);
