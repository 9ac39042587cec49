// installer/extraction.cpp: the extraction of the game's files, with its
// lines: the member names, "[ EOF ]", and one line for each fault.
//
// The archive is read once per call, whatever the pattern. Every fault is
// one line on the console, in English, and the reading goes on where it
// safely can: a bad header ends the archive, a bad member is skipped or
// reported after it was written. Only an archive that cannot be opened
// ends the program. No state of its own.
#include "installer/extraction.h"

#include <cstring>

#include "host/console.h"
#include "host/files.h"
#include "installer/messages.h"
#include "installer/run_state.h"
#include "lha/extract.h"
#include "lha/header.h"
#include "lha/stream.h"

namespace {

// Whether the member may be written as install directory + name: false
// when the name leads out of the install directory or the path would be
// longer than MAX_OUTPUT_PATH. The host composes the path when it opens
// the file. A name field with a NUL byte in it names the file by the bytes
// before the NUL: archivers of some systems keep a comment after it.
bool may_write_member(const char* name)
{
    return is_safe_member_name(name) && strlen(install_directory) + strlen(name) <= MAX_OUTPUT_PATH;
}

// Writes the member `member` into the open output file and checks its CRC.
void extract_member(const MemberFacts& member)
{
    bool known_method = true;
    const bool intact = unpack_member(member, &known_method);
    if (!known_method)
        report_failure("Error: unknown method\n");
    if (!intact)
        report_failure("Error: CRC mismatch.\n");
}

// The line for the header that ends the archive.
void report_header_end(HeaderResult result)
{
    if (result == HEADER_END) {
        console_print("[ EOF ]\n");
        return;
    }
    report_failure(result == HEADER_BAD_SUM ? "Error: Header sum error\n" : "Error: Header damaged\n");
}

}  // namespace

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
        const MemberFacts member = facts_of(member_header);
        if (!is_member_selected(pattern, name)) {
            skip_member_data(member);
            continue;
        }
        if (!may_write_member(name) || !open_output_file(install_directory, name)) {
            report_failure("Error: File cannot create. (%s)\n", name);
            skip_member_data(member);
            continue;
        }
        console_printf("\t%s\n", name);
        // Show the name while a long member is being written.
        console_flush();
        extract_member(member);
        if (!close_output_file()) {
            report_failure("Error: File cannot write. (%s)\n", name);
        }
    }
    end_folder_batch();
    close_archive_stream();
}
