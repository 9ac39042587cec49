// host/shell_link.h: the Windows directory, and shell link objects
// (shortcuts) saved at a path.
//
// The operations are the platform's own, one for one: on Windows they are
// GetWindowsDirectory, COM's CoInitialize and CoUninitialize, the shell
// link object through IShellLink and IPersistFile, and
// MultiByteToWideChar. The layer holds at most one shell link object, with
// its persist interface, at a time; the caller starts COM before creating
// it and releases everything it obtained before stopping COM. Strings are
// code page 932 bytes, but for the UTF-16 link path.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for a Windows path as the shell takes it, NUL or 0 unit included.
constexpr size_t WINDOWS_PATH_SIZE = 260;

// SW_SHOWMAXIMIZED: the program starts in a maximised window.
constexpr int SHOW_MAXIMIZED = 3;

// Writes the Windows directory, normally without a trailing backslash,
// into `buffer` (capacity bytes). Returns false when it is not known or
// does not fit; the buffer then holds an empty string.
bool get_windows_directory(char* buffer, size_t capacity);

// Starts COM on this thread. False when COM is not available; a thread
// that had it started already counts as started.
bool start_com();
// Ends the COM use of one successful start_com.
void stop_com();

// Creates the shell link object. False when none could be made.
bool create_shell_link();
// Sets the path of the program that the link starts, made absolute against
// the current directory. The shortcut file keeps it in the ANSI code page
// of the system that reads it, where Wine reads it from, and so in its
// short form (c:\___~~NWP\yamawyrm.bat) where that code page cannot hold
// the path. False when the path was not accepted.
bool set_link_path(const char* target_path);
// Obtains the object's persist interface. False when there is none.
bool open_link_persist();
// Sets the working directory of the started program.
void set_link_working_directory(const char* directory);
// Sets the show command of the started program's window.
void set_link_show_command(int show_command);
// Saves the link as a shortcut file at `wide_path`, which becomes the
// object's current file, never through a link standing there (a link
// that can be replaced as a link is; otherwise nothing is saved). False
// when nothing was saved, for example when the folder does not exist, and
// when the menu entry that a save into the user's folders brings with it
// could not be written (the shortcut itself then stays).
bool save_link(const uint16_t* wide_path);
// Gives up the persist interface.
void release_link_persist();
// Gives up the shell link object.
void release_shell_link();

// The current user's folders of the shell that shortcuts go into.
enum ShellFolder { SHELL_FOLDER_PROGRAMS, SHELL_FOLDER_DESKTOP };

// Writes the current user's folder of `which`, as the shell names it, in
// UTF-16 into `wide` (capacity units, 0 included): on Windows the shell's
// own answer, asked through shell32.dll loaded at run time; on POSIX the
// folder that Wine makes when it boots a prefix, below
// C:\users\<user>\, which need not exist. False where the shell names no
// such folder (Windows 95 without the later shell) or it does not fit.
bool get_shell_folder(ShellFolder which, uint16_t* wide, size_t capacity);

// Whether the console reads a batch file's bytes as code page 932, its
// code page (the OEM one) being 932: on a Japanese system, and under a
// Wine that runs in a Japanese locale. Chinese (936), Korean (949), UTF-8
// (65001), Western and Cyrillic consoles read other characters there.
bool console_reads_code_page_932();

// Makes `path` (code page 932) absolute against the current directory, as
// the shell link object makes its target path absolute, into `out`
// (capacity bytes, NUL included). False when it does not fit or cannot be
// converted.
bool get_full_path(const char* path, char* out, size_t capacity);

// Converts a NUL-terminated path to UTF-16 in `wide` (capacity units,
// terminator included), as the system reads the installer's paths: from
// code page 932 (on Windows 95 and 98, from the system's ANSI code page,
// which is 932 on a Japanese system). Returns false when it did not
// convert completely; `wide` is then not to be used.
bool convert_to_wide(const char* path, uint16_t* wide, size_t capacity);
