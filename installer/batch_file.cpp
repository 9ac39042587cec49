// installer/batch_file.cpp: the batch file that the shortcuts start. It
// changes to the install directory, drive first when the directory names
// one, so that the game runs there whatever the shortcut's working
// directory is.
#include "installer/batch_file.h"

#include <cstdio>

#include "installer/install_file.h"
#include "installer/run_state.h"
#include "shared/installed_files.h"
#include "shared/windows_names.h"

void write_batch_file(const char* file_name)
{
    if (!open_install_file(file_name))
        return;
    fputs("@echo off\n", file_slot);
    // "cd" does not change the current drive, so a directory on another
    // drive needs that drive made current first. The letter keeps its case.
    if (has_colon_second(install_directory))
        fprintf(file_slot, "%c:\n", install_directory[0]);
    fprintf(file_slot, "cd %s\n", install_directory);
    fprintf(file_slot, "%s\n", GAME_EXECUTABLE);
    close_install_file(file_name);
}
