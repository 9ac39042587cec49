// installer/config_file.h: the game's configuration file.
#pragma once

// Writes the configuration template, with the name, color and number-pad
// options in its OPTIONS line, to the install directory followed by
// `file_name`. An existing file is replaced. A file that cannot be created
// or written gets one line on the console; the installation goes on.
void write_config_file(const char* file_name);
