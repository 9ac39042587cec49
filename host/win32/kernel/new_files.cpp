// host/win32/kernel/new_files.cpp: files written beside their path and moved
// over it.
//
// State:
//   new_files   the files being written. A slot is in use from the moment
//               its file exists until it has been moved into place or
//               removed. The console control handler reads the table from
//               a thread of its own (discard_every_new_file): a slot's
//               handle is set before it is marked in use, and it is marked
//               free before its handle is closed.
//   table_lock  held by the control handler while it goes over the table,
//               and by whatever frees a slot (a move into place included,
//               until its slot is free), so that the handler never meets a
//               handle that is being closed, nor a file already moved over
//               its path.
#include "host/win32/kernel/new_files.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

// The new file's own name: NEW_FILE_STEM, a number, NEW_FILE_TAIL. Short,
// so that it fits wherever the path's last name does, and of characters
// that every system allows in a name.
constexpr char NEW_FILE_STEM[] = "~ymw";
constexpr char NEW_FILE_TAIL[] = ".tmp";
// Names tried before the folder counts as unwritable: each one taken
// already (by another run, or left by one that was killed) moves on.
constexpr int NEW_FILE_TRIES = 100;
// Room for a number in decimal and its NUL.
constexpr size_t NUMBER_SIZE = 12;
constexpr size_t TEMP_NAME_SIZE = sizeof NEW_FILE_STEM - 1 + NUMBER_SIZE + sizeof NEW_FILE_TAIL;

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

// Composes "<the folder of path><stem><number><tail>" into `out`.
template <typename Char>
static bool compose_temp_path(Char* out, const Char* path, size_t name_start, int attempt)
{
    char name[TEMP_NAME_SIZE];
    char number[NUMBER_SIZE];
    snprintf(number, sizeof number, "%d", attempt);
    if (!compose(name, sizeof name, {NEW_FILE_STEM, number, NEW_FILE_TAIL}) || name_start + sizeof name > ENTRY_PATH_SIZE)
        return false;
    for (size_t i = 0; i < name_start; i++)
        out[i] = path[i];
    for (size_t i = 0; i < sizeof name; i++)
        out[name_start + i] = static_cast<Char>(name[i]);
    return true;
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
static FILE* open_stream(NewFile& slot, bool text)
{
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

template <typename Char>
static FILE* create_new_file_of(const Char* path, size_t tail_start, const wchar_t* folder_final, bool text,
                                bool seen_absent)
{
    NewFile* slot = nullptr;
    for (NewFile& candidate : new_files)
        if (slot == nullptr && !candidate.in_use)
            slot = &candidate;
    const size_t length = text_length(path);
    if (slot == nullptr || length >= ENTRY_PATH_SIZE)
        return nullptr;
    // A look left to the end is taken there through the UTF-16 path.
    const bool looked = folder_final == nullptr || !seen_absent || !std::is_same<Char, wchar_t>::value;
    const DWORD attributes = folder_final == nullptr ? get_attributes(path) : INVALID_FILE_ATTRIBUTES;
    if (folder_final != nullptr ? looked && !may_replace_at(path, folder_final, path + tail_start)
                                : attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return nullptr;
    Char* temp = temp_of(*slot, path);
    const size_t name_start = last_name_start(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    const DWORD access = GENERIC_WRITE | (works_through_handles() ? DELETE : 0);
    for (int attempt = 0; attempt < NEW_FILE_TRIES && handle == INVALID_HANDLE_VALUE; attempt++) {
        if (!compose_temp_path(temp, path, name_start, attempt))
            return nullptr;
        // CREATE_NEW: a name that anything has, a link included, is not
        // taken, so the file is this program's.
        handle = open_entry(temp, access, CREATE_NEW);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return nullptr;
    }
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    for (size_t i = 0; i <= length; i++)
        path_of(*slot, path)[i] = path[i];
    slot->looked = looked;
    slot->tail_start = tail_start;
    if (!looked && !join_path(slot->folder_final, ENTRY_PATH_SIZE, L"", folder_final, false))
        slot->folder_final[0] = 0;
    slot->handle = handle;
    InterlockedExchange(&slot->in_use, 1);
    // Where the folder was swapped for a link since it was checked, the new
    // file went elsewhere: it is removed, wherever it is.
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        (folder_final != nullptr && !is_itself(handle, folder_final, temp + tail_start))) {
        remove_unopened(*slot, -1);
        return nullptr;
    }
    slot->stream = open_stream(*slot, text);
    return slot->stream;
}

FILE* create_new_file(const char* path, size_t tail_start, const wchar_t* folder_final, bool text, bool seen_absent)
{
    return create_new_file_of(path, tail_start, folder_final, text, seen_absent);
}

FILE* create_new_file(const wchar_t* path, size_t tail_start, const wchar_t* folder_final, bool text,
                      bool seen_absent)
{
    return create_new_file_of(path, tail_start, folder_final, text, seen_absent);
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
    LeaveCriticalSection(&table_lock);
}
