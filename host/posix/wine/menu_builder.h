// host/posix/wine/menu_builder.h: the user's folders of a booted Wine prefix,
// and what Wine's menu builder leaves on the Linux side for a shortcut saved
// into them, so that a shortcut saved by the POSIX build shows in the player's
// menu and on the desktop as one saved under Wine does.
#pragma once

#include <cstddef>

// The current user's folders as Wine lays them out when it boots a prefix:
// C:\users\<user>\..., <user> being $USER, else the account's name.
enum UserFolder { USER_START_MENU, USER_PROGRAMS, USER_DESKTOP };

// Writes the Windows path (code page 932) of `which` into `out` (capacity
// bytes, NUL included). False when the user's name has no code page 932
// form or the path does not fit.
bool get_user_folder(UserFolder which, char* out, size_t capacity);

// For a shortcut just saved at the Windows path `link_path` (code page
// 932), whose target is `target_path` (code page 932, absolute) and whose
// working directory is `working_directory` (code page 932, may be empty):
// below the user's Start menu, a menu entry (a .desktop file below
// $XDG_DATA_HOME/applications/wine, a .menu file below
// $XDG_CONFIG_HOME/menus/applications-merged, and a .directory file for
// each folder on the way); on the user's desktop, an executable .desktop
// file beside the shortcut. Nothing for a shortcut anywhere else, nor
// where WINEDLLOVERRIDES switches winemenubuilder.exe off. Every value is
// escaped as its key asks; one that no key can hold (a control character
// in a path) leaves the entry unwritten. False when the entry was not
// written whole.
bool build_menu_entry(const char* link_path, const char* target_path, const char* working_directory);
