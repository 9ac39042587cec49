// host/command.h: the system command interpreter.
#pragma once

// Hands one command line (code page 932 bytes) to the command interpreter
// and waits for it to end. The interpreter is the program that COMSPEC
// names, started with the two arguments "/c" and the command line; when
// COMSPEC is not set, or that program cannot be started, the platform's own
// interpreter runs the line. Returns the interpreter's exit status.
int run_interpreter(const char* command_line);
