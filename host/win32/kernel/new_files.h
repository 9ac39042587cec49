// host/win32/kernel/new_files.h: the one way the Windows host writes a file.
//
// A file is never opened where it stands. Its new content goes into a file
// of its own, created where nothing stood (CREATE_NEW) beside it in the
// same folder, and that file is moved over the path once it is complete
// (MoveFileEx, while it is still open, so that a failed move removes it
// through its own handle). What stood there, a file, a hard link or a link
// shown as a reparse point, is replaced as an entry: what it leads to or
// shares is never opened. Where a step fails, the new file is removed and
// the old entry stays. Windows 95 and 98, which have no links and no
// MoveFileEx, delete the old file and move the new one by their paths.
//
// Every file being written is listed until it is finished or discarded, so
// that an interrupt can remove it (host/ending.h), and locked until the
// process ends, so that a later run can tell it from a leftover of a run
// that was ended from outside (claim_leftover_new_files of host/files.h).
#pragma once

#include <cstddef>
#include <cstdio>

#include "host/files.h"
#include "host/win32/kernel/base.h"

// How a new file's stream writes: bytes as they are, or text whose line
// feeds become CR LF.
enum NewFileMode { NEW_FILE_BINARY, NEW_FILE_TEXT };

// What the caller knows of the path a new file is to become: nothing (the
// path is looked at when the file is started), or, with the final path of
// a folder above it, that nothing stands there.
enum PathSeen { PATH_UNSEEN, PATH_SEEN_ABSENT };

// Files that may be written at the same time.
constexpr int MAX_NEW_FILES = 4;

// Starts the file that is to become `path` (a full path or one relative to
// the current folder) and returns its stream, or nullptr. With
// `folder_final`, the final path of a folder above the file that
// `path + tail_start` is named from, what stands at the path must be
// something the program may replace (may_replace_at of
// host/win32/kernel/final_paths.h), and the new file must be reached from
// that folder through no link or mount (is_itself); without it, the path
// must not be a folder. PATH_SEEN_ABSENT where the caller knows, with
// `folder_final`, that nothing stands at the path (a batch that has read
// its folder): the look is then not taken, since under Wine a look at a
// path where nothing stands reads the whole folder; the file is then moved
// only where the path is still free, and what has come there meanwhile is
// looked at, as the start would have, before the file is moved over it.
FILE* create_new_file(const char* path, size_t tail_start, const wchar_t* folder_final, NewFileMode mode,
                      PathSeen seen);
FILE* create_new_file(const wchar_t* path, size_t tail_start, const wchar_t* folder_final, NewFileMode mode,
                      PathSeen seen);

// finish_file and discard_file of host/files.h, for every stream of
// create_new_file:
//
// Flushes the stream of create_new_file, moves the file over its path and
// closes it. False when a write, the move or the close failed: the new
// file is then removed, and the path keeps what it had.
bool finish_file(FILE* file);

// Removes the file of create_new_file through its handle and closes its
// stream; the path keeps what it had.
void discard_file(FILE* file);

// Marks every file being written for removal through its handle, without
// closing anything, and keeps the table from then on, so that no new file
// can be made: for a console control handler, which runs on a thread of
// its own while the program goes on, and ends the process after it.
void discard_every_new_file();
