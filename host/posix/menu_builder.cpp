// host/posix/menu_builder.cpp: the user's folders of a Wine prefix, and the
// menu and desktop entries that Wine's winemenubuilder writes for a
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
// State: entry_file, the entry being composed; one at a time.
#include "host/posix/menu_builder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/posix/codepage.h"
#include "host/posix/fd_io.h"
#include "host/posix/path_map.h"
#include "shared/buffers.h"
#include "shared/sjis.h"
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

// The characters that a desktop entry's Exec key reserves.
constexpr char EXEC_RESERVED[] = " \t\n\"'><~|&;$*?#()`";

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
                    strncasecmp(name, NAME, sizeof NAME - 1) == 0)
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

static bool append(Composed& file, const char* text)
{
    if (!compose(file.text + file.used, sizeof file.text - file.used, {text}))
        return false;
    file.used += strlen(file.text + file.used);
    return true;
}

// Appends `text` as a desktop entry's Exec key takes it, as Wine escapes
// it: a backslash as four, a reserved character after two.
static bool append_escaped(Composed& file, const char* text)
{
    for (const char* c = text; *c != '\0'; c++) {
        const char one[] = {*c, '\0'};
        const char* piece = *c == '\\' ? "\\\\\\\\" : one;
        if ((*c != '\0' && strchr(EXEC_RESERVED, *c) != nullptr && !append(file, "\\\\")) || !append(file, piece))
            return false;
    }
    return true;
}

// Appends `text` as XML character data.
static bool append_xml(Composed& file, const char* text)
{
    for (const char* c = text; *c != '\0'; c++) {
        const char one[] = {*c, '\0'};
        const char* piece = *c == '&' ? "&amp;" : *c == '<' ? "&lt;" : *c == '>' ? "&gt;" : *c == '"' ? "&quot;"
                            : *c == '\'' ? "&apos;" : one;
        if (!append(file, piece))
            return false;
    }
    return true;
}

// Writes `file` at `path`, replacing what is there but never writing
// through a link; `executable` adds the execute bits that the umask allows.
static void write_entry_file(const char* path, const Composed& file, bool executable)
{
    struct stat info;
    if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode))
        unlink(path);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    bool written = write_all(fd, file.text, file.used);
    if (written && executable && fstat(fd, &info) == 0) {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, (info.st_mode | (0111 & ~mask)) & 07777);
    }
    if (close(fd) != 0 || !written)
        unlink(path);
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

