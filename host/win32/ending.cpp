// host/win32/ending.cpp: interrupts on Windows: a console control event
// removes the files being written, shows the ending line and ends the
// process with the ending's exit code.
//
// State (set on the program's thread, read by the control handler, which
// the system runs on a thread of its own):
//   ending_code  the exit code of an interrupted run.
//   ending_line  the line to show, or null.
//   caught       the handler is in place.
#include "host/ending.h"

#include "host/console.h"
#include "host/win32/kernel/new_files.h"

static volatile LONG ending_code;
static const char* volatile ending_line;
static bool caught;

static BOOL WINAPI on_control_event(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    discard_every_new_file();
    const char* line = ending_line;
    if (line != nullptr) {
        console_print("\n");
        console_print(line);
        console_flush();
    }
    ExitProcess(static_cast<UINT>(ending_code));
}

void end_on_interrupt(int exit_code, const char* line)
{
    InterlockedExchange(&ending_code, exit_code);
    ending_line = line;
    if (!caught) {
        caught = true;
        SetConsoleCtrlHandler(on_control_event, TRUE);
    }
}
