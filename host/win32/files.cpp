// host/win32/files.cpp: files named by Windows paths, opened by the kernel
// and handed to the C runtime as streams. No state.
//
// Paths reach the kernel as host/win32/kernel/base.h says: UTF-16 converted
// from code page 932 on the NT family, ANSI bytes on Windows 95 and 98.
//
// Only a file on a disk is opened: a device name (CON, NUL, COM1, in any
// folder), a pipe and a folder are refused before a byte is read or
// written, so that nothing the installer opens can block or reach a
// device. A file is written as a new file beside its path and moved over
// it (host/win32/kernel/new_files.h), so nothing at the path is ever opened
// for writing: a link shown as a reparse point is replaced as the link it
// is; a link that the system follows regardless (a Unix symbolic link
// under Wine) is refused (host/win32/kernel/final_paths.h).
//
// State (the batch, from begin_folder_batch to end_folder_batch):
//   in_batch          a batch is open.
//   batch_folder      its folder, as given.
//   batch_final       the final path of that folder, found at the batch's
//   batch_final_known first file that writes, and kept to its end (empty
//                     where the system has no final paths).
//   batch_folders     the folders of the batch (its own, and those below
//   batch_folder_count it that its files go into) whose names it has read,
//                     each by a hash of its path from the batch's folder,
//                     letter case folded; batch_folder_count of them. The
//                     names read there, and those written there since, are
//                     in the name table (host/portable/name_table.h), each
//                     hashed with its letter case folded and with its
//                     folder's place here.
//   batch_names_lost  the name table filled up: the batch looks at every
//                     path it writes, as outside a batch.
//   While a batch is open it holds the mount table
//   (host/win32/kernel/mount_table.h).
#include "host/files.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/portable/name_table.h"
#include "host/portable/open_mode.h"
#include "host/win32/kernel/base.h"
#include "host/win32/kernel/final_paths.h"
#include "host/win32/kernel/handles.h"
#include "host/win32/kernel/join_path.h"
#include "host/win32/kernel/mount_table.h"
#include "host/win32/kernel/new_files.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

// Folders of a batch whose names it reads once; the files of a folder
// beyond them look at their paths, as outside a batch.
constexpr size_t MAX_BATCH_FOLDERS = 64;

static bool in_batch;
static char batch_folder[ENTRY_PATH_SIZE];
static wchar_t batch_final[ENTRY_PATH_SIZE];
static bool batch_final_known;
static uint64_t batch_folders[MAX_BATCH_FOLDERS];
static size_t batch_folder_count;
static bool batch_names_lost;

