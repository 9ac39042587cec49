// installer/install_file.cpp: opening and closing the installer's text
// files, with one Japanese line for each kind of failure.
#include "installer/install_file.h"

#include <cstdio>

#include "host/console.h"
#include "host/files.h"
#include "installer/messages.h"
#include "installer/run_state.h"

bool open_install_file(const char* file_name)
{
    file_slot = open_file_in(install_directory, file_name, "w");
    if (file_slot == nullptr) {
        report_failure(MSG_CANNOT_CREATE, install_directory, file_name);
        return false;
    }
    return true;
}

void close_install_file(const char* file_name)
{
    // A full disk shows only here: the stream keeps the error of a failed
    // write, and the close hands on what was still buffered. A file that
    // was not written whole is not put in place.
    FILE* file = file_slot;
    file_slot = nullptr;
    const bool written = ferror(file) == 0;
    if (!written)
        discard_file(file);
    if (!written || !finish_file(file))
        report_failure(MSG_CANNOT_WRITE, install_directory, file_name);
}
