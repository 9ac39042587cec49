// host/win32/kernel/new_files.cpp: files written beside their path and moved
// over it.
//
// State:
//   new_files     the files being written. A slot is in use from the moment
//                 its file exists until it has been moved into place or
//                 removed. The console control handler reads the table from
//                 a thread of its own (discard_every_new_file).
//   table_lock    held while a new file is created and recorded in its
//                 slot, while a slot is freed (a move into place included,
//                 until its slot is free), and by the control handler from
//                 the moment it begins until the process ends: the handler
//                 finds every file that exists recorded, never meets a
//                 handle that is being closed nor a file already moved over
//                 its path, and no new file can appear after it has gone
//                 over the table.
//   reclaiming    leftovers of earlier runs are removed where they are met
//                 (claim_leftover_new_files).
//   swept_folders the folders whose leftovers are gone, by a hash of the
//   swept_count   path they were named by: each is looked through once.
//
// Every new file of ours is locked (a byte range far past any file's end)
// from right after it is made until the process ends, so that a later run
// can tell a file that a killed run left, which nobody holds, from one
// that a running run is writing.
#include "host/win32/kernel/new_files.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "host/portable/name_table.h"
#include "host/portable/new_file_names.h"
#include "host/win32/kernel/final_paths.h"
#include "host/win32/kernel/handles.h"
#include "host/win32/kernel/join_path.h"
#include "shared/windows_names.h"

// The byte range that marks a new file as held: one byte at 2^48 where
// files have 64-bit sizes, past 4 GiB - 2 on Windows 95 and 98, whose files
// are smaller.
constexpr DWORD HELD_OFFSET_LOW = 0;
constexpr DWORD HELD_OFFSET_HIGH = 0x10000;
constexpr DWORD HELD_OFFSET_LOW_9X = 0xFFFFFFFE;

// Folders looked through for leftovers in one run: the install folder, its
// folders, those of the shortcuts. Past that many, a leftover goes only
// where its name is wanted.
constexpr int MAX_SWEPT_FOLDERS = 32;

struct NewFile {
    volatile LONG in_use;
    FILE* stream;
    HANDLE handle;                          // the stream's own
    wchar_t wide_temp[ENTRY_PATH_SIZE];     // the NT family: the new file
    wchar_t wide_path[ENTRY_PATH_SIZE];     // and the path it becomes
    char temp[ENTRY_PATH_SIZE];             // Windows 95 and 98: the same
    char path[ENTRY_PATH_SIZE];             // in ANSI bytes
    bool looked;                            // what stood at the path was looked at at the start
    size_t tail_start;                      // else, for a look at the end: where the path is
    wchar_t folder_final[ENTRY_PATH_SIZE];  // named from, and that folder's final path
};

static NewFile new_files[MAX_NEW_FILES];
static CRITICAL_SECTION table_lock;
static const bool table_lock_ready = (InitializeCriticalSection(&table_lock), true);
static bool reclaiming;
static uint64_t swept_folders[MAX_SWEPT_FOLDERS];
static int swept_count;

static wchar_t* temp_of(NewFile& slot, const wchar_t*)
{
    return slot.wide_temp;
}

static char* temp_of(NewFile& slot, const char*)
{
    return slot.temp;
}

static wchar_t* path_of(NewFile& slot, const wchar_t*)
{
    return slot.wide_path;
}

static char* path_of(NewFile& slot, const char*)
{
    return slot.path;
}

// Copies the folder of `path`, its first `name_start` units, into `out`
// (ENTRY_PATH_SIZE units), where a name of `name_size` units, NUL
// included, is to follow it. False where the name would not fit.
template <typename Char>
static bool copy_folder_of(Char* out, const Char* path, size_t name_start, size_t name_size)
{
    if (name_start + name_size > ENTRY_PATH_SIZE)
        return false;
    for (size_t i = 0; i < name_start; i++)
        out[i] = path[i];
    return true;
}

// Composes "<the folder of path><the new file's name of try `attempt`>"
// into `out`.
template <typename Char>
static bool compose_temp_path(Char* out, const Char* path, size_t name_start, int attempt)
{
    if (!copy_folder_of(out, path, name_start, NEW_FILE_NAME_SIZE))
        return false;
    compose_new_file_name(attempt, out + name_start);
    return true;
}

// Locks the held range of the new file `handle`, which it keeps until the
// process ends. False where another run holds it: that run takes the file
// for a leftover and removes it.
static bool hold(HANDLE handle)
{
    return works_through_handles() ? LockFile(handle, HELD_OFFSET_LOW, HELD_OFFSET_HIGH, 1, 0) != 0
                                   : LockFile(handle, HELD_OFFSET_LOW_9X, 0, 1, 0) != 0;
}

