// host/posix/folder_tree.cpp: deleting folder entries on the host, never
// following a link. No state.
#include "host/portable/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/portable/dos_names.h"
#include "host/posix/codepage.h"
#include "host/posix/unix/fd_io.h"
#include "host/posix/wine/path_map.h"
#include "shared/windows_names.h"

// Folder levels below a deleted folder that are gone down, one open
// descriptor each; a deeper tree is left where it is and reported.
constexpr unsigned MAX_TREE_DEPTH = 256;
// A host name in code page 932: at most two bytes for each UTF-8 character
// of NAME_MAX bytes, and a NUL.
constexpr size_t CP932_NAME_SIZE = 2 * 256;

// Removes the entry `name` of the open folder `folder`: a folder with
// everything below it, anything else (a link included) by unlinking it.
// Every step goes through the descriptor of the folder it works in, and a
// folder is opened with O_NOFOLLOW, so a link met on the way is removed and
// never entered; nor is a folder of another mount. Returns false when
// something stayed.
static bool remove_entry(int folder, const char* name, unsigned depth)
{
    // A name that Windows could not hand back as one entry is left, as the
    // Windows program leaves it.
    if (!is_one_windows_name(name))
        return false;
    struct stat info;
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return unlinkat(folder, name, 0) == 0 || errno == ENOENT;
    if (depth == MAX_TREE_DEPTH)
        return false;

    const int inner = openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (inner < 0) {
        // Replaced by a link or a file since fstatat looked at it.
        if (errno == ELOOP || errno == ENOTDIR)
            return unlinkat(folder, name, 0) == 0;
        return false;
    }
    // A mount point (a bind mount of a folder elsewhere included) is
    // another file system's folder: removed like a link, which fails while
    // it is mounted, and never gone into.
    if (!on_same_mount(folder, inner)) {
        close(inner);
        return unlinkat(folder, name, AT_REMOVEDIR) == 0;
    }
    DIR* listing = fdopendir(inner);
    if (listing == nullptr) {
        close(inner);
        return false;
    }
    bool all_removed = true;
    while (const dirent* entry = readdir(listing))
        if (!is_dot_name(entry->d_name) && !remove_entry(inner, entry->d_name, depth + 1))
            all_removed = false;
    closedir(listing);
    return unlinkat(folder, name, AT_REMOVEDIR) == 0 && all_removed;
}

int remove_matching_entries(const char* folder_path, const char* name_pattern)
{
    char host_folder[HOST_PATH_SIZE];
    if (!map_path(folder_path, host_folder))
        return 0;
    const int folder = open(host_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return 0;
    DIR* listing = fdopendir(folder);
    if (listing == nullptr) {
        close(folder);
        return 0;
    }
    int failed = 0;
    char name[CP932_NAME_SIZE];
    while (const dirent* entry = readdir(listing)) {
        // A host name without an exact code page 932 form matches nothing.
        if (is_dot_name(entry->d_name) ||
            utf8_to_exact_cp932(entry->d_name, strlen(entry->d_name), name, sizeof name) < 0 ||
            !matches_dos_pattern(name_pattern, name))
            continue;
        if (!remove_entry(folder, entry->d_name, 0))
            failed++;
    }
    closedir(listing);
    return failed;
}
