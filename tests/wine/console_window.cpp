// tests/wine/console_window.cpp: starts a program in a console window of its
// own, as a double click does, and plays its user at the keyboard: it waits
// for the screen to show `first`, types `answer` (none by default) and
// Return, waits for `last`, looks whether the program is still running,
// and presses Return again, or with "interrupt" presses Ctrl+C and stays
// in the window until the program has ended, to read what it left there.
// With "interrupt" and DELAY (milliseconds), Ctrl+C comes that long after
// the answer instead, whatever the screen shows then (LAST is not waited
// for): in the middle of what the answer started.
// It is attached to the window only while it reads or types, and not at
// all for a few seconds after the first Return: a program that looks
// whether the window is its own alone must find it so. Prints, in UTF-8:
//   waiting=<1 when the program still ran at `last`>
//   code=<the program's exit code>
//   first=<the screen at `first`, its rows joined, blanks at their ends cut>
//   last=<the screen at `last`, the same way>
//   after=<with "interrupt", the screen once the program has ended>
// Usage: console_window PROGRAM FIRST LAST [ANSWER [interrupt [DELAY]]]
#include <windows.h>

#include <cstdio>
#include <cwchar>

constexpr DWORD SCREEN_CELLS = 80 * 50;
constexpr int WAIT_STEPS = 300;  // of 100 ms
// How long the window is left to the program alone after the first Return.
constexpr DWORD ALONE_MS = 3000;

static DWORD program_id;
static HANDLE program;

static wchar_t first_screen[SCREEN_CELLS + 1];
static wchar_t last_screen[SCREEN_CELLS + 1];
static wchar_t after_screen[SCREEN_CELLS + 1];

// Reads the attached console's screen into `screen`, each row's blanks at
// its end cut and a line feed after it.
static void read_screen(wchar_t* screen)
{
    const HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    size_t used = 0;
    if (output != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(output, &info)) {
        const SHORT width = info.dwSize.X;
        for (SHORT row = 0; row < info.dwSize.Y && used + static_cast<size_t>(width) + 1 < SCREEN_CELLS; row++) {
            DWORD got = 0;
            const COORD at = {0, row};
            ReadConsoleOutputCharacterW(output, screen + used, static_cast<DWORD>(width), at, &got);
            while (got > 0 && screen[used + got - 1] == L' ')
                got--;
            used += got;
            screen[used++] = L'\n';
        }
    }
    screen[used] = 0;
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
}

// Waits until the screen shows `text`, attached to the window only to
// read it; false when it never does or the program has ended.
static bool wait_for(const wchar_t* text, wchar_t* screen)
{
    for (int step = 0; step < WAIT_STEPS && WaitForSingleObject(program, 0) == WAIT_TIMEOUT; step++) {
        if (AttachConsole(program_id)) {
            read_screen(screen);
            FreeConsole();
            if (wcsstr(screen, text) != nullptr)
                return true;
        }
        Sleep(100);
    }
    return false;
}

// Types `text` and Return into the window.
static void type_line(const wchar_t* text)
{
    if (!AttachConsole(program_id))
        return;
    const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    const size_t length = wcslen(text);
    for (size_t i = 0; i <= length; i++) {
        INPUT_RECORD keys[2] = {};
        for (int k = 0; k < 2; k++) {
            keys[k].EventType = KEY_EVENT;
            keys[k].Event.KeyEvent.bKeyDown = k == 0;
            keys[k].Event.KeyEvent.wRepeatCount = 1;
            keys[k].Event.KeyEvent.wVirtualKeyCode = i == length ? VK_RETURN : 0;
            keys[k].Event.KeyEvent.uChar.UnicodeChar = i == length ? L'\r' : text[i];
        }
        DWORD written;
        WriteConsoleInputW(input, keys, 2, &written);
    }
    CloseHandle(input);
    FreeConsole();
}

static void press_return()
{
    type_line(L"");
}

// Presses Ctrl+C in the window, and stays in it until the program has
// ended, so that the window stays too; then reads what it shows.
static void interrupt(wchar_t* screen)
{
    if (!AttachConsole(program_id))
        return;
    // The event reaches every process of the window, this one as well.
    SetConsoleCtrlHandler(nullptr, TRUE);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    WaitForSingleObject(program, 10000);
    read_screen(screen);
    FreeConsole();
}

static void print(HANDLE output, const char* name, const wchar_t* text)
{
    static char utf8[4 * SCREEN_CELLS];
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    DWORD written;
    WriteFile(output, name, static_cast<DWORD>(strlen(name)), &written, nullptr);
    WriteFile(output, utf8, length > 0 ? static_cast<DWORD>(length - 1) : 0, &written, nullptr);
    WriteFile(output, "\n", 1, &written, nullptr);
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4 || argc > 7)
        return 2;
    const wchar_t* answer = argc > 4 ? argv[4] : L"";
    const bool interrupting = argc > 5 && wcscmp(argv[5], L"interrupt") == 0;
    const bool delayed = interrupting && argc > 6;
    const DWORD delay = delayed ? static_cast<DWORD>(wcstoul(argv[6], nullptr, 10)) : 0;
    // The program gets the new window's handles, not these: Wine hands a
    // program the standard handles of its parent that are no console's.
    const HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    SetStdHandle(STD_ERROR_HANDLE, nullptr);
    wchar_t command[MAX_PATH + 2];
    swprintf(command, MAX_PATH + 2, L"\"%ls\"", argv[1]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &startup,
                        &process))
        return 2;
    FreeConsole();
    program_id = process.dwProcessId;
    program = process.hProcess;
    bool waiting = false;
    if (wait_for(argv[2], first_screen)) {
        type_line(answer);
        if (delayed) {
            Sleep(delay);
            interrupt(after_screen);
        } else {
            Sleep(ALONE_MS);
            if (wait_for(argv[3], last_screen)) {
                waiting = WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
                if (interrupting)
                    interrupt(after_screen);
                else
                    press_return();
            }
        }
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 99);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    char line[64];
    const int length = snprintf(line, sizeof line, "waiting=%d\ncode=%lu\n", waiting ? 1 : 0, code);
    DWORD written;
    WriteFile(report, line, static_cast<DWORD>(length), &written, nullptr);
    print(report, "first=", first_screen);
    print(report, "last=", last_screen);
    if (interrupting)
        print(report, "after=", after_screen);
    return 0;
}
