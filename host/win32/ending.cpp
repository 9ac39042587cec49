// host/win32/ending.cpp: interrupts on Windows: a console control event
// removes the files being written, shows the ending line and ends the
// process with the ending's exit code.
//
// The system runs the control handler on a thread of its own while the
// program's thread goes on, so the handler touches nothing that thread
// uses: the console's buffer is not its (what was not yet written of it is
// dropped), its line was composed beforehand in both forms a standard
// output may want, and it ends the process at once (TerminateProcess), so
// that nothing of the run's own ending (its exit handlers, the C runtime's
// flushes) runs beside a thread stopped anywhere.
//
// State (set on the program's thread, read by the control handler):
//   ending_code   the exit code of an interrupted run.
//   ending_bytes  the line to show on a pipe or a file: a line feed, the
//   ending_size   line, each line feed as CR LF; ending_size 0: none.
//   ending_wide   the same in UTF-16, for a console of any code page.
//   ending_units
//   caught        the handler is in place.
#include "host/ending.h"

#include <cstring>

#include "host/win32/kernel/base.h"
#include "host/win32/kernel/new_files.h"

// The longest line shown, in bytes of code page 932.
constexpr size_t ENDING_LINE_SIZE = 512;
// With a line feed before it, every line feed a CR LF pair.
constexpr size_t ENDING_BYTES_SIZE = 2 * (ENDING_LINE_SIZE + 1);

static volatile LONG ending_code;
static char ending_bytes[ENDING_BYTES_SIZE];
static wchar_t ending_wide[ENDING_BYTES_SIZE];
static volatile LONG ending_size;
static volatile LONG ending_units;
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
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (ending_size > 0 && output != nullptr && output != INVALID_HANDLE_VALUE) {
        // Windows 95 and 98 have no WriteConsoleW: their consoles take the
        // bytes.
        if (ending_units == 0 || !GetConsoleMode(output, &mode) ||
            !WriteConsoleW(output, ending_wide, static_cast<DWORD>(ending_units), &written, nullptr))
            WriteFile(output, ending_bytes, static_cast<DWORD>(ending_size), &written, nullptr);
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(ending_code));
    return TRUE;
}

void end_on_interrupt(int exit_code, const char* line)
{
    InterlockedExchange(&ending_size, 0);
    InterlockedExchange(&ending_code, exit_code);
    if (line != nullptr) {
        size_t size = 0;
        ending_bytes[size++] = '\r';
        ending_bytes[size++] = '\n';
        for (size_t i = 0; line[i] != '\0' && i < ENDING_LINE_SIZE; i++) {
            if (line[i] == '\n')
                ending_bytes[size++] = '\r';
            ending_bytes[size++] = line[i];
        }
        const int units = MultiByteToWideChar(CODE_PAGE_932, 0, ending_bytes, static_cast<int>(size), ending_wide,
                                              static_cast<int>(sizeof ending_wide / sizeof ending_wide[0]));
        InterlockedExchange(&ending_units, units > 0 ? units : 0);
        InterlockedExchange(&ending_size, static_cast<LONG>(size));
    }
    if (!caught) {
        caught = true;
        SetConsoleCtrlHandler(on_control_event, TRUE);
    }
}
