// tests/wine/load_link.cpp: loads a shortcut file through the system's own
// shell link object (IPersistFile::Load) and prints what it gives back,
// one "field=value" line each, in UTF-8, whatever the ANSI code page:
//   path=<GetPath>  long=<that path's long form, as the file system names
//   it>  short=<the long form's short form, as GetShortPathNameW gives it>
//   dir=<GetWorkingDirectory>  show=<GetShowCmd>
// Exit status 1 when the file cannot be loaded.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

static void print_field(const char* name, const WCHAR* value)
{
    char text[4 * MAX_PATH];
    if (WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, nullptr, nullptr) == 0)
        text[0] = '\0';
    char line[5 * MAX_PATH];
    const int length = snprintf(line, sizeof line, "%s=%s\n", name, text);
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}

int main()
{
    int count = 0;
    WCHAR** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 2)
        return 2;
    CoInitialize(nullptr);
    int status = 1;
    void* object = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, &object))) {
        IShellLinkW* link = static_cast<IShellLinkW*>(object);
        void* persist_object = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, &persist_object))) {
            IPersistFile* persist = static_cast<IPersistFile*>(persist_object);
            if (SUCCEEDED(persist->Load(arguments[1], STGM_READ))) {
                WCHAR text[MAX_PATH];
                if (FAILED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                    text[0] = 0;
                print_field("path", text);
                WCHAR long_form[MAX_PATH];
                const DWORD long_length = GetLongPathNameW(text, long_form, MAX_PATH);
                if (long_length == 0 || long_length >= MAX_PATH)
                    long_form[0] = 0;
                print_field("long", long_form);
                WCHAR short_form[MAX_PATH];
                const DWORD short_length = GetShortPathNameW(long_form, short_form, MAX_PATH);
                if (short_length == 0 || short_length >= MAX_PATH)
                    short_form[0] = 0;
                print_field("short", short_form);
                if (FAILED(link->GetWorkingDirectory(text, MAX_PATH)))
                    text[0] = 0;
                print_field("dir", text);
                int show = 0;
                link->GetShowCmd(&show);
                swprintf(text, MAX_PATH, L"%d", show);
                print_field("show", text);
                status = 0;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    LocalFree(arguments);
    return status;
}
