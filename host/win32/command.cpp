// host/win32/command.cpp: run_interpreter on Windows. No state.
//
// The interpreter is the program that COMSPEC names, else cmd.exe on the NT
// family and command.com on Windows 95 and 98, started as "/c" and the
// line and waited for. The NT family's cmd.exe has no deltree: there the
// host carries out a deltree line itself (host/deltree.h), by the rules
// that the POSIX build follows too.
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "host/command.h"
#include "host/command_words.h"
#include "host/console.h"
#include "host/deltree.h"

// The interpreter's path, and the whole command line CreateProcessA takes.
constexpr size_t COMSPEC_SIZE = MAX_PATH + 1;
constexpr size_t PROCESS_LINE_SIZE = COMSPEC_SIZE + COMMAND_LINE_LIMIT + 8;

static CommandWords words;

static bool is_nt_family()
{
    // The high bit of GetVersion is set on Windows 95, 98 and Me only.
    return (GetVersion() & 0x80000000u) == 0;
}

// Starts `program` with "/c" and the line and waits for it. Returns its exit
// status, or -1 when it could not be started.
static int run_program(const char* program, bool quote, const char* command_line)
{
    static char process_line[PROCESS_LINE_SIZE];
    const char* q = quote ? "\"" : "";
    const int length = snprintf(process_line, sizeof process_line, "%s%s%s /c %s", q, program, q, command_line);
    if (length < 0 || static_cast<size_t>(length) >= sizeof process_line)
        return -1;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, process_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

int run_interpreter(const char* command_line)
{
    console_flush();
    if (is_nt_family() && split_command_line(command_line, words) && words.count > 0 &&
        same_word(words.words[0], "deltree")) {
        const int status = run_deltree(words.words + 1, words.count - 1);
        console_flush();
        return status;
    }
    char comspec[COMSPEC_SIZE];
    const DWORD length = GetEnvironmentVariableA("COMSPEC", comspec, sizeof comspec);
    if (length > 0 && length < sizeof comspec) {
        const int status = run_program(comspec, true, command_line);
        if (status >= 0)
            return status;
    }
    const int status = run_program(is_nt_family() ? "cmd.exe" : "command.com", false, command_line);
    if (status >= 0)
        return status;
    console_print("The command interpreter cannot be started.\n");
    return 1;
}
