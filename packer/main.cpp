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
// This file is the command line and the lines of the listing and the
// test: the packing is lha/pack.cpp, the walk over an archive
// lha/archive_check.cpp.
//
// State: the notes of a listing (notes, note_count), one per reason that
// a member cannot be extracted by the installer, numbered in the order in
// which they first occur.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/ending.h"
#include "host/packer_files.h"
#include "lha/archive_check.h"
#include "packer/pack.h"
#include "shared/version.h"

namespace {

enum ExitCode { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

enum ArchiveCheck {
    CHECK_LIST,  // each member's sizes, ratio, method, CRC, time and name, a total line, the notes
    CHECK_TEST,  // each member decoded and its CRC compared
};

// The most notes of one listing, and the room for each.
constexpr int MAX_NOTES = 64;
constexpr size_t NOTE_SIZE = 128;
// Room for a member's name in UTF-8, a time stamp, a member's marks.
constexpr size_t SHOWN_NAME_SIZE = 4 * MAX_LISTED_NAME;
constexpr size_t STAMP_SIZE = 32;
constexpr size_t MARK_SIZE = 4 * OBSTACLE_KINDS + 2;

char notes[MAX_NOTES][NOTE_SIZE];
int note_count;

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

// The member's name in UTF-8, for a line.
const char* shown_name(const AnyHeader& h)
{
    static char shown[SHOWN_NAME_SIZE];
    if (cp932_to_source_name(h.name, strlen(h.name), shown, sizeof shown) < 0)
        strcpy(shown, "?");
    return shown;
}

// The time stamp as YYYY-MM-DD HH:MM: an MS-DOS stamp as it stands (it
// has no zone), a Unix time in the local time of this system.
const char* shown_stamp(const AnyHeader& h)
{
    static char shown[STAMP_SIZE];
    if (h.stamp_kind == STAMP_DOS) {
        const unsigned date = h.stamp >> 16;
        const unsigned time_of_day = h.stamp & 0xFFFF;
        snprintf(shown, sizeof shown, "%04u-%02u-%02u %02u:%02u", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                 time_of_day >> 11, (time_of_day >> 5) & 63);
        return shown;
    }
    const time_t when = static_cast<time_t>(h.stamp);
    const tm* t = localtime(&when);
    if (t == nullptr || strftime(shown, sizeof shown, "%Y-%m-%d %H:%M", t) == 0)
        strcpy(shown, "unknown");
    return shown;
}

// Why the installer cannot extract a member, for one obstacle.
void obstacle_text(unsigned obstacle, const AnyHeader& h, char* text, size_t capacity)
{
    switch (obstacle) {
    case OBSTACLE_LEVEL:
        snprintf(text, capacity, "a level-%d header, which the installer does not read", h.level);
        break;
    case OBSTACLE_METHOD:
        snprintf(text, capacity, "method %s, which the installer does not extract", h.method);
        break;
    case OBSTACLE_NAME:
        snprintf(text, capacity, "a name that the installer refuses to create");
        break;
    case OBSTACLE_FOLDER:
        snprintf(text, capacity, "a name in a folder, which the installer does not make");
        break;
    default:
        snprintf(text, capacity, "16 MiB or more, more than the installer reads of a size");
        break;
    }
}

// The number of the note that says `text`, a new one when it is new; 0
// when there is no room for more.
int note_number(const char* text)
{
    for (int i = 0; i < note_count; i++)
        if (strcmp(notes[i], text) == 0)
            return i + 1;
    if (note_count == MAX_NOTES)
        return 0;
    snprintf(notes[note_count], NOTE_SIZE, "%s", text);
    return ++note_count;
}

// The member's marks: "*" and the numbers of its notes, "" for none.
const char* marks_of(const WalkedMember& m)
{
    static char marks[MARK_SIZE];
    marks[0] = '\0';
    for (int kind = 0; kind < OBSTACLE_KINDS; kind++) {
        if ((m.obstacles & 1u << kind) == 0)
            continue;
        char text[NOTE_SIZE];
        obstacle_text(1u << kind, m.header, text, sizeof text);
        const size_t length = strlen(marks);
        snprintf(marks + length, sizeof marks - length, "%s%d", length == 0 ? "*" : ",", note_number(text));
    }
    return marks;
}

double ratio_of(uint64_t packed, uint64_t size)
{
    return size == 0 ? 100.0 : 100.0 * static_cast<double>(packed) / static_cast<double>(size);
}

// The line of a walk that cannot go on, after `count` members.
void report_walk_end(const char* path, WalkStep step, int count)
{
    if (step == WALK_READ_FAILED) {
        const char* reason = system_failure_reason();
        pack_failure("cannot read %s: %s", path, reason);
        return;
    }
    const char* what = step == WALK_BAD_SUM   ? "header checksum error"
                       : step == WALK_BAD_CRC ? "header CRC error"
                       : step == WALK_CUT     ? "the archive ends before its end marker"
                       : step == WALK_LEVEL   ? "a header of a level above 2, which ymw-pack does not read"
                                              : "damaged header";
    pack_failure("%s: %s after %d member%s", path, what, count, count == 1 ? "" : "s");
}

// The line of a member whose data could not be read to its end; false
// when the walk cannot go on.
bool report_member_check(const char* path, const WalkedMember& m, MemberCheck check)
{
    switch (check) {
    case MEMBER_INTACT:
        return true;
    case MEMBER_DAMAGED:
        pack_failure("%s: %s: CRC mismatch, the member is damaged", path, shown_name(m.header));
        return true;
    case MEMBER_UNTESTABLE:
        if (m.obstacles & OBSTACLE_METHOD)
            pack_failure("%s: %s: cannot test: method %s", path, shown_name(m.header), m.header.method);
        else
            pack_failure("%s: %s: cannot test: 4 GiB or more", path, shown_name(m.header));
        return true;
    case MEMBER_CUT:
        pack_failure("%s: %s: the archive ends inside this member", path, shown_name(m.header));
        return false;
    case MEMBER_OVERRUN:
        pack_failure("%s: %s: CRC mismatch, the member is damaged past its end", path, shown_name(m.header));
        return false;
    case MEMBER_READ_FAILED:
        break;
    }
    const char* reason = system_failure_reason();
    pack_failure("cannot read %s: %s", path, reason);
    return false;
}

// Lists every member: its sizes, ratio, method, CRC, time stamp, marks and
// name; a total line; and the notes that the marks refer to. True when the
// archive was read to its end marker.
bool list_archive(const char* path)
{
    printf("%10s %10s %6s  %-6s %-4s  %-16s  %-5s %s\n", "size", "packed", "ratio", "method", "crc", "time", "note",
           "name");
    uint64_t total_size = 0;
    uint64_t total_packed = 0;
    int count = 0;
    for (;;) {
        WalkedMember m;
        const WalkStep step = walk_next_member(&m);
        if (step == WALK_END)
            break;
        if (step != WALK_MEMBER) {
            report_walk_end(path, step, count);
            return false;
        }
        const MemberCheck check = skip_walked_member(m);
        if (!report_member_check(path, m, check))
            return false;
        const AnyHeader& h = m.header;
        const char* marks = marks_of(m);
        printf("%10llu %10llu %5.1f%%  %-6s %04x  %s  %-5s %s\n", static_cast<unsigned long long>(h.unpacked_size),
               static_cast<unsigned long long>(h.packed_size), ratio_of(h.packed_size, h.unpacked_size), h.method,
               h.crc, shown_stamp(h), marks, shown_name(h));
        count++;
        total_size += h.unpacked_size;
        total_packed += h.packed_size;
    }
    printf("%10llu %10llu %5.1f%%  %d member%s\n", static_cast<unsigned long long>(total_size),
           static_cast<unsigned long long>(total_packed), ratio_of(total_packed, total_size), count,
           count == 1 ? "" : "s");
    if (note_count > 0)
        printf("The installer cannot extract the members marked:\n");
    for (int i = 0; i < note_count; i++)
        printf("*%d %s\n", i + 1, notes[i]);
    return true;
}

// Tests every member that the installer's decoder can decode, says of the
// others that they cannot be tested, and of each member that the installer
// cannot extract why. True when every member is intact and extractable.
bool test_archive(const char* path, bool quiet)
{
    int count = 0;
    bool all_right = true;
    for (;;) {
        WalkedMember m;
        const WalkStep step = walk_next_member(&m);
        if (step == WALK_END)
            break;
        if (step != WALK_MEMBER) {
            report_walk_end(path, step, count);
            return false;
        }
        const MemberCheck check = test_walked_member(m);
        if (!report_member_check(path, m, check))
            return false;
        count++;
        if (check == MEMBER_INTACT && !quiet)
            printf("%s  OK\n", shown_name(m.header));
        // A method that could not be tested has said so already.
        const unsigned obstacles = check == MEMBER_UNTESTABLE ? m.obstacles & ~OBSTACLE_METHOD : m.obstacles;
        for (int kind = 0; kind < OBSTACLE_KINDS; kind++) {
            if ((obstacles & 1u << kind) == 0)
                continue;
            char text[NOTE_SIZE];
            obstacle_text(1u << kind, m.header, text, sizeof text);
            pack_failure("%s: %s: %s", path, shown_name(m.header), text);
        }
        all_right = all_right && check == MEMBER_INTACT && m.obstacles == 0;
    }
    if (all_right && !quiet)
        printf("%s: %d member%s OK\n", path, count, count == 1 ? "" : "s");
    return all_right;
}

// Lists or tests the archive at `path`.
bool check_archive(const char* path, ArchiveCheck mode, bool quiet)
{
    SourceInfo source;
    if (!open_walk(path, &source)) {
        if (source.kind == SOURCE_ABSENT) {
            const char* reason = system_failure_reason();
            pack_failure("cannot read %s: %s", path, reason);
        } else {
            pack_failure("not a regular file: %s", path);
        }
        return false;
    }
    const bool done = mode == CHECK_LIST ? list_archive(path) : test_archive(path, quiet);
    close_walk();
    return done;
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
    if (!is_replaceable_archive(argv[first])) {
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
