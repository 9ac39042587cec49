// host/posix/wine/menu_builder.cpp: the user's folders of a Wine prefix, and
// the menu and desktop entries that Wine's winemenubuilder writes for a
// shortcut saved into them.
//
// The entries are Wine's own, line for line: a desktop entry whose Exec key
// starts Wine in the prefix on the shortcut (a menu entry) or on its target
// (a desktop entry), escaped as Wine escapes it; the working directory as
// its Unix path through the prefix's dosdevices; the target's file name in
// small letters as the window class. Debian names its Wine wine-stable in
// them, and so do these where a wine-stable is on the PATH. Only Wine's
// registry record of the menu files, which it uses to remove them once the
// shortcut is gone, has no counterpart here.
//
// State: entry_file, the entry or menu file being composed, one at a
// time; directory_file, the .directory file of a menu level, composed
// while entry_file holds the menu.
#include "host/posix/wine/menu_builder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/posix/codepage.h"
#include "host/posix/unix/new_files.h"
#include "host/posix/wine/path_map.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

// A .desktop or .menu file, composed whole before it is written.
constexpr size_t ENTRY_FILE_SIZE = 4 * HOST_PATH_SIZE;
// A user's name, in code page 932.
constexpr size_t USER_NAME_SIZE = 256;
// A Windows path in code page 932, and as UTF-8.
constexpr size_t WINDOWS_PATH_TEXT_SIZE = 1024;
constexpr size_t UTF8_PATH_SIZE = 3 * WINDOWS_PATH_TEXT_SIZE;

// Entry f: the folder of UserFolder f below C:\users\<user>.
static const char* const USER_FOLDER_TAILS[] = {
    "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
    "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
    "\\Desktop",
};
static_assert(sizeof USER_FOLDER_TAILS / sizeof USER_FOLDER_TAILS[0] == USER_DESKTOP + 1,
              "one folder for each UserFolder");

// The characters that a desktop entry's Exec key reserves, and those that
// take a backslash inside its double quotes.
constexpr char EXEC_RESERVED[] = " \t\n\"'\\><~|&;$*?#()`";
constexpr char EXEC_QUOTED_ESCAPED[] = "\"`$\\";

bool get_user_folder(UserFolder which, char* out, size_t capacity)
{
    const char* user = getenv("USER");
    if (user == nullptr || *user == '\0') {
        const passwd* account = getpwuid(getuid());
        user = account != nullptr ? account->pw_name : nullptr;
    }
    char name[USER_NAME_SIZE];
    return user != nullptr && utf8_to_exact_cp932(user, strlen(user), name, sizeof name) > 0 &&
           compose(out, capacity, {"C:\\users\\", name, USER_FOLDER_TAILS[which]});
}

// Whether WINEDLLOVERRIDES switches winemenubuilder.exe off: an entry
// "name,name=order" that names it, in any case, with the order empty or
// "d" (disabled). Entries are separated by semicolons.
static bool menu_builder_disabled()
{
    static const char NAME[] = "winemenubuilder.exe";
    const char* entry = getenv("WINEDLLOVERRIDES");
    while (entry != nullptr && *entry != '\0') {
        const char* end = strchr(entry, ';');
        const size_t length = end != nullptr ? static_cast<size_t>(end - entry) : strlen(entry);
        const char* equals = static_cast<const char*>(memchr(entry, '=', length));
        if (equals != nullptr && (equals + 1 == entry + length || equals[1] == 'd' || equals[1] == 'D')) {
            for (const char* name = entry; name < equals;) {
                const char* comma = static_cast<const char*>(memchr(name, ',', static_cast<size_t>(equals - name)));
                const char* name_end = comma != nullptr ? comma : equals;
                if (static_cast<size_t>(name_end - name) == sizeof NAME - 1 &&
                    same_bytes_ignoring_case(name, NAME, sizeof NAME - 1))
                    return true;
                name = name_end + 1;
            }
        }
        entry = end != nullptr ? end + 1 : nullptr;
    }
    return false;
}

