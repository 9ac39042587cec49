// installer/config_file.h: the game's configuration file.
#pragma once

// Writes the configuration template, with the name, color and number-pad
// options in its OPTIONS line, to the install directory followed by
// `file_name`.
void write_config_file(const char* file_name);
