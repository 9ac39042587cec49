// host/win32/command.cpp: run_interpreter on Windows.
//
// State: words, the words of a command line that the host carries out
// itself (a deltree line), split once per line.
//
// The interpreter is the program that COMSPEC names, else cmd.exe on the NT
// family and command.com on Windows 95 and 98, started as "/c" and the
// line and waited for. Only the command.com of Windows 95 and 98 has
// deltree: for any other interpreter (every cmd.exe, which Wine names even
// where it reports Windows 98) the host carries out a deltree line itself
// (host/portable/deltree.h), by the rules that the POSIX build follows too.
// On the NT family the command line goes to the interpreter in UTF-16,
// converted from code page 932.
#include "host/command.h"

#include <cstring>

#include "host/portable/command_words.h"
#include "host/console.h"
#include "host/portable/deltree.h"
#include "host/win32/kernel/entries.h"
#include "shared/compose.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

// The interpreter's path, and the whole command line CreateProcess takes.
constexpr size_t COMSPEC_SIZE = MAX_PATH + 1;
constexpr size_t PROCESS_LINE_SIZE = COMSPEC_SIZE + COMMAND_LINE_LIMIT + 8;

static CommandWords words;

// Starts the process of `process_line` (changed in place, as CreateProcess
// may) and waits for it. Returns its exit status, or -1 when it could not
// be started.
static int run_process(char* process_line)
{
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!is_nt_family()) {
        if (!CreateProcessA(nullptr, process_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
            return -1;
    } else {
        static wchar_t wide_line[PROCESS_LINE_SIZE];
        STARTUPINFOW wide_startup;
        memset(&wide_startup, 0, sizeof wide_startup);
        wide_startup.cb = sizeof wide_startup;
        if (!to_wide(process_line, wide_line, PROCESS_LINE_SIZE) ||
            !CreateProcessW(nullptr, wide_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &wide_startup, &process))
            return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

// Starts `program` with "/c" and the line and waits for it. Returns its exit
// status, or -1 when it could not be started.
static int run_program(const char* program, bool quote, const char* line)
{
    static char process_line[PROCESS_LINE_SIZE];
    const char* q = quote ? "\"" : "";
    if (!compose(process_line, sizeof process_line, {q, program, q, " /c ", line}))
        return -1;
    return run_process(process_line);
}

// The interpreter that COMSPEC names, in code page 932 (on the NT family
// read in UTF-16, so that a path of any code page arrives whole); empty
// when none is named or it has no code page 932 form.
static void read_comspec(char* comspec)
{
    comspec[0] = '\0';
    if (!is_nt_family()) {
        const DWORD length = GetEnvironmentVariableA("COMSPEC", comspec, COMSPEC_SIZE);
        if (length == 0 || length >= COMSPEC_SIZE)
            comspec[0] = '\0';
        return;
    }
    wchar_t wide[COMSPEC_SIZE];
    const DWORD length = GetEnvironmentVariableW(L"COMSPEC", wide, COMSPEC_SIZE);
    if (length == 0 || length >= COMSPEC_SIZE || !to_exact_cp932(wide, comspec, COMSPEC_SIZE))
        comspec[0] = '\0';
}

// Whether the program at `path` is command.com, which has a deltree of its
// own on Windows 95 and 98 (the NT family's command.com has none).
static bool is_command_com(const char* path)
{
    const char* name = path;
    for (const char* c = path; *c != '\0'; c += sjis_character_length(c))
        if (is_path_separator(*c) || *c == ':')
            name = c + 1;
    return same_ignoring_case(name, "command.com");
}

int run_interpreter(const char* line)
{
    console_flush();
    char comspec[COMSPEC_SIZE];
    read_comspec(comspec);
    const char* default_interpreter = is_nt_family() ? "cmd.exe" : "command.com";
    const bool has_deltree = !is_nt_family() && is_command_com(comspec[0] != '\0' ? comspec : default_interpreter);
    if (!has_deltree && split_command_line(line, words) && words.count > 0 &&
        same_ignoring_case(words.words[0], "deltree")) {
        const int status = run_deltree(words.words + 1, words.count - 1);
        console_flush();
        return status;
    }
    if (comspec[0] != '\0') {
        const int status = run_program(comspec, true, line);
        if (status >= 0)
            return status;
    }
    const int status = run_program(default_interpreter, false, line);
    if (status >= 0)
        return status;
    console_print("The command interpreter cannot be started.\n");
    return 1;
}
