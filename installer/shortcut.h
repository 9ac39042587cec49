// installer/shortcut.h: the two shortcuts to the launch batch file.
#pragma once

constexpr int SHORTCUT_START_MENU = 1;
constexpr int SHORTCUT_DESKTOP = 2;

// Saves a shortcut of `kind` (SHORTCUT_START_MENU or SHORTCUT_DESKTOP) to
// the install directory followed by `target_name`, below the Windows
// directory, with a maximised window and as working directory the Windows
// directory, or the install directory made absolute where the batch file
// cannot change to it by itself (installer/shortcut.cpp). Returns 1 for any other kind, touching nothing, and 0
// otherwise, saved or not. A shortcut that could not be saved gets one line
// on the console; any earlier failure passes silently.
int create_shortcut(int kind, const char* target_name);
