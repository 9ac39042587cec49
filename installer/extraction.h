// installer/extraction.h: the game's files extracted from the archive into
// the install directory, a line for each member and each fault.
#pragma once

// The longest output path: install directory and member name.
constexpr int MAX_OUTPUT_PATH = 255;

// Opens the archive, reads it from its first byte to its end marker and
// writes every member that `pattern` selects (is_member_selected) into the
// install directory, printing a line per member and per fault; a fault
// marks the installation failed. Ends the program with exit code 1 when
// the archive cannot be opened.
void extract_archive(const char* archive_name, const char* pattern);
