// host/posix/unix/new_files.h: the one way the POSIX host writes a file.
//
// A file is never opened where it stands. Its new content goes into a file
// of its own, created exclusively in the same folder (never through a link,
// never blocking, a new regular file by construction), without a name
// (O_TMPFILE) where the system allows, and that file is put at the entry
// once it is complete: linked there where the entry is free, moved over it
// (renameat) where something stands there, from a name of its own beside
// it (host/portable/new_file_names.h) that it takes just before. What
// stood there, a file, a hard link or a symbolic link, is replaced as an
// entry: what it leads to or shares is never opened. Where a step fails,
// the new file is removed and the old entry stays.
//
// Every file being written is listed until it is finished or discarded, so
// that an interrupt can remove it (host/ending.h).
#pragma once

#include <cstdio>

#include "host/files.h"
#include "host/portable/open_mode.h"

// Files that may be written at the same time.
constexpr int MAX_NEW_FILES = 4;

// Whether the caller keeps the folder of a new file open until the file is
// finished or discarded (a batch's folder), so that the file uses it as it
// is, or the file keeps a copy of its own.
enum FolderKept { FOLDER_COPIED, FOLDER_KEPT_OPEN_BY_CALLER };

// What the caller knows of the entry that a new file is to become:
// nothing, or that it has just found nothing there.
enum EntryLook { ENTRY_NOT_LOOKED_AT, ENTRY_SEEN_ABSENT };

// Starts the file that is to become the entry `name` (a host name, no
// slash) of the open folder `folder`, and returns its stream, or nullptr
// with errno set. What stands at `name` must be nothing, a symbolic link,
// or a regular file of the folder's own mount: a folder, a FIFO, a device,
// a socket or a file mounted there refuses the file before anything is
// created. `mode` is how its stream writes: OPEN_TO_WRITE_BINARY, whose
// stream is unbuffered (its writers hand it whole buffers), or
// OPEN_TO_WRITE_TEXT. `folder` stays the caller's, kept as `kept` says. With
// ENTRY_SEEN_ABSENT the look at `name` is not taken again, and what has
// come there meanwhile is found and looked at when the file is finished.
FILE* create_new_file(int folder, const char* name, OpenMode mode, FolderKept kept, EntryLook look);

// finish_file and discard_file of host/files.h, for every stream of
// create_new_file:
//
// Flushes and closes the stream of create_new_file and puts the file at its
// entry. False when a write, the close, the link or the move failed: the
// new file is then removed, and the entry keeps what it had.
bool finish_file(FILE* file);

// Closes the stream of create_new_file and removes the file; the entry
// keeps what it had.
void discard_file(FILE* file);

// Where this run may (claim_leftover_new_files of host/files.h), removes
// from the open folder `folder` every file that a run of this program left
// under a name of its own and that no running program holds, once a run
// for each folder. create_new_file does it for the folder of every file
// that is not written in a batch.
void reclaim_leftover_files(int folder);

// Removes every file that is being written (an unnamed one goes with the
// process anyway), without closing anything: for the handler of
// `signal_number`, which may call it at any moment (it calls only
// unlinkat). False, with nothing removed, when a file is changing hands
// right then: the signal is raised again once it has, and the handler
// returns at once meanwhile.
bool discard_every_new_file(int signal_number);
