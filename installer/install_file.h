// installer/install_file.h: the text files that the installer writes into
// the install directory (the configuration file, the batch file), opened
// and closed in one way.
#pragma once

// Opens the install directory followed by `file_name` as a text stream for
// writing into the file slot, the path composed in the path buffer. When it
// cannot be opened, says so on the console, leaves the file slot empty and
// returns false.
bool open_install_file(const char* file_name);

// Closes the file slot opened by open_install_file, puts the file in place
// and empties the slot; says so on the console when a write or the close
// failed, and then the path keeps what it had.
void close_install_file(const char* file_name);
