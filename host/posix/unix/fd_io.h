// host/posix/unix/fd_io.h: what the posix files need of open file descriptors:
// bytes handed whole to one (text-mode files, the pager's pipe), a
// folder's listing from its start, and whether two lie on the same mount.
#pragma once

#include <dirent.h>

#include <cstddef>

// Writes all `count` bytes to `fd`, going on after a short or interrupted
// write. Returns false when a write fails or writes nothing; part of the
// bytes may have gone out by then.
bool write_all(int fd, const char* bytes, size_t count);

// A listing of the open folder `folder` from its first entry, whatever was
// read through `folder` before, on a descriptor of its own that closedir
// closes; null when the folder cannot be listed.
DIR* list_from_start(int folder);

// Whether the open entries `a` and `b` belong to the same mount: the same
// device and, where the kernel tells mount ids, the same mount id, so that
// a bind mount of a folder of the same file system counts as another
// mount too. False when either cannot be examined.
bool on_same_mount(int a, int b);

// The same for the entry `name` of the open folder `folder` (not followed
// when it is a link) and the folder itself.
bool entry_on_folder_mount(int folder, const char* name);
