// host/files.h: files named by Windows paths.
//
// A path is a code page 932 byte string as the program composes it: a drive
// letter or not, backslashes (or slashes) between components, relative to
// the current directory or not.
//
// Nothing that is opened here blocks, and only regular files are opened: a
// folder, a pipe (FIFO), a device or anything else at the path fails as an
// absent file does, at once.
#pragma once

#include <cstdio>

// Opens a file as fopen does, with the modes "rb", "wb" and "w". In the text
// mode "w" every line feed written becomes CR LF in the file, as the Windows
// C runtime does. Returns nullptr when the file cannot be opened.
//
// A file opened for reading is closed with fclose. One opened for writing
// ("wb", "w") is written the one way every file is written: never where it
// stands, but as a new file created beside it, which finish_file puts at the
// path once it is complete (linked there where the path is free, where the
// host can; moved over it otherwise). So nothing at the path is ever opened
// for writing: a link there (symbolic or hard) is replaced as an entry and
// what it leads to or shares stays untouched, and a file that fails on the
// way leaves the path as it was. What may stand at the path: nothing, a
// regular file of its own, or a link that can be replaced as a link (on
// Windows, one shown as a reparse point; under Wine, a Unix link to a file
// shows as the file it leads to and refuses the open).
FILE* open_file(const char* path, const char* mode);

// Opens the file at `folder` followed directly by `name` (no separator is
// inserted), as open_file does with that path and `mode`, but only when no
// folder of `name` on the way to the file is a symbolic link (on Windows, a
// reparse point such as a junction) or another mount: a member "sub\x.txt"
// is not written when "sub" in `folder` is a link. `folder` is taken as it
// is, and may be a link itself or lie below one. `folder` ends in a
// separator (or is empty, for the current directory); `name` is relative,
// holds no ".." component and does not end in a separator. Returns nullptr
// when the file cannot be opened, a linked folder on the way included, and
// when `name` does not lead below `folder`.
FILE* open_file_in(const char* folder, const char* name, const char* mode);

// Many files opened in one folder, one after another, as an extraction
// writes its members. From begin_folder_batch(folder) to
// end_folder_batch(), open_file_in with that same folder finds the folder
// once, at the first file, and keeps it; and what is looked up on the way
// for every file is looked up once for the batch: the names in each folder
// that its files go into, for names that differ only in letter case (the
// names the batch writes are added), so that a folder is read once for its
// names however many files go into it (and once more a run where
// leftovers are looked for: claim_leftover_new_files); under Wine, the Unix
// mount table too. Everything
// that is opened is still checked where it is opened, for each file, as
// outside a batch. One batch at a time; a new one ends the last.
void begin_folder_batch(const char* folder);
void end_folder_batch();

// Completes a file opened for writing: flushes and closes its stream and
// puts the new file at its path. False when a write, the close, the link
// or the move failed; the new file is then gone and the path keeps what it
// had.
bool finish_file(FILE* file);

// Gives up a file opened for writing: closes its stream and removes the new
// file; the path keeps what it had.
void discard_file(FILE* file);

// Lets this run remove the new files that runs of this program left
// beside their paths (killed while they wrote, or stopped by a power loss)
// wherever it meets them: a file under a name of the new files' own
// (host/portable/new_file_names.h) that no running program holds, removed
// as the checked entry it is. They are looked for in each folder that a
// run writes into, once a run (one listing), and wherever the name a new
// file would take is found taken, so that leftovers never keep a run from writing. The installer,
// whose folders are the game's and the shortcuts', calls it first; the
// packer, which writes in folders of the user's, does not.
void claim_leftover_new_files();

// Whether the system can name a file by `path` at all: every character of
// it has a form in the system's own names (UTF-8 on POSIX, UTF-16 on the
// Windows NT family). Windows 95 and 98 take the bytes as they are.
bool is_path_convertible(const char* path);