// Appends text to a file being composed; false when it would not fit.
struct Composed {
    char text[ENTRY_FILE_SIZE];
    size_t used;
};

static Composed entry_file;
static Composed directory_file;

static bool append(Composed& file, const char* text)
{
    if (!compose(file.text + file.used, sizeof file.text - file.used, {text}))
        return false;
    file.used += strlen(file.text + file.used);
    return true;
}

// How a value goes into a desktop entry: every value of type string takes
// the string escapes, a backslash written as two; what the Exec key runs
// is quoted first, as its own rules ask, and its '%' doubled, so that the
// launcher expands no field code in it.
enum ValueKind {
    VALUE_STRING,        // a string: the string escapes alone
    VALUE_EXEC_QUOTED,   // inside an Exec key's double quotes: '"', '`', '$'
                         // and '\' each after a backslash
    VALUE_EXEC_WORD,     // an unquoted Exec argument, as Wine writes it: each
                         // reserved character after a backslash
};

// Appends `text` as a value of `kind`. False when it would not fit, for a
// control character, which no value may hold (a line feed would add keys of
// its own to the entry), and for text that is not UTF-8, which a launcher
// refuses whole (a host path may hold any bytes).
static bool append_value(Composed& file, const char* text, ValueKind kind)
{
    if (!is_utf8(text))
        return false;
    for (const char* c = text; *c != '\0'; c++) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
        const bool escaped = (kind == VALUE_EXEC_QUOTED && strchr(EXEC_QUOTED_ESCAPED, *c) != nullptr) ||
                             (kind == VALUE_EXEC_WORD && strchr(EXEC_RESERVED, *c) != nullptr);
        // The escaping backslash is a string's backslash too: two of them.
        if (escaped && !append(file, "\\\\"))
            return false;
        const char one[] = {*c, '\0'};
        const char* piece = *c == '\\' ? "\\\\" : *c == '%' && kind != VALUE_STRING ? "%%" : one;
        if (!append(file, piece))
            return false;
    }
    return true;
}

// Appends `text` as XML character data; false for a control character,
// which XML does not allow, and for text that is not UTF-8.
static bool append_xml(Composed& file, const char* text)
{
    if (!is_utf8(text))
        return false;
    for (const char* c = text; *c != '\0'; c++) {
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F)
            return false;
        const char one[] = {*c, '\0'};
        const char* piece = *c == '&' ? "&amp;" : *c == '<' ? "&lt;" : *c == '>' ? "&gt;" : *c == '"' ? "&quot;"
                            : *c == '\'' ? "&apos;" : one;
        if (!append(file, piece))
            return false;
    }
    return true;
}

// Whether a file of the menu is a program that its reader may start (a
// desktop entry on the desktop), given the execute bits that the umask
// allows, or not.
enum EntryFileKind { PLAIN_ENTRY_FILE, EXECUTABLE_ENTRY_FILE };

// Writes `file` at `path`, as every file is written
// (host/posix/unix/new_files.h): a new file beside it moved over it, so
// that nothing at the path is ever opened. False when it was not written.
static bool write_entry_file(char* path, const Composed& file, EntryFileKind kind)
{
    char* slash = strrchr(path, '/');
    if (slash == nullptr || slash == path)
        return false;
    *slash = '\0';
    const int folder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    *slash = '/';
    if (folder < 0)
        return false;
    FILE* stream = create_new_file(folder, slash + 1, OPEN_TO_WRITE_BINARY, FOLDER_COPIED, ENTRY_NOT_LOOKED_AT);
    close(folder);
    if (stream == nullptr)
        return false;
    if (fwrite(file.text, 1, file.used, stream) != file.used) {
        discard_file(stream);
        return false;
    }
    if (kind == EXECUTABLE_ENTRY_FILE) {
        const mode_t mask = umask(0);
        umask(mask);
        if (fchmod(fileno(stream), (0666 | 0111) & ~mask) != 0) {
            discard_file(stream);
            return false;
        }
    }
    return finish_file(stream);
}

