// host/win32/shell_link.cpp: the shell link object of the Windows shell,
// through COM, and the kernel's Windows directory and code page
// conversion.
//
// On the NT family the object is reached through IShellLinkW and every
// path is converted from code page 932, whatever the system's ANSI code
// page; a target that the ANSI code page cannot hold is given in its short
// form, made absolute first. Windows 95 and 98 get IShellLinkA and the
// ANSI calls. A shortcut is never saved through a link
// (host/win32/kernel/final_paths.h).
//
// The installer reports only a failed save, so no failure here prints
// anything: each operation hands its result back and nothing more.
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <cwchar>

#include "host/shell_link.h"
#include "host/win32/kernel/base.h"
#include "host/win32/kernel/final_paths.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/windows_names.h"

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "a UTF-16 unit is a wchar_t on Windows");

namespace {

// The one shell link object, through the interface of the system's family,
// and its persist interface; null when not held.
IShellLinkA* ansi_link;
IShellLinkW* wide_link;
IPersistFile* persist_file;

}  // namespace

bool get_windows_directory(char* buffer, size_t capacity)
{
    bool found;
    if (is_nt_family()) {
        wchar_t wide[WINDOWS_PATH_SIZE];
        const UINT length = GetWindowsDirectoryW(wide, WINDOWS_PATH_SIZE);
        found = length > 0 && length < WINDOWS_PATH_SIZE && to_exact_cp932(wide, buffer, capacity);
    } else {
        const UINT length = GetWindowsDirectoryA(buffer, static_cast<UINT>(capacity));
        found = length > 0 && length < capacity;
    }
    if (!found && capacity > 0)
        buffer[0] = '\0';
    return found;
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
    const bool wide = is_nt_family();
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                wide ? IID_IShellLinkW : IID_IShellLinkA, &object)))
        return false;
    if (wide)
        wide_link = static_cast<IShellLinkW*>(object);
    else
        ansi_link = static_cast<IShellLinkA*>(object);
    return true;
}

// Whether `code_page` holds every character of `text`: it converts there
// and back unchanged (a best-fit or default character does not).
static bool code_page_holds(UINT code_page, const wchar_t* text)
{
    char bytes[4 * ENTRY_PATH_SIZE];
    wchar_t read_back[ENTRY_PATH_SIZE];
    if (WideCharToMultiByte(code_page, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr) <= 0 ||
        MultiByteToWideChar(code_page, 0, bytes, -1, read_back, ENTRY_PATH_SIZE) <= 0)
        return false;
    return wcscmp(text, read_back) == 0;
}

// Writes `path` (code page 932) made absolute into `full`
// (ENTRY_PATH_SIZE units), as the system makes a path absolute.
static bool wide_full_path(const char* path, wchar_t* full)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    if (!to_wide(path, wide, ENTRY_PATH_SIZE))
        return false;
    const DWORD length = GetFullPathNameW(wide, ENTRY_PATH_SIZE, full, nullptr);
    return length > 0 && length < ENTRY_PATH_SIZE;
}

bool set_link_path(const char* target_path)
{
    if (ansi_link != nullptr)
        return SUCCEEDED(ansi_link->SetPath(target_path));
    wchar_t wide[ENTRY_PATH_SIZE];
    if (!wide_full_path(target_path, wide))
        return false;
    // The shortcut file keeps the target in the ANSI code page too, and
    // Wine reads it from there alone. Where that code page cannot hold the
    // path, its short form names the same file in characters it holds;
    // without one (a volume that keeps no short names) the object gets the
    // path as it is.
    wchar_t short_form[ENTRY_PATH_SIZE];
    const wchar_t* given = wide;
    if (!code_page_holds(CP_ACP, wide)) {
        const DWORD length = GetShortPathNameW(wide, short_form, ENTRY_PATH_SIZE);
        if (length > 0 && length < ENTRY_PATH_SIZE && code_page_holds(CP_ACP, short_form))
            given = short_form;
    }
    return SUCCEEDED(wide_link->SetPath(given));
}

bool open_link_persist()
{
    void* object = nullptr;
    const HRESULT result = ansi_link != nullptr ? ansi_link->QueryInterface(IID_IPersistFile, &object)
                                                : wide_link->QueryInterface(IID_IPersistFile, &object);
    if (FAILED(result))
        return false;
    persist_file = static_cast<IPersistFile*>(object);
    return true;
}

