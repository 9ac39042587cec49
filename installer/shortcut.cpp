// installer/shortcut.cpp: the two shortcuts to the launch batch file, one
// in the Start menu's program folder and one on the desktop, both below the
// Windows directory under fixed Japanese names.
//
// The steps are those of the shell link object on Windows: start COM, make
// the object, set its path, get its persist interface, set the working
// directory and the show command, convert the link path to UTF-16, save,
// release what was obtained, stop COM. The host layer supplies each of
// them; only this file decides their order and what a failure leads to.
// The one message is the failed save's; a failure before it is silent.
//
// The fixed folders are those of a Japanese Windows 95 or 98; the NT family
// and Wine have none of them. Where the save there fails, the shortcut is
// saved under the same file name into the current user's folder of that
// kind, as the shell names it, and only when that fails too is the failure
// reported.
//
// Where the shortcut starts the batch file. The batch file changes to the
// install directory with its cd line, which takes the player there only
// when it names the directory from the root of a drive and the console
// reads its bytes as they were written: as code page 932, the console's
// own on a Japanese system, or in any code page when they are all ASCII.
// A relative directory would be looked for below wherever the shortcut
// starts; a Chinese (936), Korean (949), UTF-8 (65001), Western or
// Cyrillic console reads the bytes of a Japanese name as other characters
// and looks for a folder that is not there. In either case the shortcut
// starts the batch file in the install directory itself, made absolute,
// so that the game starts there whatever becomes of the cd line; in every
// other case it starts in the Windows directory, as it always has.
#include "installer/shortcut.h"

#include "host/console.h"
#include "host/shell_link.h"
#include "installer/messages.h"
#include "installer/run_state.h"
#include "shared/windows_names.h"

namespace {

// \ｽﾀｰﾄ ﾒﾆｭｰ\ﾌﾟﾛｸﾞﾗﾑ\, below the Windows directory
const char START_MENU_FOLDER_TAIL[] = "\\\xbd\xc0\xb0\xc4 \xd2\xc6\xad\xb0\\\xcc\xdf\xdb\xb8\xde\xd7\xd1\\";
// \ﾃﾞｽｸﾄｯﾌﾟ\, below the Windows directory
const char DESKTOP_FOLDER_TAIL[] = "\\\xc3\xde\xbd\xb8\xc4\xaf\xcc\xdf\\";
// ワームホールド Ver 1.0.5.4.1.lnk, the shortcut's file name in every folder
const char LINK_FILE_NAME[] = "\x83\x8f\x81\x5b\x83\x80\x83\x7a\x81\x5b\x83\x8b\x83\x68 Ver 1.0.5.4.1.lnk";

// The longer folder tail and the file name, NUL included, bound every link
// path below the Windows directory.
constexpr size_t LINK_TAIL_SIZE = sizeof START_MENU_FOLDER_TAIL - 1 + sizeof LINK_FILE_NAME;
static_assert(sizeof DESKTOP_FOLDER_TAIL <= sizeof START_MENU_FOLDER_TAIL, "the Start menu tail is the longer one");

// A target path is the install directory, which its buffer bounds, and a
// bare file name no longer than any name the installer composes.
constexpr size_t TARGET_PATH_SIZE = 2 * LINE_SIZE;

// The Windows directory holds at most WINDOWS_PATH_SIZE - 1 bytes, so the
// link path always fits; its UTF-16 form may still not fit the wide
// buffer, which the conversion reports.
constexpr size_t LINK_PATH_SIZE = WINDOWS_PATH_SIZE - 1 + LINK_TAIL_SIZE;

// The paths of the shortcut being made. Each call composes them afresh;
// nothing in them is used after it returns.
char target_path[TARGET_PATH_SIZE];           // install directory + target name
char link_path[LINK_PATH_SIZE];               // Windows directory + tail
char working_directory[TARGET_PATH_SIZE];     // the Windows directory again, or
                                              // the install directory made
                                              // absolute
uint16_t wide_link_path[WINDOWS_PATH_SIZE];   // link_path in UTF-16, or the
                                              // shell's folder's link path
uint16_t wide_file_name[WINDOWS_PATH_SIZE];   // LINK_FILE_NAME in UTF-16

// Saves the link under LINK_FILE_NAME into the current user's shell folder
// for `kind`. False when the shell names no such folder, the path does not
// fit, or the save fails.
bool save_in_shell_folder(int kind)
{
    const ShellFolder folder = kind == SHORTCUT_START_MENU ? SHELL_FOLDER_PROGRAMS : SHELL_FOLDER_DESKTOP;
    if (!get_shell_folder(folder, wide_link_path, WINDOWS_PATH_SIZE) ||
        !convert_to_wide(LINK_FILE_NAME, wide_file_name, WINDOWS_PATH_SIZE))
        return false;
    size_t used = 0;
    while (wide_link_path[used] != 0)
        used++;
    if (used > 0 && wide_link_path[used - 1] != '\\')
        wide_link_path[used++] = '\\';
    for (size_t i = 0; wide_file_name[i] != 0; i++) {
        if (used + 1 >= WINDOWS_PATH_SIZE)
            return false;
        wide_link_path[used++] = wide_file_name[i];
    }
    wide_link_path[used] = 0;
    return save_link(wide_link_path);
}

// Whether the batch file's cd line takes the player to the install
// directory by itself (see the top of this file).
bool cd_line_finds_install_directory()
{
    if (!has_drive_prefix(install_directory) || !is_path_separator(install_directory[2]))
        return false;
    for (const char* c = install_directory; *c != '\0'; c++)
        if (static_cast<unsigned char>(*c) >= 0x80)
            return console_reads_code_page_932();
    return true;
}

// Fills working_directory with the folder the shortcut starts in.
void choose_working_directory()
{
    if (cd_line_finds_install_directory())
        get_windows_directory(working_directory, sizeof working_directory);
    else if (!get_full_path(install_directory, working_directory, sizeof working_directory))
        compose(working_directory, sizeof working_directory, {install_directory});
}

}  // namespace

int create_shortcut(int kind, const char* target_name)
{
    const bool target_fits = compose(target_path, sizeof target_path, {install_directory, target_name});

    const char* tail;
    if (kind == SHORTCUT_START_MENU)
        tail = START_MENU_FOLDER_TAIL;
    else if (kind == SHORTCUT_DESKTOP)
        tail = DESKTOP_FOLDER_TAIL;
    else
        return 1;

    // Without its directory the link path would name a folder at the root
    // of the current drive; such a path is not saved, like one that does not
    // convert completely.
    char windows_directory[WINDOWS_PATH_SIZE];
    const bool link_path_known = get_windows_directory(windows_directory, sizeof windows_directory)
        && compose(link_path, sizeof link_path, {windows_directory, tail, LINK_FILE_NAME});

    if (!target_fits) {
        console_print(MSG_SAVE_FAILED);
        return 0;
    }
    if (!start_com())
        return 0;
    if (create_shell_link()) {
        if (set_link_path(target_path) && open_link_persist()) {
            choose_working_directory();
            set_link_working_directory(working_directory);
            set_link_show_command(SHOW_MAXIMIZED);
            const bool converted = link_path_known
                && convert_to_wide(link_path, wide_link_path, WINDOWS_PATH_SIZE);
            if ((!converted || !save_link(wide_link_path)) && !save_in_shell_folder(kind))
                console_print(MSG_SAVE_FAILED);
            release_link_persist();
        }
        release_shell_link();
    }
    stop_com();
    return 0;
}
