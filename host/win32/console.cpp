// host/win32/console.cpp: the console on Windows, through the kernel's own
// handles rather than the C runtime, which splits Shift_JIS characters.
//
// Bytes go out with WriteFile, each line feed as CR LF, and lines come in
// with ReadFile. Where a standard handle is a real console whose code page
// is not 932, the text is converted there: out through
// MultiByteToWideChar(932) and WriteConsoleW, in through ReadConsoleW and
// WideCharToMultiByte(932), so that a console of any code page shows the
// questions and a typed Japanese name arrives as code page 932; a line
// with a character that has no code page 932 form is refused whole. Pipes
// and files always get the raw bytes.
//
// A console is cleared through its own calls, since consoles before
// Windows 10, and Wine's console window, show an escape sequence as text.
// Where the console window was opened for this program alone (a double
// click, start), an early end waits for the Return key, so that its
// message can be read before the window closes.
//
// State:
//   console_ready    console_open has run (every entry point runs it first).
//   output_handle    standard output, or null when there is none.
//   output_console   the output handle is a console.
//   wide_output      the output handle is a console that is not code page
//                    932: its text goes through WriteConsoleW.
//   input_handle     standard input, or null.
//   input_console    the input handle is a console.
//   wide_input       the same for input, through ReadConsoleW.
//   input_refused    a character read through ReadConsoleW had no code
//                    page 932 form: the line it belongs to is refused.
//   output_buffer    bytes written and not yet handed on, line feeds made
//   output_fill      CR LF already; console_flush empties it, before every
//                    read and every command.
//   output_pieces    a lead byte that ended the last flush of wide output,
//                    waiting for the byte that completes its character.
//   input_buffer     bytes read and not yet taken by a line, code page
//   input_next       932; input_next..input_end are still to be taken.
//   input_end
//   input_ended      standard input has ended or failed; no read is tried
//                    again.
//   output_failed    a write to standard output failed (its reader went
//                    away, a full disk): the rest of the output is dropped
//                    and the run goes on.
#include "host/console.h"

#include <cstdlib>
#include <cstring>

#include "host/portable/console_line.h"
#include "host/win32/kernel/base.h"
#include "shared/sjis.h"

constexpr size_t OUTPUT_BUFFER_SIZE = 4096;
constexpr size_t INPUT_BUFFER_SIZE = 4096;
// UTF-16 units read from a console at a time. Each becomes at most two
// bytes of code page 932, so a read always fits the input buffer.
constexpr size_t WIDE_INPUT_UNITS = 1024;
static_assert(2 * WIDE_INPUT_UNITS <= INPUT_BUFFER_SIZE, "a console read must fit the input buffer");
// Bytes of the line read before an early end; what it holds is not looked
// at.
constexpr size_t LAST_LINE_SIZE = 256;

using ProcessListFunction = DWORD(WINAPI*)(LPDWORD, DWORD);

static bool console_ready;
static HANDLE output_handle;
static bool output_console;
static bool wide_output;
static HANDLE input_handle;
static bool input_console;
static bool wide_input;
static bool input_refused;
static char output_buffer[OUTPUT_BUFFER_SIZE];
static size_t output_fill;
static SjisPieces output_pieces;
static char input_buffer[INPUT_BUFFER_SIZE];
static size_t input_next;
static size_t input_end;
static bool input_ended;
static bool output_failed;

static HANDLE standard_handle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

static bool is_console(HANDLE handle)
{
    DWORD mode;
    return handle != nullptr && GetConsoleMode(handle, &mode);
}

// Whether a console of `code_page` needs the text converted. A code page
// 932 console, and any console where 932 cannot be converted, takes the
// bytes as they are.
static bool needs_wide(UINT code_page)
{
    return code_page != CODE_PAGE_932 && IsValidCodePage(CODE_PAGE_932) != 0;
}

void console_open()
{
    if (console_ready)
        return;
    console_ready = true;
    output_handle = standard_handle(STD_OUTPUT_HANDLE);
    input_handle = standard_handle(STD_INPUT_HANDLE);
    output_console = is_console(output_handle);
    input_console = is_console(input_handle);
    wide_output = output_console && needs_wide(GetConsoleOutputCP());
    wide_input = input_console && needs_wide(GetConsoleCP());
    atexit(console_flush);
}

// Hands `count` bytes to the output handle as they are. A failed write (a
// reader that went away) loses the rest of the output and nothing else.
static void write_raw(const char* bytes, size_t count)
{
    while (count > 0 && output_handle != nullptr && !output_failed) {
        DWORD written = 0;
        if (!WriteFile(output_handle, bytes, static_cast<DWORD>(count), &written, nullptr) || written == 0) {
            output_failed = true;
            return;
        }
        bytes += written;
        count -= written;
    }
}

