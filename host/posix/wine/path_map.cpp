// host/posix/wine/path_map.cpp: Windows paths taken apart and found on the
// host.
//
// State (filled afresh by every take_apart and read right after it):
//   parts              the components of the path, in order, "." and ".."
//                      already applied; each points into the caller's path
//                      or into current_directory.
//   part_count         how many entries of parts are in use.
//   drive_letter       the drive as written, or 'Z' when the path starts at
//                      the current directory or at the root of the current
//                      drive.
//   from_current       the path starts at the host's current directory, so
//                      its root is the host's root.
//   ends_in_separator  the path's last byte is a separator.
//   current_directory  the host's current directory, as getcwd gave it.
//   floor_count        how many parts there were where the path's folder
//                      ends (the floor take_apart was given), or NO_FLOOR
//                      when no component starts there.
//   lowest_count       the fewest parts there were after the floor: a ".."
//                      beyond it that climbs out of the folder shows here.
//
// State of the remembered folders (between remember_folders and
// forget_folders; see path_map.h):
//   remembering        whether lookups may go by what was read before.
//   base_folder        the descriptor that remember_folders was given,
//   base_info          and what it is; match_entry_name knows it without
//                      asking again.
//   known_folders      the folders read whole since remember_folders, by
//                      device and inode; known_count of them in use. Their
//                      names, found there when a folder was read or looked
//                      up there since, are in the name table
//                      (host/portable/name_table.h), each hashed with its
//                      ASCII letters folded and with its folder's place in
//                      known_folders.
#include "host/posix/wine/path_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "host/portable/name_table.h"
#include "host/posix/codepage.h"
#include "host/posix/unix/fd_io.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

// How a component is spelled: in code page 932 bytes from the Windows
// path, or as a host name already (from the current directory).
enum PartSpelling { WINDOWS_BYTES, HOST_NAME };

// One component. `text` is not NUL-terminated.
struct PathPart {
    const char* text;
    size_t length;
    PartSpelling spelling;
};

// Every component takes at least one byte and a separator.
constexpr size_t MAX_PATH_PARTS = HOST_PATH_SIZE / 2;
// The drive that the current directory stands on, as under Wine.
constexpr char CURRENT_DRIVE = 'z';
static_assert(NAME_MAX < HOST_NAME_SIZE, "a host name must fit HOST_NAME_SIZE");
// floor_count when the floor is not where a component starts.
constexpr size_t NO_FLOOR = SIZE_MAX;
// Folders that one batch remembers; a folder beyond them is read at every
// miss, as outside a batch.
constexpr size_t MAX_KNOWN_FOLDERS = 64;
// A folder read whole, by what the host knows it by.
struct KnownFolder {
    dev_t device;
    ino_t inode;
};

static PathPart parts[MAX_PATH_PARTS];
static size_t part_count;
static char drive_letter;
static bool from_current;
static bool ends_in_separator;
static char current_directory[HOST_PATH_SIZE];
static size_t floor_count;
static size_t lowest_count;

static bool remembering;
static int base_folder = -1;
static struct stat base_info;
static KnownFolder known_folders[MAX_KNOWN_FOLDERS];
static size_t known_count;

static bool is_network_path(const char* path)
{
    return is_path_separator(path[0]) && is_path_separator(path[1]);
}

static bool add_part(const char* text, size_t length, PartSpelling spelling)
{
    if (length == 0 || (length == 1 && text[0] == '.'))
        return true;
    if (length == 2 && text[0] == '.' && text[1] == '.') {
        if (part_count > 0)
            part_count--;
        if (floor_count != NO_FLOOR && part_count < lowest_count)
            lowest_count = part_count;
        return true;
    }
    if (part_count == MAX_PATH_PARTS)
        return false;
    parts[part_count++] = PathPart{text, length, spelling};
    return true;
}

// Notes the parts there are when the scan of the path stands at `at`, the
// start of a component, and that is the floor.
static void note_floor(const char* at, const char* floor)
{
    if (at == floor) {
        floor_count = part_count;
        lowest_count = part_count;
    }
}

