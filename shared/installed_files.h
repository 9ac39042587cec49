// shared/installed_files.h: the names of the game's files that the
// installer itself knows.
#pragma once

// The game, whose presence tells an earlier installation, and its icon:
// the two files an update writes anew.
constexpr char GAME_EXECUTABLE[] = "yamawyrm.exe";
constexpr char GAME_ICON[] = "yamawyrm.ico";

// The files that the installer writes itself into the install directory
// after the extraction, over any member of the same name; the packer
// refuses such members, whose data would be lost.
constexpr char CONFIG_FILE_NAME[] = "wyrmhold.cnf";
constexpr char BATCH_FILE_NAME[] = "yamawyrm.bat";
constexpr const char* INSTALLER_WRITTEN_FILES[] = {CONFIG_FILE_NAME, BATCH_FILE_NAME};
