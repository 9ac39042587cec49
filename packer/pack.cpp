// packer/pack.cpp: writing a level-0 archive of files, ymw-pack's work: the
// files gathered and their names checked by the installer's own rules,
// each packed -lh1- or stored, the archive written beside its place and
// moved there when complete.
//
// The inputs are walked twice: once to check every member before anything
// is read, then to check each again and pack it. Nothing is kept of a
// member once it is packed but its name's key (packer/member_names.h).
//
// State:
//   inputs, input_count  the files and folders given, in order.
//   input_at      the next input to walk.
//   folder_order, folder_count, folder_at  the names of the folder being
//                 walked, sorted; how many, and the next one.
//   folder_text, folder_text_used  the text of those names.
//   member_path, member_seen  the path of the member walked last, and
//                 what stood there when it was walked.
//   archive_name, archive_target  the archive's path, and what stood
//                 there when it was checked.
//   writing       the archive being written, which is no member where it
//                 stands in a folder being packed.
//   member_count  the members check_pack found.
//   input         the data of the member being packed.
//   packed        its -lh1- packed data, used only below SIZE_LIMIT.
//   quiet         no line for what went well.
//   stamp_limit, stamps_in_utc  SOURCE_DATE_EPOCH, when it is set.
#include "packer/pack.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/files.h"
#include "host/packer_files.h"
#include "host/packer_names.h"
#include "lha/header.h"
#include "lha/pack/dos_stamp.h"
#include "lha/pack/pack_member.h"
#include "packer/member_names.h"
#include "packer/report.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

