// packer/pack.cpp: writing a level-0 archive of files, ymw-pack's work: the
// files gathered and their names checked by the installer's own rules,
// each packed -lh1- or stored, the archive written beside its place and
// moved there when complete.
//
// State:
//   members       the members to write, in archive order, with their
//                 names converted and checked.
//   member_count  how many of them there are.
//   folder_names, folder_order  the names in a folder being listed, and
//                 the same sorted.
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
#include "lha/header.h"
#include "lha/pack_member.h"
#include "packer/report.h"
#include "shared/compose.h"
#include "shared/installed_files.h"
#include "shared/windows_names.h"

namespace {

// Files of this size or more do not fit the three bytes of a size field.
constexpr uint64_t SIZE_LIMIT = uint64_t{MAX_MEMBER_SIZE} + 1;
// Members of one archive, and the length of a path.
constexpr int MAX_MEMBERS = 4096;
constexpr int MAX_PATH_SIZE = 4096;
// Names in one folder, and their room.
constexpr int MAX_FOLDER_NAMES = MAX_MEMBERS;
constexpr int FOLDER_NAME_SIZE = 1024;

struct Member {
    char path[MAX_PATH_SIZE];           // the file, as given or below a folder
    char name[MAX_MEMBER_NAME + 1];     // the member name, code page 932
    int name_length;
    uint16_t key[NAME_KEY_SIZE];        // the name as Windows compares it
    SourceInfo source;                  // the file when it was listed
};

Member members[MAX_MEMBERS];
int member_count;
char folder_names[MAX_FOLDER_NAMES][FOLDER_NAME_SIZE];
char* folder_order[MAX_FOLDER_NAMES];
uint8_t input[SIZE_LIMIT];
uint8_t packed[SIZE_LIMIT];
bool quiet;
int64_t stamp_limit;
bool stamps_in_utc;

void fail_line(const char* reason, const char* what)
{
    pack_failure("%s: %s", reason, what);
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

bool same_key(const uint16_t* a, const uint16_t* b)
{
    for (; *a == *b; a++, b++)
        if (*a == 0)
            return true;
    return false;
}

// Adds one regular file as a member, its name converted and checked, and
// its kind and size checked without reading it.
bool add_member(const char* path)
{
    if (member_count == MAX_MEMBERS) {
        fail_line("too many files", path);
        return false;
    }
    Member& m = members[member_count];
    if (strlen(path) >= MAX_PATH_SIZE) {
        fail_line("path too long", path);
        return false;
    }
    strcpy(m.path, path);
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
    if (!windows_name_key(m.name, m.key)) {
        fail_line("name does not convert to code page 932", path);
        return false;
    }
    for (const char* written : INSTALLER_WRITTEN_FILES) {
        uint16_t key[NAME_KEY_SIZE];
        if (windows_name_key(written, key) && same_key(key, m.key)) {
            fail_line("a file the installer writes itself, over this member", path);
            return false;
        }
    }
    for (int i = 0; i < member_count; i++) {
        if (same_key(members[i].key, m.key)) {
            const bool same = strcmp(members[i].name, m.name) == 0;
            pack_failure("%s: %s and %s",
                    same ? "the same member name twice" : "names that Windows takes for the same file",
                    members[i].path, path);
            return false;
        }
    }
    // Open it now, so that nothing is packed before a refusal that can be
    // foreseen; write_member looks again.
    FILE* file = open_source_file(path, &m.source);
    if (file == nullptr) {
        fail_open(m.source, path);
        return false;
    }
    fclose(file);
    if (m.source.size >= SIZE_LIMIT) {
        fail_line("file of 16 MiB or more", path);
        return false;
    }
    member_count++;
    return true;
}

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

// Adds the files of a folder, sorted by name. Anything else in it is
// refused: the installer makes no folders.
bool add_folder(const char* folder)
{
    if (!open_source_folder(folder)) {
        pack_system_failure("cannot read the folder", folder);
        return false;
    }
    int count = 0;
    bool ok = true;
    while (const char* name = next_source_name()) {
        if (count == MAX_FOLDER_NAMES || strlen(name) >= FOLDER_NAME_SIZE) {
            fail_line(count == MAX_FOLDER_NAMES ? "too many files" : "path too long", folder);
            ok = false;
            break;
        }
        strcpy(folder_names[count], name);
        folder_order[count] = folder_names[count];
        count++;
    }
    close_source_folder();
    qsort(folder_order, static_cast<size_t>(count), sizeof folder_order[0], compare_names);
    for (int i = 0; ok && i < count; i++) {
        char path[MAX_PATH_SIZE];
        if (!join(path, folder, folder_order[i])) {
            fail_line("path too long", folder_order[i]);
            return false;
        }
        // A Unix name with a \ in it, which Windows would take for a path,
        // is refused here as its own name rather than opened as a path.
        if (!is_one_windows_name(folder_order[i])) {
            fail_line(name_fault_reason(NAME_FORBIDDEN_CHARACTER), path);
            return false;
        }
        const SourceKind kind = look_at_source(path).kind;
        if (kind == SOURCE_FOLDER) {
            fail_line("a folder in a folder to pack; the installer makes no folders", path);
            return false;
        }
        ok = add_member(path);
    }
    return ok;
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
        return dos_stamp(0, 1, 1, 0, 0, 0);
    return dos_stamp(t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
}

// Reads one member's file into `input`; false (after its line) when it
// cannot be read, is no longer the file that was listed, or is too large.
bool read_member(Member& m, size_t& size)
{
    SourceInfo now;
    FILE* f = open_source_file(m.path, &now);
    if (f == nullptr) {
        fail_open(now, m.path);
        return false;
    }
    size = fread(input, 1, sizeof input, f);
    if (ferror(f) != 0) {
        pack_system_failure("cannot read", m.path);
        fclose(f);
        return false;
    }
    fclose(f);
    if (size >= SIZE_LIMIT) {
        fail_line("file of 16 MiB or more", m.path);
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
        fail_line("-lh1- data of 16 MiB or more, too large for a header", m.path);
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
        fprintf(stderr, "%s  %zu -> %zu bytes  %.1f%%  %s\n", m.path, size, p.data_size, ratio,
                p.compressed ? "-lh1-" : "-lh0-");
    }
    return true;
}

// Refuses an archive path that is one of the files to pack, or a folder.
bool may_write_archive(const char* archive_path)
{
    const SourceInfo target = look_at_source(archive_path);
    if (target.kind == SOURCE_FOLDER || target.kind == SOURCE_OTHER) {
        fail_line(
            target.kind == SOURCE_FOLDER ? "the archive would replace a folder" : "the archive is no regular file",
            archive_path);
        return false;
    }
    for (int i = 0; target.kind == SOURCE_FILE && i < member_count; i++) {
        if (members[i].source.volume == target.volume && members[i].source.index == target.index) {
            pack_failure("the archive is one of the files to pack: %s is %s", archive_path, members[i].path);
            return false;
        }
    }
    return true;
}

}  // namespace

bool add_to_pack(const char* path)
{
    if (look_at_source(path).kind == SOURCE_FOLDER)
        return add_folder(path);
    return add_member(path);
}

bool take_source_date_epoch()
{
    const char* epoch = getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr || *epoch == '\0')
        return true;
    // Up to the end of 2107, the last MS-DOS year.
    constexpr int64_t LATEST = 4354819199;
    int64_t value = 0;
    for (const char* c = epoch; *c != '\0'; c++) {
        if (*c < '0' || *c > '9' || value > LATEST)
            return false;
        value = value * 10 + (*c - '0');
    }
    if (value > LATEST)
        return false;
    stamp_limit = value;
    stamps_in_utc = true;
    return true;
}

bool write_pack(const char* archive_path, PackMethod method, bool quiet_run)
{
    quiet = quiet_run;
    if (!may_write_archive(archive_path))
        return false;
    FILE* archive = create_archive_file(archive_path);
    if (archive == nullptr) {
        pack_system_failure("cannot create a file beside", archive_path);
        return false;
    }
    bool ok = true;
    for (int i = 0; ok && i < member_count; i++)
        ok = write_member(archive, archive_path, members[i], method);
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

int packed_member_count()
{
    return member_count;
}
