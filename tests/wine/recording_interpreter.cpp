// tests/wine/recording_interpreter.cpp: a command interpreter that only
// records. Named by COMSPEC, it appends the line it was handed after "/c"
// to the file that RECORD_LOG names, as the raw bytes it got, one line
// each, and exits with status 0.
#include <windows.h>

#include <cstring>

int main()
{
    // The line as the parent composed it: the program, "/c", the line.
    const char* line = GetCommandLineA();
    if (*line == '"') {
        line = strchr(line + 1, '"');
        line = line != nullptr ? line + 1 : "";
    } else {
        while (*line != '\0' && *line != ' ')
            line++;
    }
    while (*line == ' ')
        line++;
    if (strncmp(line, "/c ", 3) == 0)
        line += 3;

    char log[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("RECORD_LOG", log, sizeof log);
    if (length == 0 || length >= sizeof log)
        return 2;
    const HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
    return 0;
}
