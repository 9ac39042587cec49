// packer/listing.cpp: the lines of ymw-pack's listing and test.
//
// The archive is read twice: first every member's name, to find the
// members that a later one is written over, then member by member for the
// lines.
//
// State: the notes of a listing (notes, note_count), one per reason that
// a member cannot be extracted by the installer or does not stay as it is,
// numbered in the order in which they first occur.
#include "packer/listing.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/packer_files.h"
#include "host/packer_names.h"
#include "lha/header.h"
#include "lha/pack/archive_check.h"
#include "lha/pack/dos_stamp.h"
#include "packer/member_names.h"
#include "packer/report.h"

namespace {

// The most notes of one listing, and the room for each.
constexpr int MAX_NOTES = 64;
constexpr size_t NOTE_SIZE = 128 + 4 * MAX_LISTED_NAME;
// Room for a member's name in UTF-8, a time stamp, a member's marks.
constexpr size_t SHOWN_NAME_SIZE = 4 * MAX_LISTED_NAME;
constexpr size_t STAMP_SIZE = 32;
constexpr size_t MARK_SIZE = 4 * OBSTACLE_KINDS + 2;

char notes[MAX_NOTES][NOTE_SIZE];
int note_count;

// A name of code page 932 in UTF-8, into `shown` (SHOWN_NAME_SIZE bytes).
const char* shown_name(const char* name, char* shown)
{
    if (cp932_to_source_name(name, strlen(name), shown, SHOWN_NAME_SIZE) < 0)
        strcpy(shown, "?");
    return shown;
}

// The member's name in UTF-8, for a line.
const char* shown_name(const AnyHeader& h)
{
    static char shown[SHOWN_NAME_SIZE];
    return shown_name(h.name, shown);
}

// The time stamp as YYYY-MM-DD HH:MM: an MS-DOS stamp as it stands (it
// has no zone), a Unix time in the local time of this system.
const char* shown_stamp(const AnyHeader& h)
{
    static char shown[STAMP_SIZE];
    if (h.stamp_kind == STAMP_DOS) {
        const DosTime t = dos_time(h.stamp);
        snprintf(shown, sizeof shown, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
        return shown;
    }
    const time_t when = static_cast<time_t>(h.stamp);
    const tm* t = localtime(&when);
    if (t == nullptr || strftime(shown, sizeof shown, "%Y-%m-%d %H:%M", t) == 0)
        strcpy(shown, "unknown");
    return shown;
}

// The name under which the installer's file of the member stands.
const char* created_name(const WalkedMember& m, char* name)
{
    if (m.obstacles & OBSTACLE_RENAMED) {
        renamed_name(m.header, name);
        return name;
    }
    return m.header.name;
}

// Why the installer cannot extract a member, or its file does not stay as
// the member has it, for one obstacle.
void obstacle_text(unsigned obstacle, const WalkedMember& m, char* text, size_t capacity)
{
    const AnyHeader& h = m.header;
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
        snprintf(text, capacity, "%s, which the installer does not make",
                 is_folder_entry(h) ? "a folder" : "a name in a folder");
        break;
    case OBSTACLE_SIZE:
        snprintf(text, capacity, "%s, more than the installer reads of a size", OVER_MAX_MEMBER_SIZE);
        break;
    case OBSTACLE_RENAMED: {
        char created[MAX_LISTED_NAME];
        char shown[SHOWN_NAME_SIZE];
        snprintf(text, capacity, "created as \"%s\": Windows drops the dots and blanks at the end of a name",
                 shown_name(created_name(m, created), shown));
        break;
    }
    case OBSTACLE_OVERWRITTEN:
        snprintf(text, capacity, "overwritten: the installer writes a file of its own under this name");
        break;
    default:
        snprintf(text, capacity, "lost: a later member of this name, in this spelling or another, is written over it");
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
        obstacle_text(1u << kind, m, text, sizeof text);
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
        pack_system_failure("cannot read", path);
        return;
    }
    if (step == WALK_NOT_ARCHIVE) {
        pack_failure("%s: not an LHA archive", path);
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
    pack_system_failure("cannot read", path);
    return false;
}

// The first reading: the name of every member that the installer
// extracts, under the name its file gets. False when a name found no room
// (the walk's own faults are left to the second reading).
bool remember_names()
{
    forget_member_names();
    bool all_remembered = true;
    for (int index = 0;; index++) {
        WalkedMember m;
        if (walk_next_member(&m) != WALK_MEMBER || skip_walked_member(m) != MEMBER_INTACT)
            break;
        if (m.obstacles & NOT_EXTRACTED)
            continue;
        char created[MAX_LISTED_NAME];
        int earlier = 0;
        all_remembered = remember_member_name(created_name(m, created), index, &earlier) != NAME_NO_ROOM &&
                         all_remembered;
    }
    restart_walk();
    return all_remembered;
}

// The obstacles that only the whole archive shows: the installer's own
// files, and a later member written over this one.
unsigned later_obstacles(const WalkedMember& m, int index)
{
    if (m.obstacles & NOT_EXTRACTED)
        return 0;
    char created[MAX_LISTED_NAME];
    const char* name = created_name(m, created);
    const int last = member_named(name);
    unsigned obstacles = 0;
    if (is_installer_written(name))
        obstacles |= OBSTACLE_OVERWRITTEN;
    if (last >= 0 && last != index)
        obstacles |= OBSTACLE_LOST;
    return obstacles;
}

enum Walked {
    WALKED_MEMBER,        // the next member, its data gone over
    WALKED_END,           // the end marker
    WALKED_STOPPED,       // the walk cannot go on, and its line is printed
    WALKED_CUT_MEMBER,    // as WALKED_STOPPED, inside the data of a member
};

// What the walk does with a member's data.
enum MemberData { SKIP_DATA, TEST_DATA };

// The next member of the walk at `path` into `m`, the `count`th, its data
// tested or skipped as `data` says, with the result in `check`; the line of
// what ends the walk.
Walked walk_checked(const char* path, MemberData data, int count, WalkedMember& m, MemberCheck& check)
{
    const WalkStep step = walk_next_member(&m);
    if (step == WALK_END)
        return WALKED_END;
    if (step != WALK_MEMBER) {
        report_walk_end(path, step, count);
        return WALKED_STOPPED;
    }
    m.obstacles |= later_obstacles(m, count);
    check = data == TEST_DATA ? test_walked_member(m) : skip_walked_member(m);
    return report_member_check(path, m, check) ? WALKED_MEMBER : WALKED_CUT_MEMBER;
}

// The line that says some names were not compared.
const char* const NAMES_NOT_COMPARED =
    "%s: more names than ymw-pack compares (%d): members written over others not looked for";

// Lists every member: its sizes, ratio, method, CRC, time stamp, marks and
// name; a total line; and the notes that the marks refer to. True when the
// archive was read to its end marker.
bool list_archive(const char* path, bool names_compared)
{
    uint64_t total_size = 0;
    uint64_t total_packed = 0;
    int count = 0;
    for (;;) {
        WalkedMember m;
        MemberCheck check;
        const Walked walked = walk_checked(path, SKIP_DATA, count, m, check);
        // The heading once the file is known for an archive.
        if (count == 0 && (walked == WALKED_MEMBER || walked == WALKED_END))
            pack_print(stdout, "%10s %10s %6s  %-6s %-4s  %-16s  %-5s %s\n", "size", "packed", "ratio", "method",
                       "crc", "time", "note", "name");
        if (walked == WALKED_END)
            break;
        if (walked != WALKED_MEMBER)
            return false;
        const AnyHeader& h = m.header;
        const char* marks = marks_of(m);
        pack_print(stdout, "%10llu %10llu %5.1f%%  %-6s %04x  %s  %-5s %s\n",
                   static_cast<unsigned long long>(h.unpacked_size), static_cast<unsigned long long>(h.packed_size),
                   ratio_of(h.packed_size, h.unpacked_size), h.method, h.crc, shown_stamp(h), marks, shown_name(h));
        count++;
        total_size += h.unpacked_size;
        total_packed += h.packed_size;
    }
    pack_print(stdout, "%10llu %10llu %5.1f%%  %d member%s\n", static_cast<unsigned long long>(total_size),
               static_cast<unsigned long long>(total_packed), ratio_of(total_packed, total_size), count,
               count == 1 ? "" : "s");
    if (note_count > 0)
        pack_print(stdout, "The installer cannot extract the members marked, or does not keep them as they are:\n");
    for (int i = 0; i < note_count; i++)
        pack_print(stdout, "*%d %s\n", i + 1, notes[i]);
    if (!names_compared)
        pack_failure(NAMES_NOT_COMPARED, path, MAX_MEMBER_NAMES);
    return true;
}

// Tests every member that the installer's decoder can decode, says of the
// others that they cannot be tested, and of each member that the installer
// cannot extract, or does not keep, why; a failed test ends with the line
// of how many members failed. True when every member is intact and
// extractable.
bool test_archive(const char* path, bool quiet, bool names_compared)
{
    int count = 0;
    int failed = 0;
    Walked walked = WALKED_MEMBER;
    while (walked == WALKED_MEMBER) {
        WalkedMember m;
        MemberCheck check = MEMBER_INTACT;
        walked = walk_checked(path, TEST_DATA, count, m, check);
        if (walked == WALKED_END || walked == WALKED_STOPPED)
            break;
        count++;
        // Data that checks out is OK, whatever else the member says; a
        // folder has none.
        if (check == MEMBER_INTACT && !is_folder_entry(m.header) && !quiet)
            pack_print(stdout, "%s  OK\n", shown_name(m.header));
        // A method that could not be tested has said so already.
        const unsigned obstacles = check == MEMBER_UNTESTABLE ? m.obstacles & ~OBSTACLE_METHOD : m.obstacles;
        for (int kind = 0; kind < OBSTACLE_KINDS; kind++) {
            if ((obstacles & 1u << kind) == 0)
                continue;
            char text[NOTE_SIZE];
            obstacle_text(1u << kind, m, text, sizeof text);
            pack_failure("%s: %s: %s", path, shown_name(m.header), text);
        }
        failed += check == MEMBER_INTACT && m.obstacles == 0 ? 0 : 1;
    }
    if (!names_compared)
        pack_failure(NAMES_NOT_COMPARED, path, MAX_MEMBER_NAMES);
    const bool read_whole = walked == WALKED_END;
    if (read_whole && failed == 0 && names_compared) {
        if (!quiet)
            pack_print(stdout, "%s: %d member%s OK\n", path, count, count == 1 ? "" : "s");
        return true;
    }
    // An archive that stopped at its first header has said so.
    if (failed > 0 || (!read_whole && count > 0))
        pack_failure("%s: %d of %d member%s failed the test%s", path, failed, count, count == 1 ? "" : "s",
                     read_whole ? "" : ", and the archive could not be read to its end");
    return false;
}

}  // namespace

bool check_archive(const char* path, ArchiveCheck mode, bool quiet)
{
    SourceInfo source;
    FILE* file = open_source_file(path, &source);
    if (file == nullptr) {
        if (source.kind == SOURCE_ABSENT) {
            pack_system_failure("cannot read", path);
        } else {
            pack_failure("not a regular file: %s", path);
        }
        return false;
    }
    start_walk(file);
    const bool names_compared = remember_names();
    const bool done =
        mode == CHECK_LIST ? list_archive(path, names_compared) : test_archive(path, quiet, names_compared);
    close_walk();
    return done;
}
