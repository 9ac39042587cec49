// host/posix/fd_io.h: bytes handed whole to a file descriptor, for the
// posix files that write to descriptors of their own (text-mode files, the
// pager's pipe).
#pragma once

#include <cstddef>

// Writes all `count` bytes to `fd`, going on after a short or interrupted
// write. Returns false when a write fails or writes nothing; part of the
// bytes may have gone out by then.
bool write_all(int fd, const char* bytes, size_t count);
