// packer/main.cpp: ymw-pack, the packer of a distribution archive: a
// level-0 LHA archive of -lh1- and -lh0- members, the form the installer
// reads. It also lists and tests LHA archives of header levels 0, 1 and 2,
// testing through the installer's own decoder, and marks each member that
// the installer cannot extract.
//
//   ymw-pack [-q] [--method lh0|lh1] ARCHIVE FILE...
//   ymw-pack -l ARCHIVE        ymw-pack -t [-q] ARCHIVE
//
// Each FILE becomes a member named by its base name in code page 932; a
// folder gives its files, sorted by name. A member is -lh1- where that is
// smaller than storing it, otherwise -lh0-; --method forces one. A name is
// packed only where the installer can create the file under that very
// name on Windows, by the rules the installer itself checks names with.
// Every refusal is one line on standard error and leaves no archive: the
// archive is written under a name of its own beside ARCHIVE and moved over
// it at the end. Exit codes: 0 done, 1 a file or archive failed, 2 the
// command line (or SOURCE_DATE_EPOCH) is wrong.
//
// This file is the command line: the packing is packer/pack.cpp, the
// listing and the test packer/listing.cpp. No state.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/ending.h"
#include "host/packer_files.h"
#include "lha/archive_check.h"
#include "packer/listing.h"
#include "packer/pack.h"
#include "packer/report.h"
#include "shared/version.h"

