// installer/config_file.h: the game's configuration file, and the opening
// and closing that it shares with the batch file.
#pragma once

// Writes the configuration template, with the name, color and number-pad
// options in its OPTIONS line, to the install directory followed by
// `file_name`. An existing file is replaced. A file that cannot be created
// or written gets one line on the console; the installation goes on.
void write_config_file(const char* file_name);

// Opens the install directory followed by `file_name` as a text stream for
// writing into the file slot, the path composed in the path buffer. When it
// cannot be opened, says so on the console, leaves the file slot empty and
// returns false.
bool open_install_file(const char* file_name);

// Closes the file slot opened by open_install_file and empties it; says so
// on the console when a write or the close failed.
void close_install_file(const char* file_name);