// Takes the host's current directory as the first parts, for a path that
// starts there; false when it cannot be read or has too many components.
static bool take_current_directory()
{
    if (getcwd(current_directory, sizeof current_directory) == nullptr)
        return false;
    from_current = true;
    drive_letter = 'Z';
    const char* start = current_directory;
    for (const char* c = current_directory;; c++) {
        if (*c != '/' && *c != '\0')
            continue;
        if (!add_part(start, static_cast<size_t>(c - start), HOST_NAME))
            return false;
        if (*c == '\0')
            break;
        start = c + 1;
    }
    return true;
}

// Takes the components of the Windows path `rest` (after its drive) as
// parts, noting the floor where a component starts at `floor_at`; false
// for a name of dots that Windows refuses, or too many components.
static bool take_windows_names(const char* rest, const char* floor_at)
{
    // A lead byte takes the next byte with it, whatever that byte is.
    size_t start = 0;
    size_t i = 0;
    note_floor(rest, floor_at);
    for (;;) {
        const char c = rest[i];
        if (c == '\0' || is_path_separator(c)) {
            size_t length = i - start;
            const char* text = rest + start;
            // Windows drops one dot at the end of a name that a separator
            // follows ("b.\x" is "b\x", "b..\x" is "b.\x"). The ".." that
            // "...\" would leave is refused, not taken as the parent.
            if (c != '\0' && length >= 2 && text[length - 1] == '.' && !(length == 2 && text[0] == '.')) {
                length--;
                if (length == 2 && text[0] == '.' && text[1] == '.')
                    return false;
            }
            if (!add_part(text, length, WINDOWS_BYTES))
                return false;
            if (c == '\0')
                return true;
            ends_in_separator = true;
            start = ++i;
            note_floor(rest + start, floor_at);
            continue;
        }
        ends_in_separator = false;
        i += sjis_character_length(rest + i);
    }
}

// Fills the state from `path`, and floor_count and lowest_count from the
// folder that ends `floor` bytes into it (NO_FLOOR: none); false for a
// network path, a current directory that cannot be read, or too many
// components.
static bool take_apart(const char* path, size_t floor = NO_FLOOR)
{
    part_count = 0;
    from_current = false;
    ends_in_separator = false;
    drive_letter = 'Z';
    floor_count = NO_FLOOR;
    lowest_count = NO_FLOOR;
    if (is_network_path(path))
        return false;
    const char* rest = path;
    bool at_root = is_path_separator(path[0]);
    if (has_drive_prefix(path)) {
        rest = path + 2;
        at_root = is_path_separator(*rest) || fold_ascii_case(path[0]) != CURRENT_DRIVE;
        drive_letter = path[0];
    }
    const char* const floor_at = floor != NO_FLOOR ? path + floor : nullptr;
    if ((!at_root && !take_current_directory()) || !take_windows_names(rest, floor_at))
        return false;

    // Windows drops trailing dots and blanks from a path's last name.
    if (!ends_in_separator && part_count > 0 && parts[part_count - 1].spelling == WINDOWS_BYTES) {
        PathPart& last = parts[part_count - 1];
        last.length = kept_name_length(last.text, last.length);
        if (last.length == 0)
            part_count--;
        if (floor_count != NO_FLOOR && part_count < lowest_count)
            lowest_count = part_count;
    }
    return true;
}

// Composes `pieces` after the text in `path` (HOST_PATH_SIZE bytes); false,
// and `path` as it was, when they do not fit.
static bool append(char* path, std::initializer_list<const char*> pieces)
{
    const size_t used = strlen(path);
    return compose(path + used, HOST_PATH_SIZE - used, pieces);
}

static bool append_name(char* path, const char* name)
{
    const size_t used = strlen(path);
    if (used == 0 || path[used - 1] != '/')
        if (!append(path, {"/"}))
            return false;
    return append(path, {name});
}

bool wine_prefix(char* host_path)
{
    host_path[0] = '\0';
    const char* prefix = getenv("WINEPREFIX");
    if (prefix != nullptr && *prefix != '\0')
        return append(host_path, {prefix});
    const char* home = getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || *home == '\0')
        return false;
    return append(host_path, {home}) && append(host_path, {"/.wine"});
}

