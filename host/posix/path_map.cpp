// host/posix/path_map.cpp: Windows paths taken apart and found on the host.
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
#include "host/posix/path_map.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "host/posix/codepage.h"
#include "shared/buffers.h"
#include "shared/windows_names.h"

// One component. `text` is not NUL-terminated; `host` says whether its
// bytes are a host name already (from the current directory) or code page
// 932 bytes from the Windows path.
struct PathPart {
    const char* text;
    size_t length;
    bool host;
};

// Every component takes at least one byte and a separator.
constexpr size_t MAX_PATH_PARTS = HOST_PATH_SIZE / 2;
// The drive that the current directory stands on, as under Wine.
constexpr char CURRENT_DRIVE = 'z';
// One host directory entry's name and its NUL.
constexpr size_t NAME_SIZE = 256;
static_assert(NAME_MAX < NAME_SIZE, "a host name must fit NAME_SIZE");

static PathPart parts[MAX_PATH_PARTS];
static size_t part_count;
static char drive_letter;
static bool from_current;
static bool ends_in_separator;
static char current_directory[HOST_PATH_SIZE];

static bool is_network_path(const char* path)
{
    return is_path_separator(path[0]) && is_path_separator(path[1]);
}

static bool add_part(const char* text, size_t length, bool host)
{
    if (length == 0 || (length == 1 && text[0] == '.'))
        return true;
    if (length == 2 && text[0] == '.' && text[1] == '.') {
        if (part_count > 0)
            part_count--;
        return true;
    }
    if (part_count == MAX_PATH_PARTS)
        return false;
    parts[part_count++] = PathPart{text, length, host};
    return true;
}

// Fills the state from `path`; false for a network path, a current
// directory that cannot be read, or too many components.
static bool take_apart(const char* path)
{
    part_count = 0;
    from_current = false;
    ends_in_separator = false;
    drive_letter = 'Z';
    if (is_network_path(path))
        return false;

    const char* rest = path;
    bool at_root = is_path_separator(path[0]);
    if (has_drive_prefix(path)) {
        rest = path + 2;
        at_root = is_path_separator(*rest) || fold_ascii_case(path[0]) != CURRENT_DRIVE;
        drive_letter = path[0];
    }
    if (!at_root) {
        if (getcwd(current_directory, sizeof current_directory) == nullptr)
            return false;
        from_current = true;
        drive_letter = 'Z';
        const char* start = current_directory;
        for (const char* c = current_directory;; c++) {
            if (*c != '/' && *c != '\0')
                continue;
            if (!add_part(start, static_cast<size_t>(c - start), true))
                return false;
            if (*c == '\0')
                break;
            start = c + 1;
        }
    }

    // A lead byte takes the next byte with it, whatever that byte is.
    size_t start = 0;
    size_t i = 0;
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
            if (!add_part(text, length, false))
                return false;
            if (c == '\0')
                break;
            ends_in_separator = true;
            start = ++i;
            continue;
        }
        ends_in_separator = false;
        i += sjis_character_length(rest + i);
    }

    // Windows drops trailing dots and blanks from a path's last name. Neither
    // byte can be the second byte of a double-byte character.
    if (!ends_in_separator && part_count > 0 && !parts[part_count - 1].host) {
        PathPart& last = parts[part_count - 1];
        while (last.length > 0 && (last.text[last.length - 1] == '.' || last.text[last.length - 1] == ' '))
            last.length--;
        if (last.length == 0)
            part_count--;
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

// Appends `name` to the folder in `host_path`, spelt as the entry of that
// folder that matches it: the entry spelt the same, else the first in name
// order of those that differ only in ASCII letter case, else as written.
static bool append_matching(char* host_path, const char* name)
{
    const size_t folder_length = strlen(host_path);
    struct stat info;
    if (!append_name(host_path, name))
        return false;
    if (lstat(host_path, &info) == 0)
        return true;
    host_path[folder_length] = '\0';

    char best[NAME_SIZE] = "";
    if (DIR* folder = opendir(host_path)) {
        while (const dirent* entry = readdir(folder)) {
            if (same_ignoring_case(entry->d_name, name) && (best[0] == '\0' || strcmp(entry->d_name, best) < 0))
                strcpy(best, entry->d_name);
        }
        closedir(folder);
    }
    return append_name(host_path, best[0] != '\0' ? best : name);
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
        if (part.host) {
            if (part.length >= sizeof name)
                return false;
            memcpy(name, part.text, part.length);
            name[part.length] = '\0';
            if (!append_name(host_path, name))
                return false;
            continue;
        }
        if (cp932_to_utf8(part.text, part.length, name, sizeof name, true) < 0 || !is_one_windows_name(name))
            return false;
        if (!append_matching(host_path, name))
            return false;
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
        if (part.host) {
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
