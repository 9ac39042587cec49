// host/posix/console.cpp: the console on a POSIX terminal or pipe.
//
// Under a UTF-8 locale the program's code page 932 text is converted on its
// way out and the user's UTF-8 lines on their way in; under any other
// locale the bytes pass unchanged, as the Windows console passes them.
//
// State:
//   console_ready  console_open has run (every entry point runs it first).
//   converting     the user's locale is UTF-8, decided once by console_open.
//   output_stream  a lead byte that ended the last write, waiting for the
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

#include "host/posix/codepage.h"

constexpr size_t OUTPUT_BUFFER_SIZE = 4096;
// Bytes of one UTF-8 character at most.
constexpr size_t UTF8_CHARACTER_SIZE = 4;
// Bytes of one code page 932 character at most, and a NUL.
constexpr size_t CP932_CHARACTER_SIZE = 3;

static bool console_ready;
static bool converting;
static Cp932Stream output_stream;
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
    if (output_stream.holding)
        put_output("?", 1);
    output_stream.holding = false;
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
    converting = user_charset_is_utf8();
    atexit(flush_at_exit);
}

void console_write(const char* bytes, size_t count)
{
    console_open();
    if (!converting) {
        put_output(bytes, count);
        return;
    }
    char utf8[UTF8_PIECE_SIZE];
    while (count > 0) {
        const size_t piece = count < CP932_PIECE_SIZE ? count : CP932_PIECE_SIZE;
        put_output(utf8, cp932_stream_to_utf8(output_stream, bytes, piece, utf8));
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

// A line being read: the bytes stored so far, and the length as typed.
struct LineRead {
    char* line;
    size_t capacity;
    size_t stored;
    size_t length;
    bool last_was_cr;
};

static void take_byte(LineRead& read, char byte)
{
    if (read.stored + 1 < read.capacity)
        read.line[read.stored++] = byte;
    read.length++;
    read.last_was_cr = byte == '\r';
}

// One UTF-8 character of the user's line, given to the program as code
// page 932; a character that has no code page 932 form, or broken UTF-8,
// gives one '?'.
static void take_utf8_character(LineRead& read, const char* character, size_t count)
{
    char cp932[CP932_CHARACTER_SIZE];
    const long stored = utf8_to_cp932(character, count, cp932, sizeof cp932, true);
    if (stored <= 0) {
        take_byte(read, '?');
        return;
    }
    for (long i = 0; i < stored; i++)
        take_byte(read, cp932[i]);
}

// How many bytes the UTF-8 character that begins with `lead` has; 0 when
// `lead` cannot begin one.
static size_t utf8_length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

long console_read_line(char* line, size_t capacity)
{
    console_flush();
    if (input_ended)
        return -1;

    LineRead read = {line, capacity, 0, 0, false};
    char character[UTF8_CHARACTER_SIZE];
    size_t have = 0;  // bytes of an unfinished UTF-8 character
    size_t want = 0;  // bytes that character needs
    bool any = false;
    int c;
    while ((c = getchar()) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (!converting) {
            take_byte(read, static_cast<char>(c));
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (have > 0) {
            if ((byte & 0xC0) == 0x80) {
                character[have++] = static_cast<char>(byte);
                if (have == want) {
                    take_utf8_character(read, character, have);
                    have = 0;
                }
                continue;
            }
            take_byte(read, '?');
            have = 0;
        }
        want = utf8_length(byte);
        if (want == 1) {
            take_byte(read, static_cast<char>(byte));
        } else if (want == 0) {
            take_byte(read, '?');
        } else {
            character[0] = static_cast<char>(byte);
            have = 1;
        }
    }
    if (c == EOF) {
        input_ended = true;
        if (!any)
            return -1;
    }
    if (have > 0)
        take_byte(read, '?');
    if (c == '\n' && read.last_was_cr) {
        if (read.stored == read.length)
            read.stored--;
        read.length--;
    }
    if (capacity > 0)
        line[read.stored] = '\0';
    return static_cast<long>(read.length);
}