namespace {

enum ExitCode { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };


const char* const USAGE =
    "Usage: ymw-pack [-q] [--method lh0|lh1] ARCHIVE FILE...\n"
    "       ymw-pack -l ARCHIVE\n"
    "       ymw-pack -t [-q] ARCHIVE\n"
    "Writes a level-0 LHA archive for the installer. Each FILE becomes a member\n"
    "named by its base name in code page 932; a folder gives its files, sorted\n"
    "by name. Members are -lh1-, or -lh0- where compressing does not make them\n"
    "smaller.\n"
    "\n"
    "  -l, --list        list the members of ARCHIVE (header levels 0, 1, 2),\n"
    "                    marking those the installer cannot extract\n"
    "  -t, --test        decode every member of ARCHIVE and check its CRC\n"
    "  -q, --quiet       print nothing but failures\n"
    "  --method lh0|lh1  one method for every member\n"
    "  -h, --help        this text\n"
    "  --version         the version\n"
    "  --                the end of the options\n"
    "\n"
    "Exit code 0 when done, 1 when a file or the archive fails, 2 for a wrong\n"
    "command line. SOURCE_DATE_EPOCH, when set, caps every time stamp, and the\n"
    "stamps are taken in UTC.\n";

int usage_error(const char* reason, const char* what)
{
    pack_failure("%s: %s (see ymw-pack --help)", reason, what);
    return EXIT_USAGE;
}

// The letter of the short option that a long one names, or 0.
char long_option_letter(const char* option)
{
    static const char* const LONG_OPTIONS[] = {"--quiet", "--list", "--test"};
    for (const char* name : LONG_OPTIONS)
        if (strcmp(option, name) == 0)
            return name[2];
    return '\0';
}

// Whether the file at `path` may be replaced by a new archive
// (lha/archive_check.h); what is not a regular file is left to the
// packer's other checks.
bool may_replace_archive(const char* path)
{
    SourceInfo source;
    FILE* file = open_source_file(path, &source);
    return file == nullptr || is_replaceable_archive(file, source.size);
}

// The exit code once standard output is written: a listing, a test report
// or the usage that did not reach it (a full disk, a closed pipe) fails.
int after_output(int code)
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        const char* reason = system_failure_reason();
        pack_failure("cannot write to standard output: %s", reason);
        return EXIT_FAILED;
    }
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    bool quiet = false;
    const char* pattern = nullptr;
    switch (take_source_arguments(&argc, &argv, &pattern)) {
    case ARGUMENTS_TAKEN:
        break;
    case ARGUMENTS_UNMATCHED:
        pack_failure("no file matches: %s", pattern);
        return EXIT_FAILED;
    case ARGUMENTS_TOO_MANY:
        pack_failure("too many files match: %s", pattern);
        return EXIT_FAILED;
    }
    // An interrupt leaves no archive half written.
    end_on_interrupt(EXIT_FAILED, nullptr);
    PackMethod method = PACK_SMALLER;
    bool packing = true;
    ArchiveCheck check = CHECK_LIST;
    int first = 1;
    bool options_ended = false;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; first++) {
        const char* option = argv[first];
        if (strcmp(option, "--") == 0) {
            first++;
            options_ended = true;
            break;
        }
        if (strcmp(option, "--help") == 0 || strcmp(option, "-h") == 0) {
            fputs(USAGE, stdout);
            return after_output(EXIT_DONE);
        }
        if (strcmp(option, "--version") == 0) {
            printf("ymw-pack %s\n", YAMAWYRM_VERSION);
            return after_output(EXIT_DONE);
        }
        if (strcmp(option, "--method") == 0 || strncmp(option, "--method=", 9) == 0) {
            const char* value = option[8] == '=' ? option + 9 : first + 1 < argc ? argv[++first] : nullptr;
            if (value == nullptr || *value == '\0')
                return usage_error("--method needs a method", "lh0 or lh1");
            if (strcmp(value, "lh0") != 0 && strcmp(value, "lh1") != 0)
                return usage_error("unknown method", value);
            method = value[2] == '0' ? PACK_STORED : PACK_LH1;
            continue;
        }
        // Short options, one or several after one dash (-q, -l, -t, -ql),
        // or the long name of one.
        const char long_letter[] = {long_option_letter(option), '\0'};
        if (option[1] == '-' && long_letter[0] == '\0')
            return usage_error("unknown option", option);
        for (const char* letter = option[1] == '-' ? long_letter : option + 1; *letter != '\0'; letter++) {
            if (*letter == 'q') {
                quiet = true;
            } else if (*letter == 'l' || *letter == 't') {
                packing = false;
                check = *letter == 'l' ? CHECK_LIST : CHECK_TEST;
            } else {
                return usage_error("unknown option", option);
            }
        }
    }
    if (!packing) {
        if (argc - first != 1)
            return usage_error(check == CHECK_LIST ? "-l takes one archive" : "-t takes one archive",
                               argc - first == 0 ? "none given" : argv[first + 1]);
        return after_output(check_archive(argv[first], check, quiet) ? EXIT_DONE : EXIT_FAILED);
    }
    if (argc - first < 2)
        return usage_error("an archive and at least one file are needed",
                           argc - first == 0 ? "none given" : argv[first]);
    if (strcmp(argv[first], "-") == 0)
        return usage_error("the archive must be a file, not standard output", "-");
    if (argv[first][0] == '\0')
        return usage_error("the archive needs a name", "\"\"");
    // Options come before the archive: one after it is a mistake, not a
    // file to look for (a file named with a dash follows --).
    for (int i = first + 1; !options_ended && i < argc; i++)
        if (argv[i][0] == '-' && argv[i][1] != '\0')
            return usage_error("an option after the archive; options come first, -- before a file named with a dash",
                               argv[i]);
    if (!take_source_date_epoch())
        return usage_error("SOURCE_DATE_EPOCH is not a number of seconds from 1970 to 2107",
                           getenv("SOURCE_DATE_EPOCH"));
    // A file that this reader does not take for an archive is kept: its
    // name is most likely a file to pack whose archive name was forgotten
    // (`ymw-pack guide.txt license.txt`).
    if (!may_replace_archive(argv[first])) {
        pack_failure("%s: not an archive; refusing to overwrite it", argv[first]);
        return EXIT_USAGE;
    }
    for (int i = first + 1; i < argc; i++)
        if (!add_to_pack(argv[i]))
            return EXIT_FAILED;
    if (packed_member_count() == 0) {
        pack_failure("no file to pack in: %s", argv[first + 1]);
        return EXIT_FAILED;
    }
    return write_pack(argv[first], method, quiet) ? EXIT_DONE : EXIT_FAILED;
}