// Removes the entry at `path` (its end `tail` named from the folder whose
// final path is `folder_final`) where it is a new file that a run of this
// program left: a file of its own on a disk, not a link, that no running
// program holds. Opened as itself, locked and deleted through the one
// handle. Windows 95 and 98, which have no links and delete no file that
// is open, delete it by its path: where a run holds it open, that fails.
template <typename Char>
static bool reclaim(const Char* path, const wchar_t* folder_final, const Char* tail)
{
    if (!works_through_handles())
        return delete_file(path);
    const HANDLE entry = open_entry(path, DELETE | GENERIC_READ, OPEN_EXISTING);
    if (entry == INVALID_HANDLE_VALUE)
        return false;
    const bool removed = is_own_file(entry, folder_final, tail) && hold(entry) && delete_through(entry);
    CloseHandle(entry);
    return removed;
}

// Where this run may, removes the leftovers of earlier runs from the
// folder that `path` names up to `name_start`, once a run for each folder:
// one search for the new files' names, each name found used as the system
// gave it. `path` is named from `tail_start` on from the folder whose
// final path is `folder_final`.
template <typename Char>
static void reclaim_leftovers_beside(const Char* path, size_t name_start, size_t tail_start,
                                     const wchar_t* folder_final)
{
    if (!reclaiming || folder_final == nullptr || swept_count == MAX_SWEPT_FOLDERS)
        return;
    // The folder by the name table's hash of its units, ASCII letters
    // folded.
    uint64_t hash = begin_name_hash(0);
    for (size_t i = 0; i < name_start; i++) {
        const uint32_t unit = static_cast<std::make_unsigned_t<Char>>(path[i]);
        hash = add_name_unit(hash, unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit);
    }
    hash = finish_name_hash(hash);
    for (int i = 0; i < swept_count; i++)
        if (swept_folders[i] == hash)
            return;
    swept_folders[swept_count++] = hash;
    Char pattern[ENTRY_PATH_SIZE];
    Char leftover[ENTRY_PATH_SIZE];
    if (!copy_folder_of(pattern, path, name_start, NEW_FILES_PATTERN_SIZE) ||
        !copy_folder_of(leftover, path, name_start, NEW_FILE_NAME_SIZE))
        return;
    compose_new_files_pattern(pattern + name_start);
    FindData<Char> found;
    const HANDLE search = find_first(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (is_new_file_name(found.cFileName)) {
            for (size_t i = 0; i < NEW_FILE_NAME_SIZE; i++)
                leftover[name_start + i] = found.cFileName[i];
            reclaim(leftover, folder_final, leftover + tail_start);
        }
    } while (find_next(search, &found));
    FindClose(search);
}

// Marks a slot free, once the control handler is not going over the table.
static void free_slot(NewFile& slot)
{
    EnterCriticalSection(&table_lock);
    InterlockedExchange(&slot.in_use, 0);
    LeaveCriticalSection(&table_lock);
}

// Removes a slot's file before it has a stream, and frees the slot. `fd`:
// the C runtime's descriptor that owns the handle by now, or -1.
static void remove_unopened(NewFile& slot, int fd)
{
    // The failure's reason outlives the removal.
    const DWORD failure = GetLastError();
    if (works_through_handles())
        delete_through(slot.handle);
    free_slot(slot);
    if (fd >= 0)
        _close(fd);
    else
        CloseHandle(slot.handle);
    if (!works_through_handles())
        DeleteFileA(slot.temp);
    SetLastError(failure);
}

// Gives a slot's file its stream; where none can be made, removes the file
// and frees the slot.
static FILE* open_stream(NewFile& slot, NewFileMode mode)
{
    const bool text = mode == NEW_FILE_TEXT;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(slot.handle), _O_WRONLY | (text ? _O_TEXT : _O_BINARY));
    FILE* stream = fd >= 0 ? _fdopen(fd, text ? "w" : "wb") : nullptr;
    if (stream == nullptr)
        remove_unopened(slot, fd);
    return stream;
}

// Removes a slot's file and frees the slot: through the handle wherever
// the system works through handles, where the file goes once it is closed,
// by its path on Windows 95 and 98 once it is closed. The stream is closed
// either way.
static void remove_and_release(NewFile& slot)
{
    // The failure's reason outlives the removal.
    const DWORD failure = GetLastError();
    if (works_through_handles())
        delete_through(slot.handle);
    free_slot(slot);
    fclose(slot.stream);
    slot.stream = nullptr;
    if (!works_through_handles())
        DeleteFileA(slot.temp);
    SetLastError(failure);
}

