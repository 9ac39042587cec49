// host/posix/unix/new_files.cpp: files written beside their entry and moved
// over it.
//
// A new file is made unnamed in the folder (O_TMPFILE) and gets a name
// only once it is complete: where its entry is free, by a link, which never
// replaces anything, so that the name appears at once with the whole
// content and the file needs no name of its own, no move, and no removal
// when the process dies; where something stands at the entry, by a link at
// a name of its own beside it and a move over the entry, one right after
// the other. Only where the system has no unnamed files is a file named
// from its first byte.
//
// A file of ours that has a name of its own is locked (flock) from before
// the name exists until the process ends, so that a later run can tell a
// file that a killed run left, which nobody holds, from one that a running
// run is writing.
//
// State:
//   new_files        the files being written. A slot is in use from the
//                    moment its file exists until it has been moved into
//                    place or removed.
//   link_way         how an unnamed file is given a name on this system,
//                    found at the first file that could be one: by its
//                    descriptor, through /proc, or not at all (then every
//                    file is named from the start).
//   reclaiming       leftovers of earlier runs are removed where they are
//                    met (claim_leftover_new_files).
//   swept_folders    the folders whose leftovers are gone, by device and
//   swept_count      inode: each folder is looked through once a run.
//   changing         a slot is changing hands. A signal handler may read
//   deferred_signal  the table at any moment (discard_every_new_file);
//                    one that comes while a slot changes leaves it
//                    untouched and has its signal raised again once the
//                    change is done (deferred_signal), so that the handler
//                    finds every slot either free or naming a file of this
//                    program, at no system call per change.
#include "host/posix/unix/new_files.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/portable/new_file_names.h"
#include "host/posix/unix/fd_io.h"
#include "shared/compose.h"

// Bytes of CR LF text a text-mode write composes before handing them on.
constexpr size_t TEXT_CHUNK_SIZE = 1024;
// Room for "/proc/self/fd/" and a descriptor's number.
constexpr size_t PROC_PATH_SIZE = 32;

struct NewFile {
    volatile sig_atomic_t in_use;
    FILE* stream;                     // the caller's stream; null once closed
    int fd;                           // the stream's descriptor
    int folder;                       // the folder's descriptor
    bool owns_folder;                 // a copy of the slot's own, closed with it
    bool replacing;                   // something stood at the entry when it began
    char temp_name[NEW_FILE_NAME_SIZE]; // the new file, in the folder; empty while unnamed
    char name[NAME_MAX + 1];          // the entry it becomes
};

enum LinkWay { LINK_UNTRIED, LINK_BY_DESCRIPTOR, LINK_THROUGH_PROC, LINK_NONE };

static NewFile new_files[MAX_NEW_FILES];
static LinkWay link_way = LINK_UNTRIED;
static bool reclaiming;

// Folders looked through for leftovers in one run: the install folder, its
// folders, those of the shortcuts and of the menu entries. Past that many,
// a leftover goes only where its name is wanted.
constexpr int MAX_SWEPT_FOLDERS = 32;
struct SweptFolder {
    dev_t device;
    ino_t inode;
};
static SweptFolder swept_folders[MAX_SWEPT_FOLDERS];
static int swept_count;

static volatile sig_atomic_t changing;
static volatile sig_atomic_t deferred_signal;

static void begin_change()
{
    changing = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Ends a change, and raises a signal that came meanwhile.
static void end_change()
{
    std::atomic_signal_fence(std::memory_order_seq_cst);
    changing = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const int pending = deferred_signal;
    if (pending != 0) {
        deferred_signal = 0;
        raise(pending);
    }
}

static int cookie_fd(void* cookie)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(cookie));
}

// The stream's buffer goes to the file with each line feed made CR LF.
// Returns 0 on an error, as fopencookie asks; the stream then reports it
// through ferror and fclose.
static ssize_t write_text(void* cookie, const char* bytes, size_t count)
{
    char chunk[TEXT_CHUNK_SIZE];
    size_t used = 0;
    for (size_t i = 0; i < count; i++) {
        // Room for one CR LF pair before the chunk goes out.
        if (used + 2 > sizeof chunk) {
            if (!write_all(cookie_fd(cookie), chunk, used))
                return 0;
            used = 0;
        }
        if (bytes[i] == '\n')
            chunk[used++] = '\r';
        chunk[used++] = bytes[i];
    }
    if (!write_all(cookie_fd(cookie), chunk, used))
        return 0;
    return static_cast<ssize_t>(count);
}

