// host/console.h: the console, the program's one channel to the user.
//
// Everything above the host layer speaks code page 932 (Shift_JIS) bytes.
// Output written here reaches the user before the next line is read and
// before the next command line runs. Input arrives one whole line at a time.
#pragma once

#include <cstdarg>
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
void console_vprintf(const char* format, va_list arguments);

// Puts everything written so far on the screen.
void console_flush();

// Reads one line from standard input, without its line feed and without a
// carriage return right before it. At most capacity - 1 bytes are stored,
// then a NUL. Returns the length of the whole line as typed (which may be
// larger than what was stored), or -1 at the end of input, when nothing is
// stored and `line` is left as it was, or CONSOLE_LINE_UNCONVERTIBLE when
// the line was typed in another character set and holds a character that
// has no code page 932 form (what `line` holds then is not to be used).
// Flushes the output first.
constexpr long CONSOLE_LINE_UNCONVERTIBLE = -2;
long console_read_line(char* line, size_t capacity);

// Clears the screen and puts the cursor at its top left: on a Windows
// console through the console's own calls, elsewhere (a terminal, a pipe,
// a file) with the four bytes ESC [ 2 J.
constexpr char CLEAR_SCREEN_SEQUENCE[] = "\x1b[2J";
void console_clear_screen();

// The one way the run ends: everything written is shown, then the process
// ends with `exit_code`. With a `prompt` (a message that ends the run
// early): where the console window was opened for this program alone
// (started by a double click or by start, with no shell sharing it), the
// window would close with the message, so there `prompt` is shown first
// and one line is read. Elsewhere (a pipe, a console shared with a shell,
// every POSIX terminal) the process ends at once.
[[noreturn]] void console_end_run(int exit_code, const char* prompt);
