// host/portable/deltree.h: the deltree command, carried out by the host itself
// wherever the system's command interpreter has none (every NT-family
// Windows, Wine, and the POSIX built-in interpreter).
//
//   deltree /y pattern...   deletes every file and every folder tree in the
//                           pattern's folder whose name matches its last
//                           component, without asking.
//
// The rules, the same on every platform: the pattern's folder is the part
// before its last separator (a backslash or a slash; the second byte of a
// double-byte character is none), or the current folder when it has none.
// Only entries of that folder are deleted, each with everything below it;
// a link is removed, never followed, so nothing outside the folder is ever
// touched. No match is no error.
#pragma once

#include <cstddef>

// Runs deltree with the words after its name. Returns 0 when everything
// that matched was deleted (nothing matching included), else 1; every
// complaint is one English line on the console: a pattern that left
// something it names behind (a file in use, a folder that could not be
// emptied, a link that cannot be removed as a link) gets one line that
// names the pattern.
int run_deltree(char** arguments, size_t count);
