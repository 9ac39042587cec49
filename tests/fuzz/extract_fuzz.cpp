// tests/fuzz/extract_fuzz.cpp: libFuzzer target for the archive walk: each
// input is written as the archive and extracted with the pattern "*" into
// a real temporary folder.
//
// State, made once by LLVMFuzzerInitialize:
//   work  the temporary folder, the current directory. It holds the
//         archive ymw.lz_, the install directory inst\ with a folder sub
//         and a link "link" to the folder outside, and outside itself.
//
// Besides the sanitizers, two checks trap: nothing may appear in outside
// (written through the link) or in the work folder beside the three
// entries, since no member may leave the install directory.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "installer/extraction.h"
#include "lha/extract.h"
#include "installer/run_state.h"

namespace {

char work[] = "/tmp/ymw-extract-fuzz-XXXXXX";

int remove_entry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

// Empties the install directory and makes its folder and link again.
void reset_install_directory()
{
    nftw("inst", remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    mkdir("inst", 0755);
    mkdir("inst/sub", 0755);
    symlink("../outside", "inst/link");
}

// Traps unless `folder` holds only the entries named in `allowed`
// (NUL-separated, ending in an empty name).
void expect_only(const char* folder, const char* allowed)
{
    DIR* listing = opendir(folder);
    if (listing == nullptr)
        __builtin_trap();
    while (const dirent* entry = readdir(listing)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        bool known = false;
        for (const char* name = allowed; *name != '\0'; name += strlen(name) + 1)
            known = known || strcmp(entry->d_name, name) == 0;
        if (!known)
            __builtin_trap();
    }
    closedir(listing);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (mkdtemp(work) == nullptr || chdir(work) != 0)
        abort();
    mkdir("outside", 0755);
    reset_install_directory();
    strcpy(install_directory, "inst\\");
    // The extraction's lines go nowhere.
    const int null_device = open("/dev/null", O_WRONLY);
    dup2(null_device, STDOUT_FILENO);
    close(null_device);
    atexit([] {
        if (chdir("/") == 0)
            nftw(work, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* archive = fopen("ymw.lz_", "wb");
    if (archive == nullptr || fwrite(data, 1, size, archive) != size || fclose(archive) != 0)
        abort();
    extract_archive("ymw.lz_", "*");
    expect_only("outside", "");
    expect_only(".", "ymw.lz_\0inst\0outside\0");
    reset_install_directory();
    return 0;
}
