// shared/installed_files.h: the files that the installer writes itself into
// the install directory after the extraction, over any member of the same
// name; the packer refuses such members, whose data would be lost.
#pragma once

constexpr char CONFIG_FILE_NAME[] = "wyrmhold.cnf";
constexpr char BATCH_FILE_NAME[] = "yamawyrm.bat";
constexpr const char* INSTALLER_WRITTEN_FILES[] = {CONFIG_FILE_NAME, BATCH_FILE_NAME};
