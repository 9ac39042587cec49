// host/win32/shell_link.cpp: the shell link object of the Windows shell,
// through COM, and the kernel's Windows directory and code page
// conversion.
//
// The installer reports only a failed save, so no failure here prints
// anything: each operation hands its result back and nothing more.
#define NOMINMAX
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "host/shell_link.h"

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "a UTF-16 unit is a wchar_t on Windows");

namespace {

// The one shell link object and its persist interface; null when not held.
IShellLinkA* shell_link;
IPersistFile* persist_file;

}  // namespace

bool get_windows_directory(char* buffer, size_t capacity)
{
    const UINT length = GetWindowsDirectoryA(buffer, static_cast<UINT>(capacity));
    if (length == 0 || length >= capacity) {
        if (capacity > 0)
            buffer[0] = '\0';
        return false;
    }
    return true;
}

bool start_com()
{
    // S_FALSE, COM already started on this thread, is a success too and is
    // ended by its own CoUninitialize.
    return SUCCEEDED(CoInitialize(nullptr));
}

void stop_com()
{
    CoUninitialize();
}

bool create_shell_link()
{
    void* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &object)))
        return false;
    shell_link = static_cast<IShellLinkA*>(object);
    return true;
}

bool set_link_path(const char* target_path)
{
    return SUCCEEDED(shell_link->SetPath(target_path));
}

bool open_link_persist()
{
    void* object = nullptr;
    if (FAILED(shell_link->QueryInterface(IID_IPersistFile, &object)))
        return false;
    persist_file = static_cast<IPersistFile*>(object);
    return true;
}

void set_link_working_directory(const char* directory)
{
    shell_link->SetWorkingDirectory(directory);
}

void set_link_show_command(int show_command)
{
    shell_link->SetShowCmd(show_command);
}

bool save_link(const uint16_t* wide_path)
{
    return SUCCEEDED(persist_file->Save(reinterpret_cast<LPCOLESTR>(wide_path), /* remember */ TRUE));
}

void release_link_persist()
{
    persist_file->Release();
    persist_file = nullptr;
}

void release_shell_link()
{
    shell_link->Release();
    shell_link = nullptr;
}

bool convert_to_wide(const char* path, uint16_t* wide, size_t capacity)
{
    // Without room for the whole string and its terminator the call fails
    // with 0, though it may have filled the buffer.
    return MultiByteToWideChar(CP_ACP, 0, path, -1, reinterpret_cast<LPWSTR>(wide), static_cast<int>(capacity)) > 0;
}