// The host folder of the root of drive `letter`, in `host_path`.
static bool map_drive(char letter, char* host_path)
{
    const char letter_lower = fold_ascii_case(letter);
    char device[] = "/dosdevices/?:";
    device[sizeof device - 3] = letter_lower;
    struct stat info;
    const bool have_prefix = wine_prefix(host_path);
    const size_t prefix_length = strlen(host_path);
    if (have_prefix && append(host_path, {device}) && lstat(host_path, &info) == 0)
        return true;
    host_path[prefix_length] = '\0';
    if (letter_lower == 'c')
        return have_prefix && append(host_path, {"/drive_c"});
    if (letter_lower == CURRENT_DRIVE) {
        strcpy(host_path, "/");
        return true;
    }
    return false;
}

// The hash of `name` with its ASCII letters folded, in the known folder at
// `place`.
static uint64_t folded_name_hash(size_t place, const char* name)
{
    uint64_t hash = begin_name_hash(place);
    for (const char* c = name; *c != '\0'; c++)
        hash = add_name_unit(hash, static_cast<unsigned char>(fold_ascii_case(*c)));
    return finish_name_hash(hash);
}

// The place in known_folders of the folder that `info` describes, or
// MAX_KNOWN_FOLDERS when it is not known.
static size_t known_place(const struct stat& info)
{
    for (size_t i = 0; i < known_count; i++)
        if (known_folders[i].device == info.st_dev && known_folders[i].inode == info.st_ino)
            return i;
    return MAX_KNOWN_FOLDERS;
}

// Reads the open folder `folder` and writes into `best` (HOST_NAME_SIZE
// bytes) the first in name order of its entries that differ from `name`
// only in ASCII letter case, or "" when none does. When `place` is below
// MAX_KNOWN_FOLDERS, every entry is remembered under it, and `*kept` says
// whether the table took them all. Returns false when the folder could not
// be read to its end.
static bool read_folder(int folder, const char* name, size_t place, char* best, bool* kept)
{
    best[0] = '\0';
    bool all_kept = true;
    DIR* listing = list_from_start(folder);
    if (listing == nullptr)
        return false;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(listing);
        if (entry == nullptr)
            break;
        if (place < MAX_KNOWN_FOLDERS && all_kept)
            all_kept = remember_name(folded_name_hash(place, entry->d_name));
        if (same_ignoring_case(entry->d_name, name) && (best[0] == '\0' || strcmp(entry->d_name, best) < 0))
            strcpy(best, entry->d_name);
    }
    const bool whole = errno == 0;
    closedir(listing);
    if (kept != nullptr)
        *kept = all_kept;
    return whole;
}

bool match_entry_name(int folder, const char* name, char* found, bool* absent)
{
    *absent = false;
    if (strlen(name) >= HOST_NAME_SIZE)
        return false;
    // Only a folder read whole since remember_folders can tell a name that
    // nothing there matches, not even spelt the same, without a look at
    // the folder. A folder is read whole into the name table at its first
    // miss, while there is room for it.
    struct stat folder_info = base_info;
    const bool remembered = remembering && (folder == base_folder || fstat(folder, &folder_info) == 0);
    size_t place = remembered ? known_place(folder_info) : MAX_KNOWN_FOLDERS;
    const bool surely_new = place < MAX_KNOWN_FOLDERS && !may_hold_name(folded_name_hash(place, name));
    char best[HOST_NAME_SIZE] = "";
    struct stat info;
    *absent = surely_new;
    if (!surely_new && fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        const bool missing = errno == ENOENT;
        bool whole = false;
        if (remembered && place == MAX_KNOWN_FOLDERS && known_count < MAX_KNOWN_FOLDERS) {
            bool kept = false;
            whole = read_folder(folder, name, known_count, best, &kept);
            if (whole && kept) {
                place = known_count++;
                known_folders[place] = KnownFolder{folder_info.st_dev, folder_info.st_ino};
            } else if (!kept) {
                forget_folders();
            }
        } else {
            whole = read_folder(folder, name, MAX_KNOWN_FOLDERS, best, nullptr);
        }
        *absent = missing && whole && best[0] == '\0';
    }
    // The name itself is remembered, found or about to be created: one that
    // is not created after all only costs another reading.
    if (place < MAX_KNOWN_FOLDERS && !remember_name(folded_name_hash(place, name)))
        forget_folders();
    return compose(found, HOST_NAME_SIZE, {best[0] != '\0' ? best : name});
}