// Takes a free slot of the table, or null where every slot is in use.
static NewFile* free_slot_of_table()
{
    for (NewFile& candidate : new_files)
        if (!candidate.in_use)
            return &candidate;
    return nullptr;
}

// Whether what stands at `path` lets a new file be started for it: with
// `folder_final`, something the program may replace, where it is `looked`
// at now; without, anything but a folder.
template <typename Char>
static bool may_start_at(const Char* path, size_t tail_start, const wchar_t* folder_final, bool looked)
{
    if (folder_final != nullptr)
        return !looked || may_replace_at(path, folder_final, path + tail_start);
    const DWORD attributes = get_attributes(path);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Creates the new file at the slot's temporary path, where no entry has
// that name (CREATE_NEW: a name that anything has, a link included, is not
// taken, so the file is this program's), and records it in `slot` for the
// file at `path`. Made and recorded under the table's lock: a control
// handler finds the file recorded, or has begun before and keeps it from
// being made at all. Returns its handle, or INVALID_HANDLE_VALUE with the
// system's reason in `*error`.
template <typename Char>
static HANDLE create_and_record(NewFile& slot, const Char* path, size_t tail_start, const wchar_t* folder_final,
                                bool looked, DWORD* error)
{
    const Char* temp = temp_of(slot, path);
    const DWORD access = GENERIC_WRITE | (works_through_handles() ? DELETE : 0);
    EnterCriticalSection(&table_lock);
    HANDLE handle = open_entry(temp, access, CREATE_NEW);
    *error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE && !hold(handle)) {
        // A run that takes it for a leftover holds it; it goes either way,
        // and the next name is tried.
        if (works_through_handles())
            delete_through(handle);
        CloseHandle(handle);
        if (!works_through_handles())
            delete_file(temp);
        handle = INVALID_HANDLE_VALUE;
        *error = ERROR_FILE_EXISTS;
    }
    if (handle != INVALID_HANDLE_VALUE) {
        const size_t length = text_length(path);
        for (size_t i = 0; i <= length; i++)
            path_of(slot, path)[i] = path[i];
        slot.looked = looked;
        slot.tail_start = tail_start;
        if (!looked && !join_path(slot.folder_final, ENTRY_PATH_SIZE, L"", folder_final, JOIN_AS_THEY_ARE))
            slot.folder_final[0] = 0;
        slot.handle = handle;
        InterlockedExchange(&slot.in_use, 1);
    }
    LeaveCriticalSection(&table_lock);
    return handle;
}

// Creates the new file beside `path` (in the folder that `path` names up
// to `name_start`) under the first of the new files' names that nothing
// has, and records it in `slot`; a name that a leftover has is taken back
// where this run may, and tried once more. Returns its handle, or
// INVALID_HANDLE_VALUE.
template <typename Char>
static HANDLE create_beside(NewFile& slot, const Char* path, size_t name_start, size_t tail_start,
                            const wchar_t* folder_final, bool looked)
{
    Char* temp = temp_of(slot, path);
    bool reclaimed = false;
    for (int attempt = 0; attempt < NEW_FILE_TRIES; attempt++) {
        if (!compose_temp_path(temp, path, name_start, attempt))
            return INVALID_HANDLE_VALUE;
        DWORD error = 0;
        const HANDLE handle = create_and_record(slot, path, tail_start, folder_final, looked, &error);
        if (handle != INVALID_HANDLE_VALUE)
            return handle;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        if (reclaiming && folder_final != nullptr && !reclaimed && reclaim(temp, folder_final, temp + tail_start)) {
            reclaimed = true;
            attempt--;
            continue;
        }
        reclaimed = false;
    }
    return INVALID_HANDLE_VALUE;
}