// Creates every folder of `path` that is missing, as mkdir -p does.
static void make_folders(char* path)
{
    for (char* slash = strchr(path + 1, '/');; slash = strchr(slash + 1, '/')) {
        if (slash != nullptr)
            *slash = '\0';
        mkdir(path, 0777);
        if (slash == nullptr)
            return;
        *slash = '/';
    }
}

// The XDG folder named by `variable`, else `fallback` below the home
// folder. A relative value counts as none, as the XDG base directory rules
// ask: it would put the files below whatever the current directory is.
static bool xdg_folder(const char* variable, const char* fallback, char* out)
{
    const char* folder = getenv(variable);
    if (folder != nullptr && folder[0] == '/')
        return compose(out, HOST_PATH_SIZE, {folder});
    const char* home = getenv("HOME");
    return home != nullptr && *home != '\0' && compose(out, HOST_PATH_SIZE, {home, fallback});
}

// The prefix as an absolute path without a separator at its end, as Wine
// hands it to the programs it starts.
static bool absolute_prefix(char* out)
{
    char prefix[HOST_PATH_SIZE];
    char current[HOST_PATH_SIZE];
    if (!wine_prefix(prefix))
        return false;
    if (prefix[0] != '/' && (getcwd(current, sizeof current) == nullptr ||
                             !compose(out, HOST_PATH_SIZE, {current, "/", prefix})))
        return false;
    if (prefix[0] == '/' && !compose(out, HOST_PATH_SIZE, {prefix}))
        return false;
    size_t length = strlen(out);
    while (length > 1 && out[length - 1] == '/')
        out[--length] = '\0';
    return true;
}

// The Unix path by which Wine reaches the Windows path `path` (code page
// 932, absolute, on a drive): through the prefix's dosdevices.
static bool unix_path_of(const char* prefix, const char* path, char* out)
{
    char rest[UTF8_PATH_SIZE];
    if (!has_drive_prefix(path) ||
        cp932_to_utf8(path + 2, strlen(path + 2), rest, sizeof rest, REFUSE_UNCONVERTIBLE) < 0)
        return false;
    for (char* c = rest; *c != '\0'; c++)
        if (*c == '\\')
            *c = '/';
    const char drive[] = {fold_ascii_case(path[0]), ':', '\0'};
    return compose(out, HOST_PATH_SIZE, {prefix, "/dosdevices/", drive, rest});
}

// The name by which desktop entries start Wine: Debian's own menu builder
// writes wine-stable, which is on the PATH wherever Debian's Wine is.
static const char* wine_loader()
{
    for (const char* path = getenv("PATH"); path != nullptr && *path != '\0';) {
        const char* end = strchr(path, ':');
        const size_t length = end != nullptr ? static_cast<size_t>(end - path) : strlen(path);
        char folder[HOST_PATH_SIZE];
        char program[HOST_PATH_SIZE];
        if (length > 0 && length < sizeof folder) {
            memcpy(folder, path, length);
            folder[length] = '\0';
            if (compose(program, sizeof program, {folder, "/wine-stable"}) && access(program, X_OK) == 0)
                return "wine-stable";
        }
        path = end != nullptr ? end + 1 : nullptr;
    }
    return "wine";
}

// What follows the command in a desktop entry's Exec line, as Wine's menu
// builder writes it: nothing in a menu entry, which starts the shortcut; a
// blank and the target's arguments, none, in an entry on the desktop,
// which starts the target.
enum ExecArguments { NO_ARGUMENTS, EMPTY_ARGUMENTS };