static int close_text(void* cookie)
{
    return close(cookie_fd(cookie));
}

// The stream of a new file's descriptor, or nullptr (the descriptor then
// closed).
static FILE* stream_of(int fd, OpenMode mode)
{
    FILE* stream = nullptr;
    if (mode == OPEN_TO_WRITE_TEXT) {
        const cookie_io_functions_t functions = {nullptr, write_text, nullptr, close_text};
        stream = fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), "w", functions);
    } else {
        stream = fdopen(fd, "wb");
        if (stream != nullptr && setvbuf(stream, nullptr, _IONBF, 0) != 0) {
            fclose(stream);
            return nullptr;
        }
    }
    if (stream == nullptr)
        close(fd);
    return stream;
}

// Gives the unnamed file `fd` the entry `name` of `folder`, in `way`;
// fails with EEXIST where anything has that name.
static bool link_unnamed(int fd, int folder, const char* name, LinkWay way)
{
    if (way == LINK_BY_DESCRIPTOR)
        return linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0;
    char path[PROC_PATH_SIZE];
    snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, path, folder, name, AT_SYMLINK_FOLLOW) == 0;
}

// Removes the entry `name` of `folder` where it is a new file that a run
// of this program left: a regular file of the folder's own mount that no
// running program holds. It is looked at without following or blocking,
// locked through a descriptor of its own, and removed only while the name
// is still that file's. True when it was removed.
static bool reclaim(int folder, const char* name)
{
    struct stat seen;
    if (fstatat(folder, name, &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode) ||
        !entry_on_folder_mount(folder, name))
        return false;
    const int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened;
    struct stat now;
    const bool removed = fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == seen.st_dev &&
                         opened.st_ino == seen.st_ino && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == opened.st_dev &&
                         now.st_ino == opened.st_ino && unlinkat(folder, name, 0) == 0;
    close(fd);
    return removed;
}

// Whether the new file `fd`, just made under a name of its own, is this
// run's to write: its lock, which it keeps until the process ends, is
// taken, and no run that took it for a leftover removed it first. A file
// system that keeps no locks leaves every file to its maker.
static bool held_as_made(int fd)
{
    struct stat info;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno != EWOULDBLOCK;
    return fstat(fd, &info) == 0 && info.st_nlink > 0;
}

