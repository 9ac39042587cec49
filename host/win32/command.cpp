// host/win32/command.cpp: run_interpreter on Windows.
//
// State: words, the words of a command line that the host carries out
// itself (a deltree line) or whose program it looks for (the guide's write
// line), split once per line; search_path and path_extensions, the search
// path and the extensions it is searched with, read once per search;
// wide_value, the value of an environment variable as the NT family gives
// it, until it is converted.
//
// The interpreter is the program that COMSPEC names, else cmd.exe on the NT
// family and command.com on Windows 95 and 98, started as "/c" and the
// line and waited for. Only the command.com of Windows 95 and 98 has
// deltree: for any other interpreter (every cmd.exe, which Wine names even
// where it reports Windows 98) the host carries out a deltree line itself
// (host/portable/deltree.h), by the rules that the POSIX build follows too.
// On the NT family the command line goes to the interpreter in UTF-16,
// converted from code page 932.
//
// A document opens with its command line where the interpreter finds the
// command's program, and otherwise through the shell's "open", from
// shell32.dll loaded at run time, so that the program imports from no more
// than the kernel, the C runtime and COM.
#include "host/command.h"

#include <objbase.h>

#include <cstring>

#include "host/portable/command_words.h"
#include "host/console.h"
#include "host/portable/deltree.h"
#include "host/win32/kernel/base.h"
#include "host/win32/kernel/join_path.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

// The interpreter's path, and the whole command line CreateProcess takes.
constexpr size_t COMSPEC_SIZE = MAX_PATH + 1;
constexpr size_t PROCESS_LINE_SIZE = COMSPEC_SIZE + COMMAND_LINE_LIMIT + 8;

// The longest value of an environment variable, and its NUL; room for the
// names of those read here.
constexpr size_t VARIABLE_SIZE = 32768;
constexpr size_t VARIABLE_NAME_SIZE = 16;

static CommandWords words;
static char search_path[VARIABLE_SIZE];
static char path_extensions[VARIABLE_SIZE];
static wchar_t wide_value[VARIABLE_SIZE];

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

// How a program's path stands in its command line.
enum ProgramQuoting { PROGRAM_AS_IT_IS, PROGRAM_QUOTED };

// Starts `program` with "/c" and the line and waits for it. Returns its exit
// status, or -1 when it could not be started.
static int run_program(const char* program, ProgramQuoting quoting, const char* line)
{
    static char process_line[PROCESS_LINE_SIZE];
    const char* q = quoting == PROGRAM_QUOTED ? "\"" : "";
    if (!compose(process_line, sizeof process_line, {q, program, q, " /c ", line}))
        return -1;
    return run_process(process_line);
}

// The value of the environment variable `name` (ASCII) in code page 932
// (on the NT family read in UTF-16, so that a path of any code page
// arrives whole), into `out` (capacity bytes); empty when it is not set,
// does not fit or has no code page 932 form.
static void read_variable(const char* name, char* out, size_t capacity)
{
    out[0] = '\0';
    if (!is_nt_family()) {
        const DWORD length = GetEnvironmentVariableA(name, out, static_cast<DWORD>(capacity));
        if (length == 0 || length >= capacity)
            out[0] = '\0';
        return;
    }
    wchar_t wide_name[VARIABLE_NAME_SIZE];
    const DWORD length = to_wide(name, wide_name, VARIABLE_NAME_SIZE)
                             ? GetEnvironmentVariableW(wide_name, wide_value, VARIABLE_SIZE)
                             : 0;
    if (length == 0 || length >= VARIABLE_SIZE || !to_exact_cp932(wide_value, out, capacity))
        out[0] = '\0';
}

// The interpreter that COMSPEC names; empty when none is named.
static void read_comspec(char* comspec)
{
    read_variable("COMSPEC", comspec, COMSPEC_SIZE);
}

// Whether the program at `path` is command.com, which has a deltree of its
// own on Windows 95 and 98 (the NT family's command.com has none).
static bool is_command_com(const char* path)
{
    return same_ignoring_case(path + last_name_start(path), "command.com");
}