template <typename Char>
static FILE* create_new_file_of(const Char* path, size_t tail_start, const wchar_t* folder_final, NewFileMode mode,
                                PathSeen seen)
{
    NewFile* slot = free_slot_of_table();
    if (slot == nullptr || text_length(path) >= ENTRY_PATH_SIZE)
        return nullptr;
    // A look left to the end is taken there through the UTF-16 path.
    const bool looked = folder_final == nullptr || seen != PATH_SEEN_ABSENT || !std::is_same<Char, wchar_t>::value;
    if (!may_start_at(path, tail_start, folder_final, looked))
        return nullptr;
    const size_t name_start = last_name_start(path);
    reclaim_leftovers_beside(path, name_start, tail_start, folder_final);
    const HANDLE handle = create_beside(*slot, path, name_start, tail_start, folder_final, looked);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    // Where the folder was swapped for a link since it was checked, the new
    // file went elsewhere: it is removed, wherever it is.
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        (folder_final != nullptr && !is_itself(handle, folder_final, temp_of(*slot, path) + tail_start))) {
        remove_unopened(*slot, -1);
        return nullptr;
    }
    slot->stream = open_stream(*slot, mode);
    return slot->stream;
}

FILE* create_new_file(const char* path, size_t tail_start, const wchar_t* folder_final, NewFileMode mode,
                      PathSeen seen)
{
    return create_new_file_of(path, tail_start, folder_final, mode, seen);
}

FILE* create_new_file(const wchar_t* path, size_t tail_start, const wchar_t* folder_final, NewFileMode mode,
                      PathSeen seen)
{
    return create_new_file_of(path, tail_start, folder_final, mode, seen);
}

// Moves the file of `slot` over its path: over what stands there, where
// that was looked at when the file was started; else where the path is
// still free, and where something has come there after all, over it once
// it is looked at as the start would have (a folder, a device, a link that
// the system follows regardless stay, and the move fails).
static bool move_into_place(NewFile& slot)
{
    if (!is_nt_family())
        return MoveFileExA(slot.temp, slot.path, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!slot.looked) {
        if (MoveFileExW(slot.wide_temp, slot.wide_path, 0))
            return true;
        const DWORD failure = GetLastError();
        if ((failure != ERROR_ALREADY_EXISTS && failure != ERROR_FILE_EXISTS) ||
            !may_replace_at(slot.wide_path, slot.folder_final, slot.wide_path + slot.tail_start)) {
            SetLastError(failure);
            return false;
        }
    }
    return MoveFileExW(slot.wide_temp, slot.wide_path, MOVEFILE_REPLACE_EXISTING) != 0;
}

static NewFile* slot_of(FILE* file)
{
    for (NewFile& slot : new_files)
        if (slot.in_use && slot.stream == file)
            return &slot;
    return nullptr;
}

bool finish_file(FILE* file)
{
    NewFile* slot = slot_of(file);
    if (slot == nullptr) {
        fclose(file);
        return false;
    }
    // A full disk shows only here: the stream keeps the error of a failed
    // write, and the flush hands on what was still buffered.
    if (fflush(file) != 0 || ferror(file) != 0) {
        remove_and_release(*slot);
        return false;
    }
    if (works_through_handles()) {
        // Moved while it is open, so that a failure can still remove it
        // through its handle; it was opened with every kind of sharing.
        EnterCriticalSection(&table_lock);
        const bool moved = move_into_place(*slot);
        if (moved)
            InterlockedExchange(&slot->in_use, 0);
        LeaveCriticalSection(&table_lock);
        if (!moved) {
            remove_and_release(*slot);
            return false;
        }
        slot->stream = nullptr;
        return fclose(file) == 0;
    }
    // Windows 95 and 98: no MoveFileEx, and no file moved while it is open.
    free_slot(*slot);
    slot->stream = nullptr;
    const bool closed = fclose(file) == 0;
    const DWORD attributes = GetFileAttributesA(slot->path);
    if (!closed || (attributes != INVALID_FILE_ATTRIBUTES && !DeleteFileA(slot->path)) ||
        !MoveFileA(slot->temp, slot->path)) {
        const DWORD failure = GetLastError();
        DeleteFileA(slot->temp);
        SetLastError(failure);
        return false;
    }
    return true;
}

void discard_file(FILE* file)
{
    NewFile* slot = slot_of(file);
    if (slot == nullptr) {
        fclose(file);
        return;
    }
    remove_and_release(*slot);
}

void discard_every_new_file()
{
    // Taken for good: from here on no file is made, moved or given up, and
    // the process ends with the lock held.
    EnterCriticalSection(&table_lock);
    for (NewFile& slot : new_files) {
        if (!slot.in_use)
            continue;
        // Windows 95 and 98 delete no open file: the handle goes first, and
        // the program ends right after this.
        if (works_through_handles()) {
            delete_through(slot.handle);
        } else {
            CloseHandle(slot.handle);
            DeleteFileA(slot.temp);
        }
    }
}

void claim_leftover_new_files()
{
    reclaiming = true;
}