// Names the new file of `slot` in its folder with the first free name of
// NEW_FILE_TRIES: creates it there exclusively (O_EXCL: a name that
// anything has, a link included, is not taken, so the file is this
// program's and a regular one), or, for an unnamed file `unnamed`, links it
// there. Either way the file is locked before its name is in use, so that
// no later run takes it for a leftover. A name that a leftover has is
// taken back where this run may (claim_leftover_new_files). The slot is in
// use from the moment the name exists. Returns the new descriptor,
// `unnamed` itself, or -1 with errno set.
static int take_temp_name(NewFile& slot, int unnamed, LinkWay way)
{
    if (unnamed >= 0)
        flock(unnamed, LOCK_EX | LOCK_NB);
    bool reclaimed = false;
    for (int attempt = 0; attempt < NEW_FILE_TRIES; attempt++) {
        char temp_name[NEW_FILE_NAME_SIZE];
        compose_new_file_name(attempt, temp_name);
        begin_change();
        int fd = unnamed >= 0 ? (link_unnamed(unnamed, slot.folder, temp_name, way) ? unnamed : -1)
                              : openat(slot.folder, temp_name,
                                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        int error = errno;
        if (fd >= 0 && unnamed < 0 && !held_as_made(fd)) {
            // Another run is removing it as a leftover: that run's to remove.
            close(fd);
            fd = -1;
            error = EEXIST;
        }
        if (fd >= 0) {
            memcpy(slot.temp_name, temp_name, sizeof temp_name);
            slot.in_use = 1;
        }
        end_change();
        if (fd < 0 && error == EEXIST && reclaiming && !reclaimed && reclaim(slot.folder, temp_name)) {
            // The same name once more, now that the leftover is gone.
            reclaimed = true;
            attempt--;
            continue;
        }
        reclaimed = false;
        if (fd >= 0 || error != EEXIST) {
            errno = error;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// A new unnamed file in `folder`, or -1; a kernel or file system without
// unnamed files has every file named from the start from then on.
static int open_unnamed(int folder)
{
    const int fd = openat(folder, ".", O_TMPFILE | O_WRONLY | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        link_way = LINK_NONE;
    return fd;
}

// Finds, once a run, the way this system gives an unnamed file a name. A
// file can be linked once only, so a file of no further use is made in
// `slot`'s folder and linked at a name of its own, in each way in turn,
// and removed again. Leaves link_way as it was where that could not be
// found out (a folder where no name is free, a full disk): the next file
// tries again.
static void find_link_way(NewFile& slot)
{
    const int probe = open_unnamed(slot.folder);
    if (probe < 0)
        return;
    for (const LinkWay way : {LINK_BY_DESCRIPTOR, LINK_THROUGH_PROC}) {
        if (take_temp_name(slot, probe, way) >= 0) {
            begin_change();
            unlinkat(slot.folder, slot.temp_name, 0);
            slot.temp_name[0] = '\0';
            slot.in_use = 0;
            end_change();
            link_way = way;
            break;
        }
        // Refused for want of a privilege or of /proc: the next way. With
        // neither, each file is named from the start.
        if (errno != ENOENT && errno != EPERM)
            break;
        if (way == LINK_THROUGH_PROC)
            link_way = LINK_NONE;
    }
    close(probe);
}

// The file of `slot`, unnamed in its folder where this system can name one
// later: its descriptor, the slot in use, or -1 where it is to be named
// from the start.
static int create_unnamed(NewFile& slot)
{
    if (link_way == LINK_UNTRIED)
        find_link_way(slot);
    if (link_way != LINK_BY_DESCRIPTOR && link_way != LINK_THROUGH_PROC)
        return -1;
    const int fd = open_unnamed(slot.folder);
    if (fd < 0)
        return -1;
    begin_change();
    slot.temp_name[0] = '\0';
    slot.in_use = 1;
    end_change();
    return fd;
}

// Whether what stands at `name` may be replaced by a new file: nothing
// (`*absent` then set), a symbolic link, or a regular file of the folder's
// mount. Looked at without opening it, so that nothing blocks.
static bool may_replace(int folder, const char* name, bool* absent)
{
    struct stat info;
    *absent = false;
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return *absent = errno == ENOENT;
    if (S_ISLNK(info.st_mode) || (S_ISREG(info.st_mode) && entry_on_folder_mount(folder, name)))
        return true;
    errno = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
    return false;
}

// Frees a slot whose file is gone or in place, inside a change.
static void release(NewFile& slot)
{
    if (slot.owns_folder)
        close(slot.folder);
    slot.stream = nullptr;
    slot.in_use = 0;
}

static NewFile* slot_of(FILE* file)
{
    for (NewFile& slot : new_files)
        if (slot.in_use && slot.stream == file)
            return &slot;
    return nullptr;
}

FILE* create_new_file(int folder, const char* name, OpenMode mode, FolderKept kept, EntryLook look)
{
    const bool folder_stays_open = kept == FOLDER_KEPT_OPEN_BY_CALLER;
    const bool seen_absent = look == ENTRY_SEEN_ABSENT;
    NewFile* slot = nullptr;
    for (NewFile& candidate : new_files)
        if (slot == nullptr && !candidate.in_use)
            slot = &candidate;
    if (slot == nullptr || !compose(slot->name, sizeof slot->name, {name}) || strchr(name, '/') != nullptr) {
        errno = slot == nullptr ? EMFILE : ENAMETOOLONG;
        return nullptr;
    }
    // Only a file that is linked at its entry at the end may leave the look
    // at that entry until then; one that is moved over it, looks first.
    bool absent = seen_absent;
    const bool looked = !seen_absent || (link_way != LINK_BY_DESCRIPTOR && link_way != LINK_THROUGH_PROC);
    if (looked && !may_replace(folder, name, &absent))
        return nullptr;
    const int own_folder = folder_stays_open ? folder : fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (own_folder < 0)
        return nullptr;
    slot->folder = own_folder;
    slot->owns_folder = !folder_stays_open;
    slot->replacing = !absent;
    // A folder that a batch keeps open was looked through at its start.
    if (!folder_stays_open)
        reclaim_leftover_files(own_folder);
    int fd = create_unnamed(*slot);
    if (fd < 0 && (looked || may_replace(folder, name, &absent)))
        fd = take_temp_name(*slot, -1, LINK_NONE);
    if (fd < 0) {
        const int error = errno;
        if (!folder_stays_open)
            close(own_folder);
        errno = error;
        return nullptr;
    }
    slot->fd = fd;
    slot->stream = stream_of(fd, mode);
    if (slot->stream == nullptr) {
        const int error = errno;
        begin_change();
        if (slot->temp_name[0] != '\0')
            unlinkat(slot->folder, slot->temp_name, 0);
        release(*slot);
        end_change();
        errno = error;
    }
    return slot->stream;
}

// Gives the unnamed file of `slot` its entry's name (`*placed`) where the
// entry is free. Where something stands there, because it stood there when
// the file was started or has come since, the file is named beside it
// instead, to be moved over it right after. False, errno set, when the
// file can have neither name.
static bool link_into_place(NewFile& slot, bool* placed)
{
    *placed = !slot.replacing && link_unnamed(slot.fd, slot.folder, slot.name, link_way);
    if (*placed)
        return true;
    bool absent = false;
    return (slot.replacing || errno == EEXIST) && may_replace(slot.folder, slot.name, &absent) &&
           take_temp_name(slot, slot.fd, link_way) >= 0;
}

bool finish_file(FILE* file)
{
    NewFile* slot = slot_of(file);
    if (slot == nullptr) {
        fclose(file);
        errno = EBADF;
        return false;
    }
    // A full disk shows only here: the stream keeps the error of a failed
    // write, and the close hands on what was still buffered.
    bool done = fflush(file) == 0 && ferror(file) == 0;
    int error = errno;
    bool placed = false;
    if (done && slot->temp_name[0] == '\0') {
        done = link_into_place(*slot, &placed);
        error = errno;
    }
    if (fclose(file) != 0 && done) {
        done = false;
        error = errno;
    }
    begin_change();
    if (done && !placed) {
        done = renameat(slot->folder, slot->temp_name, slot->folder, slot->name) == 0;
        error = errno;
    }
    // What failed is removed: the new file by its own name, or, where it
    // failed to close after its link, by the entry's, which was nothing
    // before.
    if (!done && (placed || slot->temp_name[0] != '\0'))
        unlinkat(slot->folder, placed ? slot->name : slot->temp_name, 0);
    release(*slot);
    end_change();
    errno = error;
    return done;
}

void discard_file(FILE* file)
{
    NewFile* slot = slot_of(file);
    fclose(file);
    if (slot == nullptr)
        return;
    begin_change();
    if (slot->temp_name[0] != '\0')
        unlinkat(slot->folder, slot->temp_name, 0);
    release(*slot);
    end_change();
}

void claim_leftover_new_files()
{
    reclaiming = true;
}

void reclaim_leftover_files(int folder)
{
    struct stat info;
    if (!reclaiming || swept_count == MAX_SWEPT_FOLDERS || fstat(folder, &info) != 0)
        return;
    for (int i = 0; i < swept_count; i++)
        if (swept_folders[i].device == info.st_dev && swept_folders[i].inode == info.st_ino)
            return;
    swept_folders[swept_count++] = {info.st_dev, info.st_ino};
    DIR* listing = list_from_start(folder);
    if (listing == nullptr)
        return;
    while (const dirent* entry = readdir(listing))
        if (is_new_file_name(entry->d_name))
            reclaim(folder, entry->d_name);
    closedir(listing);
}

bool discard_every_new_file(int signal_number)
{
    if (changing) {
        deferred_signal = signal_number;
        return false;
    }
    // An unnamed file goes with the process.
    for (const NewFile& slot : new_files)
        if (slot.in_use && slot.temp_name[0] != '\0')
            unlinkat(slot.folder, slot.temp_name, 0);
    return true;
}
