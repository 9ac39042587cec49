// host/packer_console.h: the packer's standard streams, made ready for its
// lines, which are UTF-8 on both systems.
#pragma once

// Readies the standard streams before anything is read or written. On
// POSIX a standard stream that was closed (`2>&-`) gets /dev/null, so that
// the archive, opened later, cannot take its number and receive the lines
// meant for standard error. On Windows a standard output or standard error
// that is a console gets the UTF-8 text written in the console's own
// characters (WriteConsoleW), whatever its code page; everything written
// reaches the console before the program ends.
void prepare_standard_streams();
