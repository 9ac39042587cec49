// installer/install_file.cpp: opening and closing the installer's text
// files, with one Japanese line for each kind of failure.
#include "installer/install_file.h"

#include <cstdio>

#include "host/console.h"
#include "host/files.h"
#include "shared/buffers.h"

namespace {

// ファイル"%s%s"を作成できませんでした。
const char MSG_CANNOT_CREATE[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\"%s%s\"\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\n";
// ファイル"%s%s"の書き込みに失敗しました。
const char MSG_CANNOT_WRITE[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\"%s%s\"\x82\xcc\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\n";

}  // namespace

bool open_install_file(const char* file_name)
{
    file_slot = nullptr;
    if (compose(path_buffer, LINE_SIZE, {install_directory, file_name}))
        file_slot = open_file_in(install_directory, file_name, "w");
    if (file_slot == nullptr) {
        console_report_failure(MSG_CANNOT_CREATE, install_directory, file_name);
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
        console_report_failure(MSG_CANNOT_WRITE, install_directory, file_name);
}
