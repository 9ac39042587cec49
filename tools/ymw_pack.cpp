// tools/ymw_pack.cpp: ymw-pack, the packer of a distribution archive: a
// level-0 LHA archive of -lh1- and -lh0- members, the form the installer
// reads.
//
//   ymw-pack [--method lh0|lh1] ARCHIVE FILE...
//
// Each FILE becomes a member named by its base name in code page 932; a
// folder gives its regular files, sorted by name, without going into its
// subfolders. A member is -lh1- where that is smaller than storing it,
// otherwise -lh0-; --method forces one. Every refusal is one line on
// standard error and exit code 1, and leaves no archive: the archive is
// written under a temporary name beside ARCHIVE and renamed at the end.
// Time stamps are the files' modification times in local time; with
// SOURCE_DATE_EPOCH set, no stamp is later than that time, and stamps are
// taken in UTC, so that the same files give the same archive anywhere.
//
// Module state:
//   members       the members to write, in archive order, with their
//                 names already converted and checked.
//   member_count  how many of them there are.
//   converted_name  a name being converted to code page 932.
//   folder_names, folder_order  the files of a folder being listed, and
//                 the same sorted by name.
//   input         the data of the member being packed.
//   packed        its -lh1- packed data, which is used only when it is
//                 below SIZE_LIMIT.
//   temp_path     the temporary archive while it exists, else empty.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/posix/codepage.h"
#include "lha/crc16.h"
#include "lha/lh1_encode.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

