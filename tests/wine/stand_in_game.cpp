// tests/wine/stand_in_game.cpp: a stand-in for the game's yamawyrm.exe. It
// writes the folder it was started in to the file that GAME_RECORD names
// and exits, so a test can tell that a shortcut started it, and where.
#include <windows.h>

#include <cstring>

int main()
{
    char folder[MAX_PATH];
    char record[MAX_PATH];
    const DWORD folder_length = GetCurrentDirectoryA(sizeof folder, folder);
    const DWORD record_length = GetEnvironmentVariableA("GAME_RECORD", record, sizeof record);
    if (folder_length == 0 || folder_length >= sizeof folder || record_length == 0 || record_length >= sizeof record)
        return 2;
    const HANDLE file = CreateFileA(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written;
    WriteFile(file, folder, folder_length, &written, nullptr);
    CloseHandle(file);
    return 0;
}
