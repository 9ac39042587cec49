// host/posix/console.cpp: the console on a POSIX terminal or pipe.
//
// The program's code page 932 text is converted on its way out to the
// character set of the user's locale (UTF-8, EUC-JP, ...), and the user's
// lines on their way in; under the C and POSIX locales and a Shift_JIS
// locale the bytes pass unchanged, as the Windows console passes them.
//
// State:
//   console_ready  console_open has run (every entry point runs it first).
//   converting     the user's locale needs converting, decided once by
//                  console_open.
//   output_pieces  a lead byte that ended the last write, waiting for the
//                  byte that completes its character.
//   output_buffer  bytes written and not yet handed to standard output;
//   output_fill    how many. console_flush empties it, before every read
//                  and every command.
//   input_ended    standard input has ended; no read is tried again, so a
//                  terminal that gave its end-of-file never blocks a read.
//   output_lost    a write to standard output failed (a reader that went
//                  away, a full disk): nothing more is written, and the run
//                  goes on as with a closed standard output.
#include "host/console.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/portable/console_line.h"
#include "host/posix/codepage.h"

constexpr size_t OUTPUT_BUFFER_SIZE = 4096;
// A line typed in the user's character set is converted whole; a longer
// one is too long for any answer and only counted.
constexpr size_t TYPED_LINE_SIZE = 4096;

static bool console_ready;
static bool converting;
static SjisPieces output_pieces;
static char output_buffer[OUTPUT_BUFFER_SIZE];
static size_t output_fill;
static bool input_ended;
static bool output_lost;

static void write_stdout(const char* bytes, size_t count)
{
    if (!output_lost && count > 0 && fwrite(bytes, 1, count, stdout) != count)
        output_lost = true;
}

static void empty_output_buffer()
{
    write_stdout(output_buffer, output_fill);
    output_fill = 0;
}

static void put_output(const char* bytes, size_t count)
{
    if (output_fill + count > sizeof output_buffer)
        empty_output_buffer();
    if (count > sizeof output_buffer) {
        write_stdout(bytes, count);
        return;
    }
    memcpy(output_buffer + output_fill, bytes, count);
    output_fill += count;
}

// The program ends through exit, often right after its last message. A
// lead byte still waiting will never be completed: it is shown as what it
// is, a sequence that cannot be converted.
static void flush_at_exit()
{
    if (output_pieces.holding)
        put_output("?", 1);
    output_pieces.holding = false;
    empty_output_buffer();
}

// SIGPIPE is caught, not ignored: a write to a pipe whose reader has gone
// then fails with EPIPE instead of ending the program, and the programs
// that the installer starts still get the usual SIGPIPE, since a caught
// signal is reset to its default by exec.
static void on_broken_pipe(int) {}

void console_open()
{
    if (console_ready)
        return;
    console_ready = true;
    struct sigaction catcher = {};
    catcher.sa_handler = on_broken_pipe;
    catcher.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &catcher, nullptr);
    converting = user_console_charset();
    atexit(flush_at_exit);
}

void console_write(const char* bytes, size_t count)
{
    console_open();
    if (!converting) {
        put_output(bytes, count);
        return;
    }
    char converted[CONVERTED_PIECE_SIZE];
    while (count > 0) {
        const size_t piece = count < CP932_PIECE_SIZE ? count : CP932_PIECE_SIZE;
        put_output(converted, cp932_piece_to_user(output_pieces, bytes, piece, converted));
        bytes += piece;
        count -= piece;
    }
}

void console_print(const char* text)
{
    console_write(text, strlen(text));
}

void console_flush()
{
    console_open();
    empty_output_buffer();
    if (!output_lost && fflush(stdout) != 0)
        output_lost = true;
}

void console_clear_screen()
{
    console_print(CLEAR_SCREEN_SEQUENCE);
}

[[noreturn]] void console_end_run(int exit_code, const char*)
{
    // A terminal belongs to the shell that started the program.
    console_flush();
    exit(exit_code);
}

// Hands a line typed in the user's character set (`typed`, `length` bytes,
// all of it when `whole`) to the program in code page 932. False when it
// holds a character without a code page 932 form.
static bool take_typed_line(ConsoleLine& read, const char* typed, size_t length, bool whole)
{
    static char converted[TYPED_LINE_SIZE];
    if (!whole) {
        // Too long for any answer: its length is all that counts.
        read.length = length;
        return true;
    }
    const long stored = user_to_cp932(typed, length, converted, sizeof converted);
    if (stored < 0)
        return false;
    for (long i = 0; i < stored; i++)
        take_console_byte(read, converted[i]);
    return true;
}

long console_read_line(char* line, size_t capacity)
{
    static char typed[TYPED_LINE_SIZE];
    console_flush();
    if (input_ended)
        return -1;

    ConsoleLine read;
    start_console_line(read, line, capacity);
    size_t typed_length = 0;  // bytes typed, when converting
    bool any = false;
    int c;
    while ((c = getchar()) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (!converting)
            take_console_byte(read, static_cast<char>(c));
        else if (typed_length++ < sizeof typed)
            typed[typed_length - 1] = static_cast<char>(c);
    }
    if (c == EOF) {
        input_ended = true;
        if (!any)
            return -1;
    }
    // A line typed in another character set is converted whole, the
    // carriage return before its feed included, and ends as any other.
    if (converting && !take_typed_line(read, typed, typed_length, typed_length <= sizeof typed))
        return CONSOLE_LINE_UNCONVERTIBLE;
    return end_console_line(read, c == '\n');
}
