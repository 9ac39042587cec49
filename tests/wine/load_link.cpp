// tests/wine/load_link.cpp: loads a shortcut file through the system's own
// shell link object (IPersistFile::Load) and prints what it gives back,
// one "field=value" line each, in the ANSI code page:
//   path=<GetPath>  dir=<GetWorkingDirectory>  show=<GetShowCmd>
// Exit status 1 when the file cannot be loaded.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

static void print_field(const char* name, const char* value)
{
    char line[2 * MAX_PATH];
    const int length = snprintf(line, sizeof line, "%s=%s\n", name, value);
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, argv[1], -1, wide, MAX_PATH) == 0)
        return 2;
    CoInitialize(nullptr);
    int status = 1;
    void* object = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &object))) {
        IShellLinkA* link = static_cast<IShellLinkA*>(object);
        void* persist_object = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, &persist_object))) {
            IPersistFile* persist = static_cast<IPersistFile*>(persist_object);
            if (SUCCEEDED(persist->Load(wide, STGM_READ))) {
                char text[MAX_PATH];
                if (FAILED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                    text[0] = '\0';
                print_field("path", text);
                if (FAILED(link->GetWorkingDirectory(text, MAX_PATH)))
                    text[0] = '\0';
                print_field("dir", text);
                int show = 0;
                link->GetShowCmd(&show);
                snprintf(text, sizeof text, "%d", show);
                print_field("show", text);
                status = 0;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return status;
}
