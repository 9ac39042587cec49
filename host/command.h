// host/command.h: the system command interpreter.
#pragma once

// Hands one command line (code page 932 bytes) to the command interpreter
// and waits for it to end. The interpreter is the program that COMSPEC
// names, started with the two arguments "/c" and the command line; when
// COMSPEC is not set, or that program cannot be started, the platform's own
// interpreter runs the line. Returns the interpreter's exit status.
int run_interpreter(const char* command_line);

// Opens the document at `path` (code page 932) for the user to read.
// `command_line` is the command line that opens it ("write <path>"), run
// as run_interpreter runs it wherever the interpreter finds the program
// that the line's first word names; where it does not (Windows 11 24H2
// and later have no write), the document opens with the program that the
// system keeps for its kind of file, as the shell's "open" does. False
// when it could not be opened that way either; what the command line does
// is the interpreter's to show.
bool open_document(const char* command_line, const char* path);