// Whether a file (not a folder) stands at `path`.
static bool is_file(const char* path)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (!is_nt_family())
        attributes = get_attributes(path);
    else if (to_wide(path, wide, ENTRY_PATH_SIZE))
        attributes = get_attributes(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Copies the next piece of the list at `*list`, pieces separated by
// semicolons, into `piece` (ENTRY_PATH_SIZE bytes) and moves `*list` past
// it. False at the end of the list. A piece too long for `piece` comes out
// empty.
static bool next_piece(const char** list, char* piece)
{
    if (**list == '\0')
        return false;
    const char* end = strchr(*list, ';');
    const size_t length = end != nullptr ? static_cast<size_t>(end - *list) : strlen(*list);
    piece[0] = '\0';
    if (length < ENTRY_PATH_SIZE) {
        memcpy(piece, *list, length);
        piece[length] = '\0';
    }
    *list += length + (end != nullptr ? 1 : 0);
    return true;
}

// Whether `program` is in `folder` (empty: `program` is a path of its
// own): as it is where it has an extension, else with one of those of
// path_extensions.
static bool folder_holds_program(const char* folder, const char* program)
{
    char candidate[ENTRY_PATH_SIZE];
    if (!join_path(candidate, sizeof candidate, folder, program, JOIN_WITH_SEPARATOR))
        return false;
    if (strchr(program + last_name_start(program), '.') != nullptr)
        return is_file(candidate);
    const size_t length = strlen(candidate);
    char extension[ENTRY_PATH_SIZE];
    for (const char* list = path_extensions; next_piece(&list, extension);)
        if (extension[0] != '\0' && compose(candidate + length, sizeof candidate - length, {extension}) &&
            is_file(candidate))
            return true;
    return false;
}

// Whether the command interpreter finds the program that the first word of
// `line` names, as cmd.exe looks for it: a path where the word is one,
// else in the current directory and then in each folder of PATH (a folder
// may stand in double quotes), with each extension of PATHEXT (on Windows
// 95 and 98, whose command.com has no PATHEXT, with .COM, .EXE and .BAT).
static bool interpreter_finds_program(const char* line)
{
    if (!split_command_line(line, words) || words.count == 0)
        return false;
    const char* program = words.words[0];
    if (is_nt_family())
        read_variable("PATHEXT", path_extensions, sizeof path_extensions);
    else
        path_extensions[0] = '\0';
    if (path_extensions[0] == '\0')
        compose(path_extensions, sizeof path_extensions, {is_nt_family() ? ".COM;.EXE;.BAT;.CMD" : ".COM;.EXE;.BAT"});
    if (last_name_start(program) > 0 || has_colon_second(program))
        return folder_holds_program("", program);
    read_variable("PATH", search_path, sizeof search_path);
    if (folder_holds_program(".", program))
        return true;
    char folder[ENTRY_PATH_SIZE];
    for (const char* list = search_path; next_piece(&list, folder);) {
        const size_t length = strlen(folder);
        const bool quoted = length >= 2 && folder[0] == '"' && folder[length - 1] == '"';
        if (quoted)
            folder[length - 1] = '\0';
        const char* unquoted = quoted ? folder + 1 : folder;
        if (unquoted[0] != '\0' && folder_holds_program(unquoted, program))
            return true;
    }
    return false;
}

// Opens `path` with the program that the shell keeps for its kind of file,
// through ShellExecute's "open" verb. COM is started for the call, since
// the shell may hand it to a COM object. shell32.dll stays loaded: the
// shell may still be at work for the call when it returns.
static bool open_with_shell(const char* path)
{
    using WideExecute = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    using AnsiExecute = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    const HMODULE shell = LoadLibraryA("shell32.dll");
    if (shell == nullptr)
        return false;
    const bool com_started = SUCCEEDED(CoInitialize(nullptr));
    INT_PTR result = 0;
    wchar_t wide[ENTRY_PATH_SIZE];
    if (is_nt_family()) {
        const auto execute = find_call<WideExecute>(shell, "ShellExecuteW");
        if (execute != nullptr && to_wide(path, wide, ENTRY_PATH_SIZE))
            result = reinterpret_cast<INT_PTR>(execute(nullptr, L"open", wide, nullptr, nullptr, SW_SHOWNORMAL));
    } else {
        const auto execute = find_call<AnsiExecute>(shell, "ShellExecuteA");
        if (execute != nullptr)
            result = reinterpret_cast<INT_PTR>(execute(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL));
    }
    if (com_started)
        CoUninitialize();
    // ShellExecute reports success with a value above 32.
    return result > 32;
}

bool open_document(const char* command_line, const char* path)
{
    if (interpreter_finds_program(command_line)) {
        run_interpreter(command_line);
        return true;
    }
    return open_with_shell(path);
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
        const int status = run_program(comspec, PROGRAM_QUOTED, line);
        if (status >= 0)
            return status;
    }
    const int status = run_program(default_interpreter, PROGRAM_AS_IT_IS, line);
    if (status >= 0)
        return status;
    console_print("The command interpreter cannot be started.\n");
    return 1;
}