void set_link_working_directory(const char* directory)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    if (ansi_link != nullptr)
        ansi_link->SetWorkingDirectory(directory);
    else if (to_wide(directory, wide, ENTRY_PATH_SIZE))
        wide_link->SetWorkingDirectory(wide);
}

void set_link_show_command(int show_command)
{
    if (ansi_link != nullptr)
        ansi_link->SetShowCmd(show_command);
    else
        wide_link->SetShowCmd(show_command);
}

bool save_link(const uint16_t* wide_path)
{
    // The shell link object writes the file in place, so whatever stands at
    // the path goes first, through the handle it was checked by (a hard
    // link would share the shortcut's bytes with a file elsewhere, a link
    // would be written through); the save is refused where it cannot go.
    // It is saved by its path right after: the menu builder names its
    // entries after that path, so it cannot be saved elsewhere and moved.
    // Windows 95 and 98 have no links, and save over what is there.
    const auto* path = reinterpret_cast<const wchar_t*>(wide_path);
    const size_t name_start = last_name_start(path);
    wchar_t folder[ENTRY_PATH_SIZE];
    wchar_t folder_final[ENTRY_PATH_SIZE];
    if (name_start == 0 || name_start >= ENTRY_PATH_SIZE)
        return false;
    for (size_t i = 0; i < name_start; i++)
        folder[i] = path[i];
    folder[name_start] = 0;
    if (works_through_handles() &&
        (!get_folder_final_path(folder, folder_final) || !clear_entry_at(path, folder_final, path + name_start)))
        return false;
    return SUCCEEDED(persist_file->Save(path, /* remember */ TRUE));
}

void release_link_persist()
{
    persist_file->Release();
    persist_file = nullptr;
}

void release_shell_link()
{
    if (ansi_link != nullptr)
        ansi_link->Release();
    else
        wide_link->Release();
    ansi_link = nullptr;
    wide_link = nullptr;
}

bool get_shell_folder(ShellFolder which, uint16_t* wide, size_t capacity)
{
    // SHGetSpecialFolderPath came with the shell of Internet Explorer 4;
    // shell32.dll is loaded here, so that the program still starts on a
    // Windows 95 without it and imports from no more than it did.
    using WideFolderFunction = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
    using AnsiFolderFunction = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
    const int csidl = which == SHELL_FOLDER_PROGRAMS ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY;
    auto* out = reinterpret_cast<wchar_t*>(wide);
    const HMODULE shell = LoadLibraryA("shell32.dll");
    if (shell == nullptr || capacity < MAX_PATH)
        return false;
    bool found = false;
    if (is_nt_family()) {
        const auto call = find_call<WideFolderFunction>(shell, "SHGetSpecialFolderPathW");
        found = call != nullptr && call(nullptr, out, csidl, FALSE);
    } else {
        char folder[MAX_PATH];
        const auto call = find_call<AnsiFolderFunction>(shell, "SHGetSpecialFolderPathA");
        found = call != nullptr && call(nullptr, folder, csidl, FALSE) &&
                MultiByteToWideChar(CP_ACP, 0, folder, -1, out, static_cast<int>(capacity)) > 0;
    }
    FreeLibrary(shell);
    return found && out[0] != 0;
}

bool convert_to_wide(const char* path, uint16_t* wide, size_t capacity)
{
    auto* out = reinterpret_cast<wchar_t*>(wide);
    if (is_nt_family())
        return to_wide(path, out, capacity);
    // Without room for the whole string and its terminator the call fails
    // with 0, though it may have filled the buffer.
    return MultiByteToWideChar(CP_ACP, 0, path, -1, out, static_cast<int>(capacity)) > 0;
}

bool console_reads_code_page_932()
{
    return GetOEMCP() == CODE_PAGE_932;
}

bool get_full_path(const char* path, char* out, size_t capacity)
{
    if (!is_nt_family()) {
        const DWORD length = GetFullPathNameA(path, static_cast<DWORD>(capacity), out, nullptr);
        return length > 0 && length < capacity;
    }
    wchar_t full[ENTRY_PATH_SIZE];
    return wide_full_path(path, full) && to_exact_cp932(full, out, capacity);
}