namespace {

// Files of this size or more do not fit the three bytes of a size field.
constexpr uint64_t SIZE_LIMIT = uint64_t{MAX_MEMBER_SIZE} + 1;
// The length of a path.
constexpr int MAX_PATH_SIZE = 4096;
// Names in one folder, and the room for their text: 64 bytes a name on
// average.
constexpr int MAX_FOLDER_NAMES = MAX_MEMBER_NAMES;
constexpr size_t FOLDER_TEXT_SIZE = 64 * size_t{MAX_FOLDER_NAMES};

// One member as it is checked.
struct Member {
    char name[MAX_MEMBER_NAME + 1];     // the member name, code page 932
    int name_length;
    SourceInfo source;                  // the file when it was checked
};

char* const* inputs;
int input_count;
int input_at;
char* folder_order[MAX_FOLDER_NAMES];
int folder_count;
int folder_at;
char folder_text[FOLDER_TEXT_SIZE];
size_t folder_text_used;
char member_path[MAX_PATH_SIZE];
SourceInfo member_seen;
const char* archive_name;
SourceInfo archive_target;
SourceInfo writing;
int member_count;
uint8_t input[SIZE_LIMIT];
uint8_t packed[SIZE_LIMIT];
bool quiet;
int64_t stamp_limit;
bool stamps_in_utc;

void fail_line(const char* reason, const char* what)
{
    pack_failure("%s: %s", reason, what);
}

// The line of a file too large for a member.
void fail_too_large(const char* path)
{
    pack_failure("file of %s: %s", OVER_MAX_MEMBER_SIZE, path);
}

// The line of a file that could not be opened for reading: the system's
// reason, or that it is not a regular file.
void fail_open(const SourceInfo& source, const char* path)
{
    if (source.kind == SOURCE_ABSENT)
        pack_system_failure("cannot read", path);
    else
        fail_line("not a regular file", path);
}

const char* name_fault_reason(NameFault fault)
{
    switch (fault) {
    case NAME_FITS:
        break;
    case NAME_EMPTY:
        return "no file name";
    case NAME_FORBIDDEN_CHARACTER:
        return "name holds a character that Windows does not allow in file names";
    case NAME_INVALID_PAIR:
        return "name does not convert to code page 932";
    case NAME_DOTS:
        return "name of dots that Windows takes for a folder";
    case NAME_DEVICE:
        return "name that Windows takes for a device";
    case NAME_DOT_OR_BLANK_AT_END:
        return "name ending in a dot or a blank, which Windows drops";
    }
    return "";
}

// -- The walk over the inputs -----------------------------------------------

int compare_names(const void* a, const void* b)
{
    return strcmp(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

bool join(char* out, const char* folder, const char* name)
{
    const size_t length = strlen(folder);
    const bool separated = length > 0 && folder[length - 1] == '/';
    return compose(out, MAX_PATH_SIZE, {folder, separated ? "" : "/", name});
}

// Reads the names of a folder and sorts them. False after the line of a
// folder that cannot be read or has more names than there is room for.
bool list_folder(const char* folder)
{
    folder_count = 0;
    folder_at = 0;
    folder_text_used = 0;
    if (!open_source_folder(folder)) {
        pack_system_failure("cannot read the folder", folder);
        return false;
    }
    bool ok = true;
    while (const char* name = next_source_name()) {
        const size_t size = strlen(name) + 1;
        if (folder_count == MAX_FOLDER_NAMES || folder_text_used + size > FOLDER_TEXT_SIZE) {
            fail_line("too many files", folder);
            ok = false;
            break;
        }
        folder_order[folder_count++] = strcpy(folder_text + folder_text_used, name);
        folder_text_used += size;
    }
    close_source_folder();
    qsort(folder_order, static_cast<size_t>(folder_count), sizeof folder_order[0], compare_names);
    return ok;
}

void start_inputs()
{
    input_at = 0;
    folder_at = folder_count = 0;
}

enum InputStep {
    INPUT_MEMBER,   // member_path holds the next member's file
    INPUT_END,      // every input is walked
    INPUT_REFUSED,  // the line of a refusal is printed
};

// The next file of the inputs, in member_path: a file given, or the next
// file of a folder given. Anything else in a folder is refused: the
// installer makes no folders.
InputStep next_input_path()
{
    while (folder_at == folder_count) {
        if (input_at == input_count)
            return INPUT_END;
        const char* path = inputs[input_at++];
        member_seen = look_at_source(path);
        if (member_seen.kind == SOURCE_FOLDER) {
            if (!list_folder(path))
                return INPUT_REFUSED;
            continue;
        }
        if (strlen(path) >= MAX_PATH_SIZE) {
            fail_line("path too long", path);
            return INPUT_REFUSED;
        }
        strcpy(member_path, path);
        return INPUT_MEMBER;
    }
    const char* name = folder_order[folder_at++];
    if (!join(member_path, inputs[input_at - 1], name)) {
        fail_line("path too long", name);
        return INPUT_REFUSED;
    }
    // A Unix name with a \ in it, which Windows would take for a path, is
    // refused here as its own name rather than opened as a path.
    if (!is_one_windows_name(name)) {
        fail_line(name_fault_reason(NAME_FORBIDDEN_CHARACTER), member_path);
        return INPUT_REFUSED;
    }
    member_seen = look_at_source(member_path);
    if (member_seen.kind == SOURCE_FOLDER) {
        fail_line("a folder in a folder to pack; the installer makes no folders", member_path);
        return INPUT_REFUSED;
    }
    return INPUT_MEMBER;
}

// Whether `a` and `b` are one and the same file.
bool same_file(const SourceInfo& a, const SourceInfo& b)
{
    return a.kind == SOURCE_FILE && b.kind == SOURCE_FILE && a.volume == b.volume && a.index == b.index;
}

// The next member's file, as next_input_path finds it, the archive being
// written passed over.
InputStep next_input()
{
    for (;;) {
        const InputStep step = next_input_path();
        if (step != INPUT_MEMBER || !same_file(member_seen, writing))
            return step;
    }
}

// -- The members ------------------------------------------------------------

// The member name of the file at `path` into `m`, converted and checked;
// false after the line of its refusal.
bool take_member_name(const char* path, Member& m)
{
    const char* name = source_base_name(path);
    char converted[MAX_PATH_SIZE];
    const long length = *name == '\0' ? 0 : source_name_to_cp932(name, converted, sizeof converted);
    if (length < 0) {
        fail_line("name does not convert to code page 932", path);
        return false;
    }
    const NameFault fault = windows_name_fault(length == 0 ? "" : converted);
    if (fault != NAME_FITS) {
        fail_line(name_fault_reason(fault), path);
        return false;
    }
    if (length > MAX_MEMBER_NAME) {
        fail_line("name longer than 233 bytes in code page 932", path);
        return false;
    }
    memcpy(m.name, converted, static_cast<size_t>(length) + 1);
    m.name_length = static_cast<int>(length);
    if (is_installer_written(m.name)) {
        fail_line("a file the installer writes itself, over this member", path);
        return false;
    }
    return true;
}

// The line of two members that Windows takes for one file: the member
// `earlier` of the inputs, found by walking them again, and the file at
// `path` named `name`.
void fail_twins(int earlier, const char* path, const char* name)
{
    char later_path[MAX_PATH_SIZE];
    strcpy(later_path, path);
    start_inputs();
    for (int i = 0; i <= earlier; i++) {
        if (next_input() != INPUT_MEMBER) {
            // The inputs changed under the packer: the earlier one is gone.
            fail_line("a name that Windows takes for an earlier member's", later_path);
            return;
        }
    }
    Member first;
    const bool same = take_member_name(member_path, first) && strcmp(first.name, name) == 0;
    pack_failure("%s: %s and %s", same ? "the same member name twice" : "names that Windows takes for the same file",
                 member_path, later_path);
}

// Checks the file at member_path as the member `index`, its name
// converted and checked and its kind and size looked at without reading
// it, into `m`. False after the line of its refusal.
bool check_member(int index, Member& m)
{
    const char* path = member_path;
    if (!take_member_name(path, m))
        return false;
    int earlier = 0;
    switch (remember_member_name(m.name, index, &earlier)) {
    case NAME_NEW:
        break;
    case NAME_TWIN:
        fail_twins(earlier, path, m.name);
        return false;
    case NAME_NO_KEY:
        fail_line("name does not convert to code page 932", path);
        return false;
    case NAME_NO_ROOM:
        pack_failure("too many files: more than %d, or their names too long: %s", MAX_MEMBER_NAMES, path);
        return false;
    }
    FILE* file = open_source_file(path, &m.source);
    if (file == nullptr) {
        fail_open(m.source, path);
        return false;
    }
    fclose(file);
    if (m.source.size >= SIZE_LIMIT) {
        fail_too_large(path);
        return false;
    }
    if (same_file(m.source, archive_target)) {
        pack_failure("the archive is one of the files to pack: %s is %s", archive_name, path);
        return false;
    }
    return true;
}

// The MS-DOS stamp of a file's time: in local time, or in UTC and no later
// than SOURCE_DATE_EPOCH where that is set.
uint32_t member_stamp(int64_t modified)
{
    if (stamps_in_utc && stamp_limit < modified)
        modified = stamp_limit;
    const time_t when = static_cast<time_t>(modified);
    const tm* t = stamps_in_utc ? gmtime(&when) : localtime(&when);
    if (t == nullptr)
        return dos_stamp({0, 1, 1, 0, 0, 0});
    return dos_stamp({t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec});
}

// Reads one member's file into `input`; false (after its line) when it
// cannot be read, or is too large.
bool read_member(Member& m, size_t& size)
{
    SourceInfo now;
    FILE* f = open_source_file(member_path, &now);
    if (f == nullptr) {
        fail_open(now, member_path);
        return false;
    }
    size = fread(input, 1, sizeof input, f);
    if (ferror(f) != 0) {
        pack_system_failure("cannot read", member_path);
        fclose(f);
        return false;
    }
    fclose(f);
    if (size >= SIZE_LIMIT) {
        fail_too_large(member_path);
        return false;
    }
    m.source.modified = now.modified;
    return true;
}

// Packs one member and appends its header and data to the archive, which
// becomes `archive_path`.
bool write_member(FILE* archive, const char* archive_path, Member& m, PackMethod method)
{
    size_t size = 0;
    if (!read_member(m, size))
        return false;

    PackedMember packed_member;
    if (pack_member(input, size, m.name, static_cast<size_t>(m.name_length), member_stamp(m.source.modified), method,
                    packed, &packed_member) != PACK_DONE) {
        pack_failure("-lh1- data of %s, too large for a header: %s", OVER_MAX_MEMBER_SIZE, member_path);
        return false;
    }
    const PackedMember& p = packed_member;
    if (fwrite(p.header, 1, p.header_size, archive) != p.header_size ||
        fwrite(p.data, 1, p.data_size, archive) != p.data_size) {
        pack_system_failure("cannot write", archive_path);
        return false;
    }
    if (!quiet) {
        const double ratio = size == 0 ? 100.0 : 100.0 * static_cast<double>(p.data_size) / static_cast<double>(size);
        pack_print(stderr, "%s  %llu -> %llu bytes  %.1f%%  %s\n", member_path, static_cast<unsigned long long>(size),
                   static_cast<unsigned long long>(p.data_size), ratio, p.compressed ? "-lh1-" : "-lh0-");
    }
    return true;
}

// Walks the inputs, checking each member, and packs each into `archive`
// where that is given. The number of members, or -1 after the line of a
// refusal or a failure.
int walk_members(FILE* archive, const char* archive_path, PackMethod method)
{
    forget_member_names();
    start_inputs();
    int count = 0;
    for (;;) {
        const InputStep step = next_input();
        if (step == INPUT_END)
            return count;
        Member m;
        if (step == INPUT_REFUSED || !check_member(count, m) ||
            (archive != nullptr && !write_member(archive, archive_path, m, method)))
            return -1;
        count++;
    }
}

}  // namespace

bool take_source_date_epoch()
{
    const char* epoch = getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr || *epoch == '\0')
        return true;
    // Up to the last moment that an MS-DOS stamp holds.
    int64_t value = 0;
    for (const char* c = epoch; *c != '\0'; c++) {
        if (*c < '0' || *c > '9' || value > DOS_LAST_UNIX_TIME)
            return false;
        value = value * 10 + (*c - '0');
    }
    if (value > DOS_LAST_UNIX_TIME)
        return false;
    stamp_limit = value;
    stamps_in_utc = true;
    return true;
}

bool check_pack(const char* archive_path, char* const* paths, int count)
{
    inputs = paths;
    input_count = count;
    archive_name = archive_path;
    archive_target = look_at_source(archive_path);
    if (archive_target.kind == SOURCE_FOLDER || archive_target.kind == SOURCE_OTHER) {
        fail_line(archive_target.kind == SOURCE_FOLDER ? "the archive would replace a folder"
                                                       : "the archive is no regular file",
                  archive_path);
        return false;
    }
    member_count = walk_members(nullptr, archive_path, PACK_SMALLER);
    return member_count >= 0;
}

int packed_member_count()
{
    return member_count;
}

bool write_pack(const char* archive_path, PackMethod method, bool quiet_run)
{
    quiet = quiet_run;
    FILE* archive = create_archive_file(archive_path);
    if (archive == nullptr) {
        pack_system_failure("cannot create a file beside", archive_path);
        return false;
    }
    writing = look_at_open_file(archive);
    bool ok = walk_members(archive, archive_path, method) >= 0;
    writing = SourceInfo{};
    if (ok && fputc(0, archive) == EOF) {
        pack_system_failure("cannot write", archive_path);
        ok = false;
    }
    if (!ok) {
        discard_file(archive);
        return false;
    }
    if (!finish_file(archive)) {
        pack_system_failure("cannot write the finished archive to", archive_path);
        return false;
    }
    return true;
}