// Composes a desktop entry that starts Wine on `command` (UTF-8, a Windows
// path), followed by `arguments`.
static bool compose_desktop_entry(Composed& file, const char* name, const char* command, ExecArguments arguments,
                                  const char* target_path, const char* working_directory)
{
    char prefix[HOST_PATH_SIZE];
    char work[HOST_PATH_SIZE];
    char wm_class[UTF8_PATH_SIZE];
    const char* target_name = target_path + last_name_start(target_path);
    if (!absolute_prefix(prefix) ||
        cp932_to_utf8(target_name, strlen(target_name), wm_class, sizeof wm_class, REFUSE_UNCONVERTIBLE) < 0)
        return false;
    for (char* c = wm_class; *c != '\0'; c++)
        *c = fold_ascii_case(*c);
    file.used = 0;
    file.text[0] = '\0';
    return append(file, "[Desktop Entry]\nName=") && append_value(file, name, VALUE_STRING) &&
           append(file, "\nExec=env WINEPREFIX=\"") && append_value(file, prefix, VALUE_EXEC_QUOTED) &&
           append(file, "\" ") && append(file, wine_loader()) && append(file, " ") &&
           append_value(file, command, VALUE_EXEC_WORD) && append(file, arguments == EMPTY_ARGUMENTS ? " \n" : "\n") &&
           append(file, "Type=Application\nStartupNotify=true\n") &&
           (working_directory[0] == '\0' ||
            (unix_path_of(prefix, working_directory, work) && append(file, "Path=") &&
             append_value(file, work, VALUE_STRING) && append(file, "\n"))) &&
           (wm_class[0] == '\0' ||
            (append(file, "StartupWMClass=") && append_value(file, wm_class, VALUE_STRING) && append(file, "\n")));
}

// The menu of a shortcut `relative` (as write_menu_entry takes it), merged
// into the applications menu below `config`: one level for "wine" and for
// each folder of the shortcut, each with a .directory file below `data`
// unless it has one already. False when any of its files was not written.
static bool write_menu_file(const char* relative, const char* data, const char* config)
{
    char path[HOST_PATH_SIZE];
    char menu_name[HOST_PATH_SIZE];
    if (!compose(menu_name, sizeof menu_name, {"wine/", relative, ".desktop"}) ||
        !compose(path, sizeof path, {data, "/desktop-directories"}))
        return false;
    make_folders(path);
    entry_file.used = 0;
    append(entry_file, "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
                 "\"http://www.freedesktop.org/standards/menu-spec/menu-1.0.dtd\">\n"
                 "<Menu>\n  <Name>Applications</Name>\n");
    int levels = 0;
    const char* level_name = menu_name;
    for (char* c = menu_name; *c != '\0'; c++) {
        if (*c != '/')
            continue;
        *c = '\0';
        const char* prefix = levels == 0 ? "wine-" : "";
        directory_file.used = 0;
        const bool is_wine = strcmp(level_name, "wine") == 0;
        if (!append(entry_file, "  <Menu>\n    <Name>") || !append(entry_file, prefix) ||
            !append_xml(entry_file, menu_name) || !append(entry_file, "</Name>\n    <Directory>") ||
            !append(entry_file, prefix) || !append_xml(entry_file, menu_name) ||
            !append(entry_file, ".directory</Directory>\n") ||
            !compose(path, sizeof path, {data, "/desktop-directories/", prefix, menu_name, ".directory"}) ||
            !append(directory_file, "[Desktop Entry]\nType=Directory\nName=") ||
            !append_value(directory_file, is_wine ? "Wine" : level_name, VALUE_STRING) ||
            !append(directory_file, is_wine ? "\nIcon=wine\n" : "\nIcon=folder\n"))
            return false;
        struct stat info;
        if (lstat(path, &info) != 0 && errno == ENOENT && !write_entry_file(path, directory_file, PLAIN_ENTRY_FILE))
            return false;
        *c = '-';
        level_name = c + 1;
        levels++;
    }
    if (!append(entry_file, "    <Include>\n      <Filename>") || !append_xml(entry_file, menu_name) ||
        !append(entry_file, "</Filename>\n    </Include>\n"))
        return false;
    for (int i = 0; i < levels; i++)
        if (!append(entry_file, "  </Menu>\n"))
            return false;
    const size_t stem = strlen(menu_name) - strlen(".desktop");
    menu_name[stem] = '\0';
    if (!append(entry_file, "</Menu>\n") || !compose(path, sizeof path, {config, "/menus/applications-merged"}))
        return false;
    make_folders(path);
    return compose(path, sizeof path, {config, "/menus/applications-merged/", menu_name, ".menu"}) &&
           write_entry_file(path, entry_file, PLAIN_ENTRY_FILE);
}

