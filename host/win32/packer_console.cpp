// host/win32/packer_console.cpp: the packer's UTF-8 lines shown in a
// console of any code page.
//
// The packer writes UTF-8 through the C streams. A console shows the bytes
// written to it in its own code page, so where standard output or standard
// error is a console, that stream writes into a pipe instead, which a
// thread of this file empties into the console through WriteConsoleW, in
// the order written. Both streams share the one pipe, unbuffered, so that
// their lines stay in order.
//
// State:
//   console         the console that standard output or standard error is.
//   console_pipe    the pipe those streams write into instead.
//   console_thread  the thread that empties it into the console.
//   console_streams which streams (bit 1 << fd) write into the pipe.
#include "host/packer_console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/win32/kernel/base.h"

// Room for one read from the pipe.
constexpr size_t CONSOLE_PIECE_SIZE = 4096;

static HANDLE console;
static HANDLE console_pipe;
static HANDLE console_thread;
static int console_streams;

// How many bytes of `bytes` (count of them) form whole UTF-8 characters: an
// incomplete sequence at the end waits for the next read.
static size_t whole_characters(const char* bytes, size_t count)
{
    for (size_t back = 1; back <= 3 && back <= count; back++) {
        const auto lead = static_cast<unsigned char>(bytes[count - back]);
        if ((lead & 0xC0) == 0x80)
            continue;                       // a continuation byte: look further back
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        return length > back ? count - back : count;
    }
    return count;
}

static DWORD WINAPI copy_to_console(void*)
{
    char bytes[CONSOLE_PIECE_SIZE];
    wchar_t wide[CONSOLE_PIECE_SIZE];
    size_t held = 0;
    DWORD got = 0;
    while (ReadFile(console_pipe, bytes + held, static_cast<DWORD>(sizeof bytes - held), &got, nullptr) && got > 0) {
        const size_t count = held + got;
        const size_t whole = whole_characters(bytes, count);
        const int units = whole == 0 ? 0
                                     : MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(whole), wide,
                                                           static_cast<int>(CONSOLE_PIECE_SIZE));
        for (int done = 0; done < units;) {
            DWORD written = 0;
            if (!WriteConsoleW(console, wide + done, static_cast<DWORD>(units - done), &written, nullptr) ||
                written == 0)
                break;
            done += static_cast<int>(written);
        }
        held = count - whole;
        memmove(bytes, bytes + whole, held);
    }
    return 0;
}

// Closes the standard streams that write into the pipe.
static void close_piped_streams()
{
    for (int fd = 1; fd <= 2; fd++)
        if (console_streams & (1 << fd))
            _close(fd);
}

// At the end of the program: everything written reaches the console before
// the process ends, which would stop the thread where it is.
static void finish_console_streams()
{
    fflush(stdout);
    fflush(stderr);
    close_piped_streams();
    WaitForSingleObject(console_thread, INFINITE);
}

static bool is_console(HANDLE handle)
{
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

// Makes the standard stream `fd` write into the pipe through a handle of
// its own to the pipe's writing end `writer`.
static void pipe_stream(int fd, HANDLE writer)
{
    const HANDLE process = GetCurrentProcess();
    HANDLE own = nullptr;
    if (!DuplicateHandle(process, writer, process, &own, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    const int pipe_fd = _open_osfhandle(reinterpret_cast<intptr_t>(own), _O_WRONLY | _O_TEXT);
    if (pipe_fd < 0) {
        CloseHandle(own);
        return;
    }
    if (_dup2(pipe_fd, fd) == 0)
        console_streams |= 1 << fd;
    _close(pipe_fd);
}

void prepare_standard_streams()
{
    const HANDLE process = GetCurrentProcess();
    const HANDLE streams[3] = {nullptr, GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
    HANDLE writer = nullptr;
    for (int fd = 1; fd <= 2; fd++) {
        if (!is_console(streams[fd]))
            continue;
        // The console itself, kept for the thread: the stream's handle is
        // closed when the stream is given the pipe.
        if (console == nullptr) {
            if (!DuplicateHandle(process, streams[fd], process, &console, 0, FALSE, DUPLICATE_SAME_ACCESS))
                return;
            if (!CreatePipe(&console_pipe, &writer, nullptr, 0)) {
                CloseHandle(console);
                console = nullptr;
                return;
            }
        }
        pipe_stream(fd, writer);
    }
    if (writer != nullptr)
        CloseHandle(writer);
    if (console_streams == 0)
        return;
    console_thread = CreateThread(nullptr, 0, copy_to_console, nullptr, 0, nullptr);
    if (console_thread == nullptr) {
        // Nothing would empty the pipe: the streams are lost rather than
        // left to block.
        close_piped_streams();
        return;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    atexit(finish_console_streams);
}