// The XDG folder named by `variable`, else `fallback` below the home folder.
static bool xdg_folder(const char* variable, const char* fallback, char* out)
{
    const char* folder = getenv(variable);
    if (folder != nullptr && *folder != '\0')
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
    if (path[0] == '\0' || path[1] != ':' || cp932_to_utf8(path + 2, strlen(path + 2), rest, sizeof rest, true) < 0)
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

// Composes a desktop entry that starts Wine on `command` (UTF-8, a Windows
// path), with an empty argument after it when `with_arguments`.
static bool compose_desktop_entry(Composed& file, const char* name, const char* command, bool with_arguments,
                                  const char* target_path, const char* working_directory)
{
    char prefix[HOST_PATH_SIZE];
    char work[HOST_PATH_SIZE];
    char wm_class[UTF8_PATH_SIZE];
    const char* target_name = target_path;
    for (const char* c = target_path; *c != '\0'; c += sjis_character_length(c))
        if (*c == '\\')
            target_name = c + 1;
    if (!absolute_prefix(prefix) ||
        cp932_to_utf8(target_name, strlen(target_name), wm_class, sizeof wm_class, true) < 0)
        return false;
    for (char* c = wm_class; *c != '\0'; c++)
        *c = fold_ascii_case(*c);
    file.used = 0;
    file.text[0] = '\0';
    return append(file, "[Desktop Entry]\nName=") && append(file, name) &&
           append(file, "\nExec=env WINEPREFIX=\"") && append(file, prefix) && append(file, "\" ") &&
           append(file, wine_loader()) && append(file, " ") && append_escaped(file, command) &&
           append(file, with_arguments ? " \n" : "\n") && append(file, "Type=Application\nStartupNotify=true\n") &&
           (working_directory[0] == '\0' ||
            (unix_path_of(prefix, working_directory, work) && append(file, "Path=") && append(file, work) &&
             append(file, "\n"))) &&
           (wm_class[0] == '\0' ||
            (append(file, "StartupWMClass=") && append(file, wm_class) && append(file, "\n")));
}

// The menu entry of a shortcut `relative` (UTF-8, '/' between folders, no
// extension) below the Start menu, whose Windows path is `link` (UTF-8).
static void write_menu_entry(const char* relative, const char* link, const char* target_path,
                             const char* working_directory)
{
    char data[HOST_PATH_SIZE];
    char config[HOST_PATH_SIZE];
    char path[HOST_PATH_SIZE];
    const char* name = strrchr(relative, '/') != nullptr ? strrchr(relative, '/') + 1 : relative;
    if (!xdg_folder("XDG_DATA_HOME", "/.local/share", data) || !xdg_folder("XDG_CONFIG_HOME", "/.config", config) ||
        !compose_desktop_entry(entry_file, name, link, false, target_path, working_directory) ||
        !compose(path, sizeof path, {data, "/applications/wine/", relative, ".desktop"}))
        return;
    *strrchr(path, '/') = '\0';
    make_folders(path);
    path[strlen(path)] = '/';
    write_entry_file(path, entry_file, false);

    // The menu: one level for "wine" and for each folder of the shortcut,
    // each with a .directory file unless it has one already.
    char menu_name[HOST_PATH_SIZE];
    if (!compose(menu_name, sizeof menu_name, {"wine/", relative, ".desktop"}) ||
        !compose(path, sizeof path, {data, "/desktop-directories"}))
        return;
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
        static Composed directory;
        directory.used = 0;
        const bool is_wine = strcmp(level_name, "wine") == 0;
        if (!append(entry_file, "  <Menu>\n    <Name>") || !append(entry_file, prefix) ||
            !append_xml(entry_file, menu_name) || !append(entry_file, "</Name>\n    <Directory>") ||
            !append(entry_file, prefix) || !append_xml(entry_file, menu_name) ||
            !append(entry_file, ".directory</Directory>\n") ||
            !compose(path, sizeof path, {data, "/desktop-directories/", prefix, menu_name, ".directory"}) ||
            !append(directory, "[Desktop Entry]\nType=Directory\nName=") ||
            !append(directory, is_wine ? "Wine" : level_name) ||
            !append(directory, is_wine ? "\nIcon=wine\n" : "\nIcon=folder\n"))
            return;
        struct stat info;
        if (lstat(path, &info) != 0 && errno == ENOENT)
            write_entry_file(path, directory, false);
        *c = '-';
        level_name = c + 1;
        levels++;
    }
    if (!append(entry_file, "    <Include>\n      <Filename>") || !append_xml(entry_file, menu_name) ||
        !append(entry_file, "</Filename>\n    </Include>\n"))
        return;
    for (int i = 0; i < levels; i++)
        if (!append(entry_file, "  </Menu>\n"))
            return;
    const size_t stem = strlen(menu_name) - strlen(".desktop");
    menu_name[stem] = '\0';
    if (!append(entry_file, "</Menu>\n") || !compose(path, sizeof path, {config, "/menus/applications-merged"}))
        return;
    make_folders(path);
    if (compose(path, sizeof path, {config, "/menus/applications-merged/", menu_name, ".menu"}))
        write_entry_file(path, entry_file, false);
}

// Whether `path` lies below `folder` (Windows paths, ASCII letters in
// either case); the part below it is then at path + strlen(folder) + 1.
static bool lies_below(const char* path, const char* folder)
{
    const size_t length = strlen(folder);
    return strncasecmp(path, folder, length) == 0 && path[length] == '\\';
}

void build_menu_entry(const char* link_path, const char* target_path, const char* working_directory)
{
    char start_menu[WINDOWS_PATH_TEXT_SIZE];
    char desktop[WINDOWS_PATH_TEXT_SIZE];
    char link[UTF8_PATH_SIZE];
    if (menu_builder_disabled() || !get_user_folder(USER_START_MENU, start_menu, sizeof start_menu) ||
        !get_user_folder(USER_DESKTOP, desktop, sizeof desktop) ||
        cp932_to_utf8(link_path, strlen(link_path), link, sizeof link, true) < 0)
        return;
    const bool in_start_menu = lies_below(link_path, start_menu);
    if (!in_start_menu && !lies_below(link_path, desktop))
        return;
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
    if (in_start_menu) {
        write_menu_entry(relative, link, target_path, working_directory);
        return;
    }
    // On the desktop: an executable entry beside the shortcut, which starts
    // the shortcut's target.
    char target[UTF8_PATH_SIZE];
    char folder[HOST_PATH_SIZE];
    char path[HOST_PATH_SIZE];
    const char* name = strrchr(relative, '/') != nullptr ? strrchr(relative, '/') + 1 : relative;
    if (cp932_to_utf8(target_path, strlen(target_path), target, sizeof target, true) < 0 ||
        !compose_desktop_entry(entry_file, name, target, true, target_path, working_directory) ||
        !map_path(desktop, folder) || !compose(path, sizeof path, {folder, "/", name, ".desktop"}))
        return;
    write_entry_file(path, entry_file, true);
}