// The menu entry of a shortcut `relative` (UTF-8, '/' between folders, no
// extension) below the Start menu, whose Windows path is `link` (UTF-8).
// False when any of its files was not written.
static bool write_menu_entry(const char* relative, const char* link, const char* target_path,
                             const char* working_directory)
{
    char data[HOST_PATH_SIZE];
    char config[HOST_PATH_SIZE];
    char path[HOST_PATH_SIZE];
    const char* name = strrchr(relative, '/') != nullptr ? strrchr(relative, '/') + 1 : relative;
    if (!xdg_folder("XDG_DATA_HOME", "/.local/share", data) || !xdg_folder("XDG_CONFIG_HOME", "/.config", config) ||
        !compose_desktop_entry(entry_file, name, link, NO_ARGUMENTS, target_path, working_directory) ||
        !compose(path, sizeof path, {data, "/applications/wine/", relative, ".desktop"}))
        return false;
    *strrchr(path, '/') = '\0';
    make_folders(path);
    path[strlen(path)] = '/';
    return write_entry_file(path, entry_file, PLAIN_ENTRY_FILE) && write_menu_file(relative, data, config);
}

// Whether `path` lies below `folder` (Windows paths, ASCII letters in
// either case); the part below it is then at path + strlen(folder) + 1.
static bool lies_below(const char* path, const char* folder)
{
    const size_t length = strlen(folder);
    return same_bytes_ignoring_case(path, folder, length) && path[length] == '\\';
}

bool build_menu_entry(const char* link_path, const char* target_path, const char* working_directory)
{
    char start_menu[WINDOWS_PATH_TEXT_SIZE];
    char desktop[WINDOWS_PATH_TEXT_SIZE];
    char link[UTF8_PATH_SIZE];
    if (menu_builder_disabled() || !get_user_folder(USER_START_MENU, start_menu, sizeof start_menu) ||
        !get_user_folder(USER_DESKTOP, desktop, sizeof desktop) ||
        cp932_to_utf8(link_path, strlen(link_path), link, sizeof link, REFUSE_UNCONVERTIBLE) < 0)
        return true;
    const bool in_start_menu = lies_below(link_path, start_menu);
    if (!in_start_menu && !lies_below(link_path, desktop))
        return true;
    // The shortcut's name below its folder, its extension dropped, its
    // folders separated by '/'. Both folders are ASCII, so their lengths
    // are the same in UTF-8.
    char relative[UTF8_PATH_SIZE];
    strcpy(relative, link + strlen(in_start_menu ? start_menu : desktop) + 1);
    for (char* c = relative; *c != '\0'; c++)
        if (*c == '\\')
            *c = '/';
    char* dot = strrchr(relative, '.');
    if (dot != nullptr && strchr(dot, '/') == nullptr)
        *dot = '\0';
    if (in_start_menu)
        return write_menu_entry(relative, link, target_path, working_directory);
    // On the desktop: an executable entry beside the shortcut, which starts
    // the shortcut's target.
    char target[UTF8_PATH_SIZE];
    char folder[HOST_PATH_SIZE];
    char path[HOST_PATH_SIZE];
    const char* name = strrchr(relative, '/') != nullptr ? strrchr(relative, '/') + 1 : relative;
    if (cp932_to_utf8(target_path, strlen(target_path), target, sizeof target, REFUSE_UNCONVERTIBLE) < 0 ||
        !compose_desktop_entry(entry_file, name, target, EMPTY_ARGUMENTS, target_path, working_directory) ||
        !map_path(desktop, folder) || !compose(path, sizeof path, {folder, "/", name, ".desktop"}))
        return false;
    return write_entry_file(path, entry_file, EXECUTABLE_ENTRY_FILE);
}
