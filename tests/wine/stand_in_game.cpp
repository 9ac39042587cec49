// tests/wine/stand_in_game.cpp: a stand-in for the game's yamawyrm.exe. It
// writes the folder it was started in, in UTF-8 whatever the ANSI code
// page, to the file that GAME_RECORD names and exits, so a test can tell
// that a shortcut started it, and where.
#include <windows.h>

int main()
{
    WCHAR folder[MAX_PATH];
    WCHAR record[MAX_PATH];
    char text[4 * MAX_PATH];
    const DWORD folder_length = GetCurrentDirectoryW(MAX_PATH, folder);
    const DWORD record_length = GetEnvironmentVariableW(L"GAME_RECORD", record, MAX_PATH);
    if (folder_length == 0 || folder_length >= MAX_PATH || record_length == 0 || record_length >= MAX_PATH)
        return 2;
    const int text_length = WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(folder_length), text,
                                                sizeof text, nullptr, nullptr);
    if (text_length <= 0)
        return 2;
    const HANDLE file = CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written;
    WriteFile(file, text, static_cast<DWORD>(text_length), &written, nullptr);
    CloseHandle(file);
    return 0;
}
