// installer/batch_file.h: the batch file that starts the game.
#pragma once

// Writes the launch batch file to the install directory followed by
// `file_name`: "@echo off", the drive line when the install directory
// begins with a drive letter and a colon, "cd" with the install directory,
// and the game program. An existing file is replaced. A file that cannot be
// created or written gets one line on the console; the installation goes on.
void write_batch_file(const char* file_name);
