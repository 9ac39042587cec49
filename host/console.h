// host/console.h: the console, the program's one channel to the user.
//
// Everything above the host layer speaks code page 932 (Shift_JIS) bytes.
// Output written here reaches the user before the next line is read and
// before the next command line runs. Input arrives one whole line at a time.
#pragma once

#include <cstddef>

// Prepares the console once, before anything is written.
//
// A standard output that fails (a pipe whose reader has gone, a full disk)
// never ends or stops the program: from the first failed write on, output
// is dropped and the run goes on to its normal end. On POSIX, console_open
// makes SIGPIPE harmless for the process (its default stays for the
// programs that it starts).
void console_open();

// Writes `count` bytes of code page 932 text to standard output.
void console_write(const char* bytes, size_t count);

// Writes a NUL-terminated string.
void console_print(const char* text);

// Formats like printf into a fixed buffer of CONSOLE_FORMAT_SIZE bytes and
// writes the result; longer results are cut at that size.
constexpr size_t CONSOLE_FORMAT_SIZE = 1024;
void console_printf(const char* format, ...);

// Puts everything written so far on the screen.
void console_flush();

// Reads one line from standard input, without its line feed and without a
// carriage return right before it. At most capacity - 1 bytes are stored,
// then a NUL. Returns the length of the whole line as typed (which may be
// larger than what was stored), or -1 at the end of input, when nothing is
// stored and `line` is left as it was. Flushes the output first.
long console_read_line(char* line, size_t capacity);