// Converts whole characters to UTF-16 and writes them to the console; a
// lead byte at the end waits for the next flush.
static void write_wide(const char* bytes, size_t count)
{
    char joined[OUTPUT_BUFFER_SIZE + 1];
    const size_t whole = join_sjis_piece(output_pieces, bytes, count, joined);
    if (whole == 0)
        return;
    WCHAR wide[OUTPUT_BUFFER_SIZE + 1];
    const int units = MultiByteToWideChar(CODE_PAGE_932, 0, joined, static_cast<int>(whole), wide,
                                          static_cast<int>(sizeof wide / sizeof wide[0]));
    DWORD written = 0;
    if (units <= 0 || !WriteConsoleW(output_handle, wide, static_cast<DWORD>(units), &written, nullptr))
        write_raw(joined, whole);
}

void console_flush()
{
    console_open();
    if (output_fill == 0)
        return;
    if (wide_output)
        write_wide(output_buffer, output_fill);
    else
        write_raw(output_buffer, output_fill);
    output_fill = 0;
}

void console_write(const char* bytes, size_t count)
{
    console_open();
    for (size_t i = 0; i < count; i++) {
        // Room for a CR LF pair.
        if (output_fill + 2 > sizeof output_buffer)
            console_flush();
        if (bytes[i] == '\n')
            output_buffer[output_fill++] = '\r';
        output_buffer[output_fill++] = bytes[i];
    }
}

void console_print(const char* text)
{
    console_write(text, strlen(text));
}

// Refills the input buffer; false at the end of input or on an error.
static bool fill_input()
{
    if (input_ended || input_handle == nullptr)
        return false;
    DWORD got = 0;
    if (wide_input) {
        WCHAR wide[WIDE_INPUT_UNITS];
        if (ReadConsoleW(input_handle, wide, WIDE_INPUT_UNITS, &got, nullptr) && got > 0) {
            BOOL defaulted = FALSE;
            const int bytes = WideCharToMultiByte(CODE_PAGE_932, 0, wide, static_cast<int>(got), input_buffer,
                                                  static_cast<int>(sizeof input_buffer), nullptr, &defaulted);
            got = bytes > 0 ? static_cast<DWORD>(bytes) : 0;
            input_refused = input_refused || defaulted;
        } else {
            got = 0;
        }
    } else if (!ReadFile(input_handle, input_buffer, sizeof input_buffer, &got, nullptr)) {
        got = 0;
    }
    input_next = 0;
    input_end = got;
    // A console that reports Ctrl+Z as a line of its own ends the input
    // the same way.
    if (got == 0)
        input_ended = true;
    return got > 0;
}

long console_read_line(char* line, size_t capacity)
{
    console_flush();
    ConsoleLine read;
    start_console_line(read, line, capacity);
    bool any = false;
    bool ended_by_feed = false;
    for (;;) {
        if (input_next == input_end && !fill_input())
            break;
        const char c = input_buffer[input_next++];
        any = true;
        if (c == '\n') {
            ended_by_feed = true;
            break;
        }
        take_console_byte(read, c);
    }
    if (!any)
        return -1;
    if (input_refused) {
        input_refused = false;
        return CONSOLE_LINE_UNCONVERTIBLE;
    }
    return end_console_line(read, ended_by_feed);
}

void console_clear_screen()
{
    console_open();
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!output_console || !GetConsoleScreenBufferInfo(output_handle, &screen)) {
        console_print(CLEAR_SCREEN_SEQUENCE);
        return;
    }
    console_flush();
    const DWORD cells = static_cast<DWORD>(screen.dwSize.X) * static_cast<DWORD>(screen.dwSize.Y);
    const COORD home = {0, 0};
    DWORD done;
    FillConsoleOutputCharacterA(output_handle, ' ', cells, home, &done);
    FillConsoleOutputAttribute(output_handle, screen.wAttributes, cells, home, &done);
    SetConsoleCursorPosition(output_handle, home);
}

// Whether the console window was opened for this program alone: its
// process list holds this process only (GetConsoleProcessList, from
// Windows XP on).
static bool console_window_is_own()
{
    const auto process_list =
        find_call<ProcessListFunction>(GetModuleHandleA("kernel32.dll"), "GetConsoleProcessList");
    if (process_list == nullptr || !input_console || !output_console)
        return false;
    DWORD processes[2];
    return process_list(processes, 2) == 1;
}

[[noreturn]] void console_end_run(int exit_code, const char* prompt)
{
    console_open();
    if (prompt != nullptr && console_window_is_own()) {
        char line[LAST_LINE_SIZE];
        console_print(prompt);
        console_read_line(line, sizeof line);
    }
    console_flush();
    exit(exit_code);
}