void remember_folders(int folder)
{
    remembering = fstat(folder, &base_info) == 0;
    base_folder = remembering ? folder : -1;
    known_count = 0;
    forget_names();
}

void forget_folders()
{
    remembering = false;
    base_folder = -1;
    known_count = 0;
}

// Appends `name` to the folder in `host_path`, spelt as match_entry_name
// finds it there; as written when the folder cannot be opened. False when
// the name is too long for a host name or the path too long.
static bool append_matching(char* host_path, const char* name)
{
    char found[HOST_NAME_SIZE];
    const int folder = open(host_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return append_name(host_path, name);
    bool absent = false;
    const bool matched = match_entry_name(folder, name, found, &absent);
    close(folder);
    return matched && append_name(host_path, found);
}

bool map_path(const char* windows_path, char* host_path)
{
    if (!take_apart(windows_path))
        return false;
    if (from_current)
        strcpy(host_path, "/");
    else if (!map_drive(drive_letter, host_path))
        return false;

    char name[HOST_PATH_SIZE];
    for (size_t i = 0; i < part_count; i++) {
        const PathPart& part = parts[i];
        if (part.spelling == HOST_NAME) {
            if (part.length >= sizeof name)
                return false;
            memcpy(name, part.text, part.length);
            name[part.length] = '\0';
            if (!append_name(host_path, name))
                return false;
            continue;
        }
        if (cp932_to_utf8(part.text, part.length, name, sizeof name, REFUSE_UNCONVERTIBLE) < 0 ||
            !is_one_windows_name(name))
            return false;
        if (!append_matching(host_path, name))
            return false;
    }
    return true;
}

bool names_below_folder(const char* windows_path, size_t folder_length, char* names)
{
    if (!take_apart(windows_path, folder_length) || floor_count == NO_FLOOR || lowest_count < floor_count ||
        part_count <= floor_count)
        return false;
    names[0] = '\0';
    size_t used = 0;
    char name[HOST_NAME_SIZE];
    for (size_t i = floor_count; i < part_count; i++) {
        const PathPart& part = parts[i];
        if (part.spelling == HOST_NAME ||
            cp932_to_utf8(part.text, part.length, name, sizeof name, REFUSE_UNCONVERTIBLE) < 0 ||
            !is_one_windows_name(name) || !compose(names + used, HOST_PATH_SIZE - used, {used > 0 ? "/" : "", name}))
            return false;
        used += strlen(names + used);
    }
    return true;
}

bool full_windows_path(const char* windows_path, char* out, size_t capacity)
{
    const size_t path_length = strlen(windows_path);
    if (is_network_path(windows_path)) {
        if (path_length >= capacity)
            return false;
        for (size_t i = 0; i <= path_length; i++)
            out[i] = windows_path[i] == '/' ? '\\' : windows_path[i];
        return true;
    }
    if (!take_apart(windows_path) || capacity < 4)
        return false;

    // The drive fits: capacity is 4 at least.
    const char drive[] = {drive_letter, ':', '\0'};
    compose(out, capacity, {drive});
    size_t used = 2;
    // Each component in code page 932, a backslash before it.
    char name[HOST_PATH_SIZE];
    for (size_t i = 0; i < part_count; i++) {
        const PathPart& part = parts[i];
        if (part.spelling == HOST_NAME) {
            if (utf8_to_exact_cp932(part.text, part.length, name, sizeof name) < 0)
                return false;
        } else {
            if (part.length >= sizeof name)
                return false;
            memcpy(name, part.text, part.length);
            name[part.length] = '\0';
        }
        if (!compose(out + used, capacity - used, {"\\", name}))
            return false;
        used += strlen(out + used);
    }
    if (part_count == 0 || ends_in_separator)
        return compose(out + used, capacity - used, {"\\"});
    return true;
}

bool create_drive_c()
{
    char path[HOST_PATH_SIZE];
    struct stat info;
    if (!wine_prefix(path))
        return false;
    const size_t prefix_length = strlen(path);
    if (!append(path, {"/dosdevices/c:"}) || lstat(path, &info) == 0)
        return false;
    path[prefix_length] = '\0';
    if (stat(path, &info) != 0)
        mkdir(path, 0777);
    return append(path, {"/drive_c"}) && mkdir(path, 0777) == 0;
}
