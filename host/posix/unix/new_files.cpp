// host/posix/unix/new_files.cpp: files written beside their entry and moved
// over it.
//
// State:
//   new_files        the files being written. A slot is in use from the
//                    moment its file exists until it has been moved into
//                    place or removed.
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
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/posix/unix/fd_io.h"
#include "shared/compose.h"

// The new file's own name: NEW_FILE_STEM, a number, NEW_FILE_TAIL. Short,
// so that it fits wherever the entry's name does, and of characters that
// every system allows in a name.
constexpr char NEW_FILE_STEM[] = "~ymw";
constexpr char NEW_FILE_TAIL[] = ".tmp";
// Names tried before the folder counts as unwritable: each one taken
// already (by another run, or left by one that was killed) moves on.
constexpr int NEW_FILE_TRIES = 100;
// Room for a number in decimal and its NUL.
constexpr size_t NUMBER_SIZE = 12;
constexpr size_t TEMP_NAME_SIZE = sizeof NEW_FILE_STEM - 1 + NUMBER_SIZE + sizeof NEW_FILE_TAIL;
// Bytes of CR LF text a text-mode write composes before handing them on.
constexpr size_t TEXT_CHUNK_SIZE = 1024;

struct NewFile {
    volatile sig_atomic_t in_use;
    FILE* stream;                     // the caller's stream; null once closed
    int folder;                       // the folder's descriptor
    bool owns_folder;                 // a copy of the slot's own, closed with it
    char temp_name[TEMP_NAME_SIZE];   // the new file, in the folder
    char name[NAME_MAX + 1];          // the entry it becomes
};

static NewFile new_files[MAX_NEW_FILES];

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
static FILE* stream_of(int fd, NewFileMode mode)
{
    FILE* stream = nullptr;
    if (mode == NEW_FILE_TEXT) {
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

// Whether what stands at `name` may be replaced by a new file: nothing, a
// symbolic link, or a regular file of the folder's mount. Looked at without
// opening it, so that nothing blocks.
static bool may_replace(int folder, const char* name)
{
    struct stat info;
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISLNK(info.st_mode) || (S_ISREG(info.st_mode) && entry_on_folder_mount(folder, name)))
        return true;
    errno = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
    return false;
}

// Frees a slot whose file is gone or in place; signals blocked.
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

FILE* create_new_file(int folder, const char* name, NewFileMode mode, bool folder_stays_open)
{
    NewFile* slot = nullptr;
    for (NewFile& candidate : new_files)
        if (slot == nullptr && !candidate.in_use)
            slot = &candidate;
    if (slot == nullptr || !compose(slot->name, sizeof slot->name, {name}) || strchr(name, '/') != nullptr) {
        errno = slot == nullptr ? EMFILE : ENAMETOOLONG;
        return nullptr;
    }
    if (!may_replace(folder, name))
        return nullptr;
    const int own_folder = folder_stays_open ? folder : fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (own_folder < 0)
        return nullptr;
    int fd = -1;
    for (int attempt = 0; attempt < NEW_FILE_TRIES && fd < 0; attempt++) {
        char number[NUMBER_SIZE];
        snprintf(number, sizeof number, "%d", attempt);
        char temp_name[TEMP_NAME_SIZE];
        compose(temp_name, sizeof temp_name, {NEW_FILE_STEM, number, NEW_FILE_TAIL});
        // O_EXCL: a name that anything has, a link included, is not taken,
        // so the file is this program's and a regular one.
        begin_change();
        fd = openat(own_folder, temp_name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        const int open_error = errno;
        if (fd >= 0) {
            memcpy(slot->temp_name, temp_name, sizeof temp_name);
            slot->folder = own_folder;
            slot->owns_folder = !folder_stays_open;
            slot->in_use = 1;
        }
        end_change();
        if (fd < 0 && open_error != EEXIST) {
            if (!folder_stays_open)
                close(own_folder);
            errno = open_error;
            return nullptr;
        }
    }
    if (fd < 0) {
        if (!folder_stays_open)
            close(own_folder);
        errno = EEXIST;
        return nullptr;
    }
    slot->stream = stream_of(fd, mode);
    if (slot->stream == nullptr) {
        const int error = errno;
        begin_change();
        unlinkat(slot->folder, slot->temp_name, 0);
        release(*slot);
        end_change();
        errno = error;
    }
    return slot->stream;
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
    const bool written = fflush(file) == 0 && ferror(file) == 0;
    const bool closed = fclose(file) == 0;
    int error = errno;
    begin_change();
    const bool moved = written && closed && renameat(slot->folder, slot->temp_name, slot->folder, slot->name) == 0;
    if (!moved) {
        if (written && closed)
            error = errno;
        unlinkat(slot->folder, slot->temp_name, 0);
    }
    release(*slot);
    end_change();
    errno = error;
    return moved;
}

void discard_file(FILE* file)
{
    NewFile* slot = slot_of(file);
    fclose(file);
    if (slot == nullptr)
        return;
    begin_change();
    unlinkat(slot->folder, slot->temp_name, 0);
    release(*slot);
    end_change();
}

bool discard_every_new_file(int signal_number)
{
    if (changing) {
        deferred_signal = signal_number;
        return false;
    }
    for (const NewFile& slot : new_files)
        if (slot.in_use)
            unlinkat(slot.folder, slot.temp_name, 0);
    return true;
}