template <typename Char>
static HANDLE open_for_reading(const Char* path)
{
    return create_file(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

static DWORD full_path(const char* path, char* out, char** name)
{
    return GetFullPathNameA(path, ENTRY_PATH_SIZE, out, name);
}

static DWORD full_path(const wchar_t* path, wchar_t* out, wchar_t** name)
{
    return GetFullPathNameW(path, ENTRY_PATH_SIZE, out, name);
}

// Whether the folder that the file `tail` (the end of `path`) goes into is
// reached from the folder whose final path is `folder_final` through no
// link and no mount point, before anything is created in it: a real
// folder, not itself a link shown as a reparse point, whose final path
// shows no link followed on the way. One check through one handle.
template <typename Char>
static bool is_reached_within(const Char* path, const wchar_t* folder_final, const Char* tail)
{
    // Where the folder of `tail` ends: at the separator before its last
    // name.
    const size_t name_start = last_name_start(tail);
    const size_t tail_folder_end = name_start > 0 ? name_start - 1 : 0;
    if (tail_folder_end == 0 || !final_paths_known())
        return true;
    Char inner_folder[ENTRY_PATH_SIZE];
    Char inner_tail[ENTRY_PATH_SIZE];
    const size_t path_end = text_length(path) - text_length(tail) + tail_folder_end;
    for (size_t i = 0; i < path_end; i++)
        inner_folder[i] = path[i];
    inner_folder[path_end] = 0;
    for (size_t i = 0; i < tail_folder_end; i++)
        inner_tail[i] = tail[i];
    inner_tail[tail_folder_end] = 0;
    const HANDLE entry = open_entry(inner_folder, 0, OPEN_EXISTING);
    if (entry == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool within = GetFileInformationByHandle(entry, &information) &&
                        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                        is_itself(entry, folder_final, inner_tail);
    CloseHandle(entry);
    return within;
}

// The hash of the first `length` units of `name`, letter case folded as
// the file systems fold it (the system's own upper case of each character)
// and slashes taken as backslashes, under `place`; false where the system
// cannot fold them.
static bool folded_hash(size_t place, const wchar_t* name, size_t length, uint64_t* hash)
{
    wchar_t upper[ENTRY_PATH_SIZE];
    if (length >= ENTRY_PATH_SIZE || !fold_name_case(name, length, upper))
        return false;
    uint64_t folded = begin_name_hash(place);
    for (size_t i = 0; i < length; i++)
        folded = add_name_unit(folded, upper[i] == L'/' ? L'\\' : upper[i]);
    *hash = finish_name_hash(folded);
    return true;
}

// Puts every name of the folder that `pattern` ("<folder>\*") lists into
// the name table under `place`, and the short name of each entry that has
// one, by which it opens as well. False when the folder cannot be read to
// its end or a name cannot be put there (batch_names_lost where the table
// is full).
static bool read_batch_folder(const wchar_t* pattern, size_t place)
{
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(pattern, &entry);
    // A root folder without a single entry lists nothing.
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool kept = true;
    do {
        for (const wchar_t* name : {entry.cFileName, entry.cAlternateFileName}) {
            uint64_t hash = 0;
            if (!kept || name[0] == 0)
                continue;
            if (!folded_hash(place, name, text_length(name), &hash)) {
                kept = false;
            } else if (!remember_name(hash)) {
                kept = false;
                batch_names_lost = true;
            }
        }
    } while (kept && FindNextFileW(search, &entry));
    const bool whole = kept && GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return whole;
}

// Whether the batch knows that nothing stands at `path`, a file of the
// batch's folder whose name below it starts at `tail_start`, nor at a path
// that differs from it only in letter case: by the names of the file's
// folder, read for the batch when the first of its files is written, and
// those written there since. The file's name goes in as one the batch
// writes. Only where the system names files in UTF-16.
static bool batch_knows_absent(const char*, size_t)
{
    return false;
}

static bool batch_knows_absent(const wchar_t* path, size_t tail_start)
{
    const wchar_t* tail = path + tail_start;
    const size_t name_start = last_name_start(tail);
    uint64_t folder_key = 0;
    if (batch_names_lost || !folded_hash(0, tail, name_start, &folder_key))
        return false;
    size_t place = 0;
    while (place < batch_folder_count && batch_folders[place] != folder_key)
        place++;
    if (place == batch_folder_count) {
        wchar_t pattern[ENTRY_PATH_SIZE];
        const size_t folder_end = tail_start + name_start;
        if (place == MAX_BATCH_FOLDERS || folder_end + 2 > ENTRY_PATH_SIZE)
            return false;
        for (size_t i = 0; i < folder_end; i++)
            pattern[i] = path[i];
        pattern[folder_end] = L'*';
        pattern[folder_end + 1] = 0;
        if (!read_batch_folder(pattern, place))
            return false;
        batch_folders[batch_folder_count++] = folder_key;
    }
    uint64_t hash = 0;
    if (!folded_hash(place, tail + name_start, text_length(tail + name_start), &hash))
        return false;
    const bool absent = !may_hold_name(hash);
    batch_names_lost = !remember_name(hash);
    return absent;
}

// The final path of `folder`, the current folder when it is empty, into
// `out` (get_folder_final_path).
template <typename Char>
static bool final_path_of_folder(const Char* folder, wchar_t* out)
{
    static const Char CURRENT_FOLDER[] = {'.', 0};
    return get_folder_final_path(folder[0] != 0 ? folder : CURRENT_FOLDER, out);
}

// Opens `path`, the file named `tail` in `folder`, for writing, as a new
// file beside it (host/win32/kernel/new_files.h). `known_final`: the final path
// of `folder` when it is known already (a batch's, `folder` then the
// batch's folder), else null. Returns its stream or nullptr.
template <typename Char>
static FILE* open_for_writing(const Char* path, const Char* folder, const Char* tail, NewFileMode mode,
                              const wchar_t* known_final)
{
    wchar_t folder_final[ENTRY_PATH_SIZE];
    const bool batched = known_final != nullptr;
    if (!batched) {
        if (!final_path_of_folder(folder, folder_final))
            return nullptr;
        known_final = folder_final;
    }
    if (!is_reached_within(path, known_final, tail))
        return nullptr;
    const size_t tail_start = text_length(path) - text_length(tail);
    const PathSeen seen = batched && batch_knows_absent(path, tail_start) ? PATH_SEEN_ABSENT : PATH_UNSEEN;
    return create_new_file(path, tail_start, known_final, mode, seen);
}

// How a new file of the writing `mode` writes.
static NewFileMode new_file_mode(OpenMode mode)
{
    return mode == OPEN_TO_WRITE_TEXT ? NEW_FILE_TEXT : NEW_FILE_BINARY;
}

template <typename Char>
static FILE* open_path(const Char* path, OpenMode mode)
{
    if (mode == OPEN_TO_READ)
        return reading_stream_of(open_for_reading(path));
    Char full[ENTRY_PATH_SIZE];
    Char* name = nullptr;
    const DWORD length = full_path(path, full, &name);
    if (length == 0 || length >= ENTRY_PATH_SIZE || name == nullptr)
        return nullptr;
    // The folder keeps its separator: "c:\" stays the root.
    Char folder[ENTRY_PATH_SIZE];
    const size_t folder_length = static_cast<size_t>(name - full);
    for (size_t i = 0; i < folder_length; i++)
        folder[i] = full[i];
    folder[folder_length] = 0;
    return open_for_writing(full, folder, name, new_file_mode(mode), nullptr);
}

FILE* open_file(const char* path, const char* mode_name)
{
    const OpenMode mode = open_mode_of(mode_name);
    if (mode == NO_OPEN_MODE) {
        errno = EINVAL;
        return nullptr;
    }
    if (!is_nt_family())
        return open_path(path, mode);
    wchar_t wide_path[ENTRY_PATH_SIZE];
    return to_wide(path, wide_path, ENTRY_PATH_SIZE) ? open_path(wide_path, mode) : nullptr;
}

template <typename Char>
static FILE* open_path_in(const Char* folder, const Char* name, OpenMode mode, const wchar_t* known_final)
{
    Char path[ENTRY_PATH_SIZE];
    if (!join_path(path, ENTRY_PATH_SIZE, folder, name, JOIN_AS_THEY_ARE))
        return nullptr;
    if (mode != OPEN_TO_READ && final_paths_known())
        return open_for_writing(path, folder, name, new_file_mode(mode), known_final);
    // Without final paths, and for reading, every folder of the name on the
    // way to the file must be a real one, not a junction or a link that
    // leads out of `folder`, by its attributes.
    for (size_t i = text_length(folder); path[i] != 0; i += path_character_length(path + i)) {
        if (!is_path_separator(path[i]))
            continue;
        const Char separator = path[i];
        path[i] = 0;
        const DWORD attributes = get_attributes(path);
        path[i] = separator;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return nullptr;
    }
    if (mode == OPEN_TO_READ)
        return reading_stream_of(open_for_reading(path));
    return open_for_writing(path, folder, name, new_file_mode(mode), known_final);
}

// The final path of the batch's folder, found once, or null when `folder`
// is not the batch's or it cannot be found.
template <typename Char>
static const wchar_t* batch_final_path(const char* folder_bytes, const Char* folder)
{
    if (!in_batch || strcmp(folder_bytes, batch_folder) != 0)
        return nullptr;
    if (!batch_final_known)
        batch_final_known = final_path_of_folder(folder, batch_final);
    return batch_final_known ? batch_final : nullptr;
}

FILE* open_file_in(const char* folder, const char* name, const char* mode_name)
{
    const OpenMode mode = open_mode_of(mode_name);
    if (mode == NO_OPEN_MODE) {
        errno = EINVAL;
        return nullptr;
    }
    if (!is_nt_family())
        return open_path_in(folder, name, mode, batch_final_path(folder, folder));
    wchar_t wide_folder[ENTRY_PATH_SIZE];
    wchar_t wide_name[ENTRY_PATH_SIZE];
    const bool converted =
        to_wide(folder, wide_folder, ENTRY_PATH_SIZE) && to_wide(name, wide_name, ENTRY_PATH_SIZE);
    return converted ? open_path_in(wide_folder, wide_name, mode, batch_final_path(folder, wide_folder)) : nullptr;
}

void begin_folder_batch(const char* folder)
{
    end_folder_batch();
    in_batch = compose(batch_folder, sizeof batch_folder, {folder});
    batch_final_known = false;
    if (in_batch) {
        hold_mount_table();
        forget_names();
    }
}

void end_folder_batch()
{
    if (in_batch)
        release_mount_table();
    in_batch = false;
    batch_final_known = false;
    batch_folder_count = 0;
    batch_names_lost = false;
}

bool is_path_convertible(const char* path)
{
    wchar_t wide_path[ENTRY_PATH_SIZE];
    return !is_nt_family() || to_wide(path, wide_path, ENTRY_PATH_SIZE);
}
