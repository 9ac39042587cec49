// lha/extract.cpp: the archive reader and member extraction.
//
// An archive is a sequence of members, each a level-0 header followed at
// once by its packed data, ended by a single byte 0. It is read strictly
// forward, once per call, whatever the pattern: skipping is reading.
//
// This file keeps no state of its own: the current header is in
// lha/header.cpp, the archive stream, the output file and the CRC register
// in lha/stream.cpp.
//
// Every fault is one line on the console, in English, and the reading goes
// on where it safely can: a bad header ends the archive, a bad member is
// skipped or reported after it was written. Only an archive that cannot be
// opened ends the program.
#include "lha/extract.h"

#include <cstring>

#include "host/console.h"
#include "host/files.h"
#include "lha/header.h"
#include "lha/lh1_decode.h"
#include "lha/stream.h"
#include "shared/buffers.h"
#include "shared/messages.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

// "*" and "*.*" select every member; any other pattern is a name, compared
// byte by byte with A-Z folded to a-z wherever they stand.
static bool is_selected(const char* pattern, const char* name)
{
    if (strcmp(pattern, "*") == 0 || strcmp(pattern, "*.*") == 0)
        return true;
    for (;; pattern++, name++) {
        if (fold_ascii_case(*pattern) != fold_ascii_case(*name))
            return false;
        if (*pattern == '\0')
            return true;
    }
}

// Shift_JIS double-byte characters are stepped over whole, so a trail byte
// 0x5C is not a separator.
bool is_safe_member_name(const char* name)
{
    if (is_path_separator(name[0]) || (name[0] != '\0' && name[1] == ':'))
        return false;
    const char* component = name;
    for (const char* p = name;; p++) {
        if (*p == '\0' || is_path_separator(*p)) {
            if (is_dots_and_blanks(component, p) || is_device_name(component, p))
                return false;
            if (*p == '\0')
                return p == name || p != component;
            component = p + 1;
        } else {
            p += sjis_character_length(p) - 1;
        }
    }
}

// Whether the member may be written as install directory + name: false
// when the name leads out of the install directory or the path would be
// longer than MAX_OUTPUT_PATH. The host composes the path when it opens
// the file. A name field with a NUL byte in it names the file by the bytes
// before the NUL: archivers of some systems keep a comment after it.
static bool may_write_member(const char* name)
{
    return is_safe_member_name(name) && strlen(install_directory) + strlen(name) <= MAX_OUTPUT_PATH;
}

void skip_member_data()
{
    skip_archive_bytes(member_header.packed_size);
}

static void copy_stored_member()
{
    copy_archive_bytes(member_header.packed_size);
}

bool unpack_member(bool* known_method)
{
    crc_register = 0;
    *known_method = true;
    if (is_stored_member()) {
        copy_stored_member();
    } else if (is_lh1_member()) {
        decode_lh1(member_header.unpacked_size);
    } else {
        *known_method = false;
        skip_member_data();
    }
    return output_crc() == member_header.crc;
}

// Writes the current member into the open output file and checks its CRC.
static void extract_member()
{
    bool known_method = true;
    const bool intact = unpack_member(&known_method);
    if (!known_method)
        console_report_failure("Error: unknown method\n");
    if (!intact)
        console_report_failure("Error: CRC mismatch.\n");
}

// The line for the header that ends the archive.
static void report_header_end(HeaderResult result)
{
    if (result == HEADER_END) {
        console_print("[ EOF ]\n");
        return;
    }
    console_report_failure(result == HEADER_BAD_SUM ? "Error: Header sum error\n" : "Error: Header damaged\n");
}

void extract_archive(const char* archive_name, const char* pattern)
{
    if (!open_archive_stream(archive_name)) {
        console_printf("Error: File cannot open. (%s)\n", archive_name);
        console_end_run(1, MSG_PRESS_RETURN);
    }
    // Every member goes into the install directory: the host looks it up
    // once for all of them.
    begin_folder_batch(install_directory);
    for (;;) {
        const HeaderResult result = read_member_header();
        if (result != HEADER_READ) {
            report_header_end(result);
            break;
        }
        const char* name = member_header.name;
        if (!is_selected(pattern, name)) {
            skip_member_data();
            continue;
        }
        if (!may_write_member(name) || !open_output_file(install_directory, name)) {
            console_report_failure("Error: File cannot create. (%s)\n", name);
            skip_member_data();
            continue;
        }
        console_printf("\t%s\n", name);
        // Show the name while a long member is being written.
        console_flush();
        extract_member();
        if (!close_output_file()) {
            console_report_failure("Error: File cannot write. (%s)\n", name);
        }
    }
    end_folder_batch();
    close_archive_stream();
}
