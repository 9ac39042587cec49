// host/posix/ending.cpp: interrupts on POSIX: each removes the files being
// written, shows the ending line and ends the process by its own signal.
//
// State (read by the signal handler at any moment, so changed only with
// every signal blocked):
//   ending_line    the line to show, as the user's terminal takes it, a
//   ending_length  line feed before it; ending_length 0: none.
//   caught         the handlers are in place.
#include "host/ending.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "host/posix/codepage.h"
#include "host/posix/unix/new_files.h"

// The signals that end the program when nothing else was decided for them.
constexpr int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT};

static char ending_line[1 + CONVERTED_PIECE_SIZE];
static volatile sig_atomic_t ending_length;
static bool caught;

// Calls only what a signal handler may call: unlinkat, write, signal and
// raise. Where a file being written is changing hands, returns at once:
// the signal comes again once the change is done.
static void on_interrupt(int signal_number)
{
    if (!discard_every_new_file(signal_number))
        return;
    const size_t length = static_cast<size_t>(ending_length);
    for (size_t done = 0; done < length;) {
        const ssize_t written = write(STDOUT_FILENO, ending_line + done, length - done);
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    // The signal, blocked while this runs, ends the process once it
    // returns, as if it had never been caught.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void end_on_interrupt(int, const char* line)
{
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before);
    ending_length = 0;
    if (line != nullptr) {
        ending_line[0] = '\n';
        size_t length = strlen(line);
        if (length > CP932_PIECE_SIZE)
            length = CP932_PIECE_SIZE;
        size_t converted = length;
        if (user_console_charset()) {
            SjisPieces pieces = {};
            converted = cp932_piece_to_user(pieces, line, length, ending_line + 1);
        } else {
            memcpy(ending_line + 1, line, length);
        }
        ending_length = static_cast<sig_atomic_t>(1 + converted);
    }
    if (!caught) {
        caught = true;
        struct sigaction action = {};
        action.sa_handler = on_interrupt;
        sigfillset(&action.sa_mask);
        for (const int signal_number : INTERRUPTS) {
            struct sigaction current = {};
            sigaction(signal_number, nullptr, &current);
            if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL)
                sigaction(signal_number, &action, nullptr);
        }
        // Past a file size limit a write fails, and the file with it, in
        // place of an end that would leave the new file behind.
        signal(SIGXFSZ, SIG_IGN);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
}
