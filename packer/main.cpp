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
// command line (or SOURCE_DATE_EPOCH) is wrong. Options are read by
// getopt_long, up to the first argument that is none.
//
// This file is the command line: the packing is packer/pack.cpp, the
// listing and the test packer/listing.cpp. No state.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/ending.h"
#include "host/packer_arguments.h"
#include "host/packer_console.h"
#include "host/packer_files.h"
#include "lha/pack/archive_check.h"
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
    "                    marking those the installer cannot extract or keep\n"
    "  -t, --test        decode every member of ARCHIVE and check its CRC\n"
    "  -q, --quiet       print nothing but failures\n"
    "  --method lh0|lh1  one method for every member\n"
    "  -h, --help        this text\n"
    "  --version         the version\n"
    "  --                the end of the options\n"
    "\n"
    "Long options may be shortened where that names one. Standard input is\n"
    "not read: name a file called - as ./-. Exit code 0 when done, 1 when a\n"
    "file or the archive fails, 2 for a wrong command line. SOURCE_DATE_EPOCH,\n"
    "when set, caps every time stamp, and the stamps are taken in UTC.\n";

// The values getopt_long gives for the options without a letter.
enum LongOnly { OPTION_VERSION = 0x100, OPTION_METHOD };

const option LONG_OPTIONS[] = {
    {"list", no_argument, nullptr, 'l'},
    {"test", no_argument, nullptr, 't'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, OPTION_VERSION},
    {"method", required_argument, nullptr, OPTION_METHOD},
    {nullptr, 0, nullptr, 0},
};
// "+": the options end at the first argument that is none; ":": a missing
// value is told apart from an unknown option.
const char SHORT_OPTIONS[] = "+:lqth";

int usage_error(const char* reason, const char* what)
{
    pack_failure("%s: %s (see ymw-pack --help)", reason, what);
    return EXIT_USAGE;
}

// Whether the file at `path` may be replaced by a new archive
// (lha/pack/archive_check.h); what is not a regular file is left to the
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
        pack_system_failure("cannot write to", "standard output");
        return EXIT_FAILED;
    }
    return code;
}

// The options as read.
struct Options {
    int mode;  // 0 (packing), 'l' or 't'
    bool quiet;
    PackMethod method;  // PACK_SMALLER unless --method gave one
};

// Reads the options into `o`. True when the files follow at optind; false
// when the run ends with *code, after the usage, the version or the line
// of a wrong option.
bool read_options(int argc, char** argv, Options& o, int* code)
{
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, SHORT_OPTIONS, LONG_OPTIONS, nullptr);
        switch (c) {
        case -1:
            return true;
        case 'h':
            fputs(USAGE, stdout);
            *code = after_output(EXIT_DONE);
            return false;
        case OPTION_VERSION:
            printf("ymw-pack %s\n", YAMAWYRM_VERSION);
            *code = after_output(EXIT_DONE);
            return false;
        case 'q':
            o.quiet = true;
            break;
        case 'l':
        case 't':
            if (o.mode != 0 && o.mode != c) {
                *code = usage_error("one mode at a time", "-l and -t");
                return false;
            }
            o.mode = c;
            break;
        case OPTION_METHOD:
            if (*optarg == '\0' || (strcmp(optarg, "lh0") != 0 && strcmp(optarg, "lh1") != 0)) {
                *code = *optarg == '\0' ? usage_error("--method needs a method", "lh0 or lh1")
                                        : usage_error("unknown method", optarg);
                return false;
            }
            o.method = optarg[2] == '0' ? PACK_STORED : PACK_LH1;
            break;
        case ':':
            *code = usage_error("--method needs a method", "lh0 or lh1");
            return false;
        default: {
            // An unknown letter, or a long option that names none (or
            // more than one).
            const char letter[] = {'-', static_cast<char>(optopt), '\0'};
            *code = usage_error("unknown option", optopt != 0 ? letter : argv[optind - 1]);
            return false;
        }
        }
    }
}

// Readies the standard streams (host/packer_console.h) and expands the
// arguments where the system leaves that to the program
// (host/packer_arguments.h); false after the line of a pattern that
// matches no file, or too many.
bool take_arguments(int* argc, char*** argv)
{
    prepare_standard_streams();
    const char* pattern = nullptr;
    switch (take_source_arguments(argc, argv, &pattern)) {
    case ARGUMENTS_TAKEN:
        break;
    case ARGUMENTS_UNMATCHED:
        pack_failure("no file matches: %s", pattern);
        return false;
    case ARGUMENTS_TOO_MANY:
        pack_failure("too many files match: %s", pattern);
        return false;
    }
    return true;
}

// -l and -t: the one archive, argv[first], listed or tested.
int run_check(const Options& o, int argc, char** argv, int first)
{
    if (o.method != PACK_SMALLER)
        return usage_error("--method is for packing", o.mode == 'l' ? "-l" : "-t");
    if (argc - first != 1)
        return usage_error(o.mode == 'l' ? "-l takes one archive" : "-t takes one archive",
                           argc - first == 0 ? "none given" : argv[first + 1]);
    return after_output(check_archive(argv[first], o.mode == 'l' ? CHECK_LIST : CHECK_TEST, o.quiet) ? EXIT_DONE
                                                                                                     : EXIT_FAILED);
}

// Packing: the archive argv[first] written of the files after it;
// `options_ended` when -- ended the options.
int run_pack(const Options& o, int argc, char** argv, int first, bool options_ended)
{
    if (argc - first < 2)
        return usage_error("an archive and at least one file are needed",
                           argc - first == 0 ? "none given" : argv[first]);
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
    if (!check_pack(argv[first], argv + first + 1, argc - first - 1))
        return EXIT_FAILED;
    if (packed_member_count() == 0) {
        pack_failure("no file to pack in: %s", argv[first + 1]);
        return EXIT_FAILED;
    }
    return write_pack(argv[first], o.method, o.quiet) ? EXIT_DONE : EXIT_FAILED;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!take_arguments(&argc, &argv))
        return EXIT_FAILED;
    // An interrupt leaves no archive half written.
    end_on_interrupt(EXIT_FAILED, nullptr);
    Options o{0, false, PACK_SMALLER};
    int code = EXIT_DONE;
    if (!read_options(argc, argv, o, &code))
        return code;
    const int first = optind;
    const bool options_ended = first > 1 && strcmp(argv[first - 1], "--") == 0;
    // Standard input is not read, and standard output gets no archive.
    for (int i = first; i < argc; i++)
        if (strcmp(argv[i], "-") == 0)
            return usage_error(i == first && o.mode == 0 ? "the archive must be a file, not standard output"
                                                         : "standard input is not read; name a file called - as ./-",
                               "-");
    return o.mode != 0 ? run_check(o, argc, argv, first) : run_pack(o, argc, argv, first, options_ended);
}