namespace {

// Offset of the name in a level-0 header, and the most header bytes after
// the first two (H is one byte). The fields after the name are its CRC.
constexpr int NAME_OFFSET = 22;
constexpr int HEADER_MAX_BODY = 255;
constexpr int CRC_BYTES = 2;
// The longest name that fits: H = 22 + N is at most 255.
constexpr int MAX_NAME = HEADER_MAX_BODY - (NAME_OFFSET - 2) - CRC_BYTES;
static_assert(MAX_NAME == 233, "a level-0 name holds at most 233 bytes");
// Files of this size or more do not fit the three bytes of a size field.
constexpr uint64_t SIZE_LIMIT = uint64_t{1} << 24;
static_assert(SIZE_LIMIT == LH1_MAX_INPUT + 1, "the encoder takes every size a header holds");
// Members of one archive, and the length of a path.
constexpr int MAX_MEMBERS = 4096;
constexpr int MAX_PATH = 4096;
// Attribute byte of every member: an ordinary file with its archive bit.
constexpr uint8_t ATTRIBUTE_ARCHIVE = 0x20;
// MS-DOS dates count years from 1980.
constexpr int DOS_EPOCH_YEAR = 1980;

enum Method { METHOD_AUTO, METHOD_LH0, METHOD_LH1 };

struct Member {
    char path[MAX_PATH];           // the file, as given or below a folder
    char name[MAX_NAME + 1];       // the member name, code page 932
    int name_length;
};

Member members[MAX_MEMBERS];
int member_count;
char converted_name[MAX_PATH];
char folder_names[MAX_MEMBERS][MAX_PATH];
char* folder_order[MAX_MEMBERS];
uint8_t input[SIZE_LIMIT];
uint8_t packed[SIZE_LIMIT];
char temp_path[MAX_PATH + 32];

const char* const USAGE =
    "Usage: ymw-pack [--method lh0|lh1] ARCHIVE FILE...\n"
    "Writes a level-0 LHA archive for the installer. Each FILE becomes a member\n"
    "named by its base name in code page 932; a folder gives its files, sorted\n"
    "by name. Members are -lh1-, or -lh0- where compressing does not make them\n"
    "smaller; --method forces one method for every member.\n"
    "Exit code 0 when the archive is written, 1 otherwise.\n";

void refuse_line(const char* what, const char* detail)
{
    fprintf(stderr, "ymw-pack: %s: %s\n", what, detail);
}

const char* base_name(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

// ASCII letters fold to small ones; the second byte of a double-byte
// character is compared as it is, since it is no letter of its own.
bool same_name_ignoring_case(const Member& a, const Member& b)
{
    if (a.name_length != b.name_length)
        return false;
    for (int i = 0; i < a.name_length; i++) {
        const unsigned char x = static_cast<unsigned char>(a.name[i]);
        const unsigned char y = static_cast<unsigned char>(b.name[i]);
        if (sjis_character_length(a.name + i) == 2) {
            if (x != y || a.name[i + 1] != b.name[i + 1])
                return false;
            i++;
            continue;
        }
        const unsigned char fx = x >= 'A' && x <= 'Z' ? static_cast<unsigned char>(x + 32) : x;
        const unsigned char fy = y >= 'A' && y <= 'Z' ? static_cast<unsigned char>(y + 32) : y;
        if (fx != fy)
            return false;
    }
    return true;
}

// Whether the installer can create a file of this name on Windows: no
// control character, no backslash (the installer would take it for a
// folder) and none of the other characters Windows refuses in file names,
// except as the second byte of a double-byte character, which may be any.
bool fits_windows(const Member& m)
{
    for (int i = 0; i < m.name_length; i++) {
        const unsigned char c = static_cast<unsigned char>(m.name[i]);
        if (sjis_character_length(m.name + i) == 2) {
            i++;
            continue;
        }
        if (c == '\\' || c == '/' || is_forbidden_in_windows_name(c))
            return false;
    }
    return true;
}

// Adds one file as a member, its name converted and checked.
bool add_member(const char* path)
{
    if (member_count == MAX_MEMBERS) {
        refuse_line("too many files", path);
        return false;
    }
    Member& m = members[member_count];
    if (strlen(path) >= MAX_PATH) {
        refuse_line("path too long", path);
        return false;
    }
    strcpy(m.path, path);
    const char* name = base_name(path);
    if (*name == '\0') {
        refuse_line("no file name", path);
        return false;
    }
    // Code page 932 is never longer than the UTF-8 it comes from.
    const long length = utf8_to_cp932(name, strlen(name), converted_name, sizeof converted_name, true);
    if (length < 0) {
        refuse_line("name does not convert to code page 932", path);
        return false;
    }
    if (length > MAX_NAME) {
        refuse_line("name longer than 233 bytes in code page 932", path);
        return false;
    }
    memcpy(m.name, converted_name, static_cast<size_t>(length));
    m.name[length] = '\0';
    m.name_length = static_cast<int>(length);
    if (!fits_windows(m)) {
        refuse_line("name holds a character that Windows does not allow in file names", path);
        return false;
    }
    for (int i = 0; i < member_count; i++) {
        if (same_name_ignoring_case(members[i], m)) {
            const bool same = strcmp(members[i].name, m.name) == 0;
            fprintf(stderr, "ymw-pack: %s: %s and %s\n",
                    same ? "the same member name twice" : "names differ only in letter case", members[i].path, path);
            return false;
        }
    }
    // Size and readability now, so that nothing is packed before a refusal
    // that can be foreseen; read_member checks again.
    struct stat st;
    FILE* f = fopen(path, "rb");
    const bool readable = f != nullptr && fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    if (f != nullptr)
        fclose(f);
    if (!readable) {
        refuse_line("cannot read", path);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) >= SIZE_LIMIT) {
        refuse_line("file of 16 MiB or more", path);
        return false;
    }
    member_count++;
    return true;
}

int compare_names(const void* a, const void* b)
{
    return strcmp(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

// Adds the regular files directly in a folder, sorted by name.
bool add_folder(const char* folder)
{
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        refuse_line("cannot read folder", folder);
        return false;
    }
    int count = 0;
    bool ok = true;
    while (const dirent* entry = readdir(dir)) {
        char path[MAX_PATH];
        if (snprintf(path, sizeof path, "%s/%s", folder, entry->d_name) >= MAX_PATH) {
            refuse_line("path too long", entry->d_name);
            ok = false;
            break;
        }
        struct stat st;
        if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (count == MAX_MEMBERS) {
            refuse_line("too many files", folder);
            ok = false;
            break;
        }
        snprintf(folder_names[count], sizeof folder_names[count], "%s", entry->d_name);
        folder_order[count] = folder_names[count];
        count++;
    }
    closedir(dir);
    qsort(folder_order, static_cast<size_t>(count), sizeof folder_order[0], compare_names);
    for (int i = 0; ok && i < count; i++) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s/%s", folder, folder_order[i]);
        ok = add_member(path);
    }
    return ok;
}

bool add_argument(const char* path)
{
    struct stat st;
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
        return add_folder(path);
    return add_member(path);
}

// The MS-DOS time (low 16 bits) and date (high 16 bits) of a moment.
uint32_t dos_stamp(time_t when, bool utc)
{
    struct tm t {};
    if (utc)
        gmtime_r(&when, &t);
    else
        localtime_r(&when, &t);
    if (t.tm_year + 1900 < DOS_EPOCH_YEAR)
        return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00, the first stamp there is
    const uint32_t date = static_cast<uint32_t>((t.tm_year + 1900 - DOS_EPOCH_YEAR) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
    const uint32_t time_of_day = static_cast<uint32_t>(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    return date << 16 | time_of_day;
}

uint32_t member_stamp(time_t modified)
{
    const char* epoch = getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr || *epoch == '\0')
        return dos_stamp(modified, false);
    char* end = nullptr;
    const long long limit = strtoll(epoch, &end, 10);
    const time_t clamped = *end == '\0' && limit < modified ? static_cast<time_t>(limit) : modified;
    return dos_stamp(clamped, true);
}

void put_le(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Reads one member's file into `input`; false (after its line) when it
// cannot be read or is too large.
bool read_member(const Member& m, size_t& size, time_t& modified)
{
    FILE* f = fopen(m.path, "rb");
    struct stat st;
    if (f == nullptr || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        refuse_line("cannot read", m.path);
        if (f != nullptr)
            fclose(f);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) >= SIZE_LIMIT) {
        refuse_line("file of 16 MiB or more", m.path);
        fclose(f);
        return false;
    }
    size = fread(input, 1, sizeof input, f);
    const bool failed = ferror(f) != 0 || size >= SIZE_LIMIT;
    fclose(f);
    if (failed) {
        refuse_line(size >= SIZE_LIMIT ? "file of 16 MiB or more" : "cannot read", m.path);
        return false;
    }
    modified = st.st_mtime;
    return true;
}

// Packs one member and appends its header and data to the archive.
bool write_member(FILE* archive, const Member& m, Method method)
{
    size_t size = 0;
    time_t modified = 0;
    if (!read_member(m, size, modified))
        return false;

    // -lh1- unless storing is not larger (or lh0 is forced); an empty file
    // has no -lh1- data that could be smaller.
    const uint8_t* data = input;
    size_t data_size = size;
    bool compressed = false;
    if (method == METHOD_LH1 || (method == METHOD_AUTO && size > 0)) {
        // The packed size has three bytes in the header too: forced -lh1-
        // data of incompressible input can outgrow them.
        const size_t capacity = method == METHOD_LH1 ? SIZE_LIMIT - 1 : size - 1;
        const size_t packed_size = encode_lh1(input, size, packed, capacity);
        if (packed_size != LH1_TOO_LARGE) {
            data = packed;
            data_size = packed_size;
            compressed = true;
        } else if (method == METHOD_LH1) {
            refuse_line("-lh1- data of 16 MiB or more, too large for a header", m.path);
            return false;
        }
    }

    uint8_t header[2 + HEADER_MAX_BODY];
    const int body = NAME_OFFSET - 2 + m.name_length + CRC_BYTES;
    header[0] = static_cast<uint8_t>(body);
    memcpy(header + 2, compressed ? "-lh1-" : "-lh0-", 5);
    put_le(header + 7, static_cast<uint32_t>(data_size), 4);
    put_le(header + 11, static_cast<uint32_t>(size), 4);
    put_le(header + 15, member_stamp(modified), 4);
    header[19] = ATTRIBUTE_ARCHIVE;
    header[20] = 0;  // header level
    header[21] = static_cast<uint8_t>(m.name_length);
    memcpy(header + NAME_OFFSET, m.name, static_cast<size_t>(m.name_length));
    put_le(header + NAME_OFFSET + m.name_length, crc16_update_block(0, input, size), CRC_BYTES);
    uint8_t sum = 0;
    for (int i = 2; i < body + 2; i++)
        sum = static_cast<uint8_t>(sum + header[i]);
    header[1] = sum;

    if (fwrite(header, 1, static_cast<size_t>(body + 2), archive) != static_cast<size_t>(body + 2) ||
        fwrite(data, 1, data_size, archive) != data_size) {
        refuse_line("cannot write", temp_path);
        return false;
    }
    const double ratio = size == 0 ? 100.0 : 100.0 * static_cast<double>(data_size) / static_cast<double>(size);
    fprintf(stderr, "%s  %zu -> %zu bytes  %.1f%%  %s\n", m.path, size, data_size, ratio,
            compressed ? "-lh1-" : "-lh0-");
    return true;
}

bool write_archive(const char* archive_path, Method method)
{
    if (snprintf(temp_path, sizeof temp_path, "%s.%ld.tmp", archive_path, static_cast<long>(getpid())) >=
        static_cast<int>(sizeof temp_path)) {
        refuse_line("path too long", archive_path);
        temp_path[0] = '\0';
        return false;
    }
    FILE* archive = fopen(temp_path, "wb");
    if (archive == nullptr) {
        refuse_line("cannot create", temp_path);
        temp_path[0] = '\0';
        return false;
    }
    bool ok = true;
    for (int i = 0; ok && i < member_count; i++)
        ok = write_member(archive, members[i], method);
    if (ok && fputc(0, archive) == EOF) {
        refuse_line("cannot write", temp_path);
        ok = false;
    }
    if (fclose(archive) != 0 && ok) {
        refuse_line("cannot write", temp_path);
        ok = false;
    }
    if (ok && rename(temp_path, archive_path) != 0) {
        refuse_line("cannot rename the finished archive to", archive_path);
        ok = false;
    }
    if (!ok)
        remove(temp_path);
    temp_path[0] = '\0';
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    Method method = METHOD_AUTO;
    int first = 1;
    for (; first < argc && strncmp(argv[first], "--", 2) == 0; first++) {
        const char* option = argv[first];
        if (strcmp(option, "--help") == 0) {
            fputs(USAGE, stdout);
            return 0;
        }
        if (strcmp(option, "--") == 0) {
            first++;
            break;
        }
        const char* value = nullptr;
        if (strcmp(option, "--method") == 0 && first + 1 < argc)
            value = argv[++first];
        else if (strncmp(option, "--method=", 9) == 0)
            value = option + 9;
        if (value != nullptr && strcmp(value, "lh0") == 0) {
            method = METHOD_LH0;
        } else if (value != nullptr && strcmp(value, "lh1") == 0) {
            method = METHOD_LH1;
        } else {
            fprintf(stderr, "ymw-pack: unknown option or method: %s (see ymw-pack --help)\n",
                    value != nullptr ? value : option);
            return 1;
        }
    }
    if (argc - first < 2) {
        fputs("ymw-pack: an archive and at least one file are needed (see ymw-pack --help)\n", stderr);
        return 1;
    }
    for (int i = first + 1; i < argc; i++)
        if (!add_argument(argv[i]))
            return 1;
    if (member_count == 0) {
        refuse_line("no file to pack in", argv[first + 1]);
        return 1;
    }
    return write_archive(argv[first], method) ? 0 : 1;
}
