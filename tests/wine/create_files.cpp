// tests/wine/create_files.cpp: what the system itself costs per file, for
// the benchmark that runs the installer under Wine. Creates COUNT files of
// SIZE bytes in FOLDER (which must exist), named file<n>.dat: each created
// where nothing stood, written whole and closed; with "moved", each as the
// installer writes one, a new file beside its path that is moved over the
// path while it is still open.
//
//   create_files FOLDER COUNT SIZE [moved]
//
// Exit code 0, or 2 with a line on standard error at the first failure.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The largest SIZE, and the room for a path.
constexpr unsigned long MAX_SIZE = 1 << 20;
constexpr int PATH_SIZE = 1024;

static char data[MAX_SIZE];

// `folder`\`name` in UTF-16, into `out` (PATH_SIZE units).
static bool wide_path(const char* folder, const char* name, wchar_t* out)
{
    char path[PATH_SIZE];
    const int length = snprintf(path, sizeof path, "%s\\%s", folder, name);
    return length > 0 && length < PATH_SIZE && MultiByteToWideChar(CP_ACP, 0, path, -1, out, PATH_SIZE) > 0;
}

static int fail(const char* what, unsigned long n)
{
    fprintf(stderr, "create_files: %s failed at file %lu (error %lu)\n", what, n, GetLastError());
    return 2;
}

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5 || (argc == 5 && strcmp(argv[4], "moved") != 0)) {
        fprintf(stderr, "usage: create_files FOLDER COUNT SIZE [moved]\n");
        return 2;
    }
    const unsigned long count = strtoul(argv[2], nullptr, 10);
    const unsigned long size = strtoul(argv[3], nullptr, 10);
    const bool moved = argc == 5;
    if (size > MAX_SIZE) {
        fprintf(stderr, "create_files: SIZE is at most %lu\n", MAX_SIZE);
        return 2;
    }
    for (unsigned long i = 0; i < size; i++)
        data[i] = static_cast<char>(i * 7);
    for (unsigned long n = 0; n < count; n++) {
        char name[32];
        snprintf(name, sizeof name, "file%lu.dat", n);
        wchar_t path[PATH_SIZE];
        wchar_t temp[PATH_SIZE];
        if (!wide_path(argv[1], name, path) || !wide_path(argv[1], "~new.tmp", temp))
            return fail("naming", n);
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        const HANDLE file = CreateFileW(moved ? temp : path, GENERIC_WRITE | DELETE, share, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return fail("CreateFileW", n);
        DWORD written = 0;
        if (size > 0 && (!WriteFile(file, data, size, &written, nullptr) || written != size))
            return fail("WriteFile", n);
        if (moved && !MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING))
            return fail("MoveFileExW", n);
        if (!CloseHandle(file))
            return fail("CloseHandle", n);
    }
    return 0;
}
