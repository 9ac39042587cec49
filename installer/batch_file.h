// installer/batch_file.h: the batch file that starts the game.
#pragma once

// Writes the launch batch file to the install directory followed by
// `file_name`.
void write_batch_file(const char* file_name);
