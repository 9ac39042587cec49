// host/posix/builtin_shell.cpp: the built-in command interpreter.
//
// State (filled afresh by split_line for each command line):
//   words       the words of the line, quotes removed; each points into
//               word_text.
//   word_count  how many entries of words are in use.
//   word_text   the words' bytes, each word followed by a NUL.
#include "host/posix/builtin_shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/console.h"
#include "host/files.h"
#include "host/posix/codepage.h"
#include "host/posix/fd_io.h"
#include "host/posix/path_map.h"

extern char** environ;

// The Windows command interpreter takes lines of up to 8191 bytes.
constexpr size_t SHELL_LINE_SIZE = 8192;
constexpr size_t MAX_WORDS = 64;
// Folder levels below a deleted folder that deltree goes down, one open
// descriptor each; a deeper tree is left where it is and reported.
constexpr unsigned MAX_TREE_DEPTH = 256;
// The exit status of a shell whose command was not found.
constexpr int COMMAND_NOT_FOUND = 127;

constexpr const char* SYNTAX_INCORRECT = "The syntax of the command is incorrect.";
constexpr const char* PATH_NOT_FOUND = "The system cannot find the path specified.";
constexpr const char* FILE_NOT_FOUND = "The system cannot find the file specified.";
constexpr const char* ACCESS_DENIED = "Access is denied.";
constexpr const char* NAME_TOO_LONG = "The filename or extension is too long.";
constexpr const char* NAME_SYNTAX = "The filename, directory name, or volume label syntax is incorrect.";
constexpr const char* LINE_TOO_LONG = "The command line is too long.";
constexpr const char* BAD_COMMAND = "Bad command or file name";

static char* words[MAX_WORDS];
static size_t word_count;
static char word_text[SHELL_LINE_SIZE];

static void complain(const char* text)
{
    console_print(text);
    console_write("\n", 1);
}

static char lower_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool same_ignoring_case(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; a++, b++)
        if (lower_ascii(*a) != lower_ascii(*b))
            return false;
    return *a == *b;
}

static bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

// Fills words from `line`; false when the line has too many words or bytes.
// Neither a blank, a tab nor a double quote can be the second byte of a
// double-byte character, so the bytes are looked at one by one.
static bool split_line(const char* line)
{
    word_count = 0;
    size_t used = 0;
    const char* c = line;
    for (;;) {
        while (*c == ' ' || *c == '\t')
            c++;
        if (*c == '\0')
            return true;
        if (word_count == MAX_WORDS)
            return false;
        words[word_count++] = word_text + used;
        bool quoted = false;
        while (*c != '\0' && (quoted || (*c != ' ' && *c != '\t'))) {
            if (*c == '"') {
                quoted = !quoted;
                c++;
                continue;
            }
            if (used + 1 >= sizeof word_text)
                return false;
            word_text[used++] = *c++;
        }
        if (used >= sizeof word_text)
            return false;
        word_text[used++] = '\0';
    }
}

// --- mkdir ---------------------------------------------------------------

// "c:" or "c:\", the root of drive c: named alone.
static bool names_drive_c(const char* path)
{
    return lower_ascii(path[0]) == 'c' && path[1] == ':' &&
           (path[2] == '\0' || (is_separator(path[2]) && path[3] == '\0'));
}

// Whether `path` holds a byte that Windows refuses in a name: a control
// byte or one of  " * : < > ? |  (a colon only after a drive letter).
// '|' can be the second byte of a double-byte character, and is no fault
// there.
static bool has_forbidden_byte(const char* path)
{
    size_t i = path[0] != '\0' && path[1] == ':' ? 2 : 0;
    while (path[i] != '\0') {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte < 0x20 || strchr("\"*:<>?|", byte) != nullptr)
            return true;
        i += is_cp932_lead(byte) && path[i + 1] != '\0' ? 2 : 1;
    }
    return false;
}

static int make_folder(const char* path)
{
    if (names_drive_c(path) && create_drive_c())
        return 0;
    if (has_forbidden_byte(path)) {
        complain(NAME_SYNTAX);
        return 1;
    }
    char host_path[HOST_PATH_SIZE];
    if (path[0] == '\0' || !map_path(path, host_path)) {
        complain(PATH_NOT_FOUND);
        return 1;
    }
    struct stat info;
    if (lstat(host_path, &info) != 0) {
        if (mkdir(host_path, 0777) == 0)
            return 0;
        const int error = errno;
        if (error != EEXIST) {
            if (error == EACCES || error == EPERM || error == EROFS)
                complain(ACCESS_DENIED);
            else if (error == ENAMETOOLONG)
                complain(NAME_TOO_LONG);
            else
                complain(PATH_NOT_FOUND);
            return 1;
        }
    }
    console_print("A subdirectory or file ");
    console_print(path);
    console_print(" already exists.\n");
    return 1;
}

static int run_mkdir(char** arguments, size_t count)
{
    if (count == 0) {
        complain(SYNTAX_INCORRECT);
        return 1;
    }
    int status = 0;
    for (size_t i = 0; i < count; i++)
        if (make_folder(arguments[i]) != 0)
            status = 1;
    return status;
}

// --- deltree -------------------------------------------------------------

// Bytes of the UTF-8 character at name[at], at least one.
static size_t character_length(const char* name, size_t at)
{
    const auto lead = static_cast<unsigned char>(name[at]);
    const size_t wanted = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t length = 1;
    while (length < wanted && (static_cast<unsigned char>(name[at + length]) & 0xC0) == 0x80)
        length++;
    return length;
}

// Whether `name` matches the first `length` bytes of `pattern`: '*' any run
// of characters, '?' one character, ASCII letters in either case, every
// other byte itself. Both are UTF-8; a '*' gives back whole characters.
static bool matches_wildcards(const char* pattern, size_t length, const char* name)
{
    constexpr size_t NO_STAR = static_cast<size_t>(-1);
    size_t p = 0;
    size_t n = 0;
    size_t star = NO_STAR;  // the pattern position after the last '*'
    size_t star_name = 0;   // where the name stood when that '*' was met
    while (name[n] != '\0') {
        if (p < length && pattern[p] == '*') {
            star = ++p;
            star_name = n;
        } else if (p < length && pattern[p] == '?') {
            p++;
            n += character_length(name, n);
        } else if (p < length && lower_ascii(pattern[p]) == lower_ascii(name[n])) {
            p++;
            n++;
        } else if (star != NO_STAR) {
            star_name += character_length(name, star_name);
            n = star_name;
            p = star;
        } else {
            return false;
        }
    }
    while (p < length && pattern[p] == '*')
        p++;
    return p == length;
}

// DOS matching: a pattern that ends in ".*" also matches the names that
// match it without that end, so "*.*" matches every name and "bone*.*"
// every name that begins with "bone".
static bool matches_pattern(const char* pattern, const char* name)
{
    const size_t length = strlen(pattern);
    if (matches_wildcards(pattern, length, name))
        return true;
    return length >= 2 && pattern[length - 2] == '.' && pattern[length - 1] == '*' &&
           matches_wildcards(pattern, length - 2, name);
}

static bool is_dot_name(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes the entry `name` of the open folder `folder`: a folder with
// everything below it, anything else (a link included) by unlinking it.
// Every step goes through the descriptor of the folder it works in, and a
// folder is opened with O_NOFOLLOW, so a link met on the way is removed and
// never entered. Returns false when something stayed.
static bool remove_entry(int folder, const char* name, unsigned depth)
{
    struct stat info;
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return unlinkat(folder, name, 0) == 0 || errno == ENOENT;
    if (depth == MAX_TREE_DEPTH)
        return false;

    const int inner = openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (inner < 0) {
        // Replaced by a link or a file since fstatat looked at it.
        if (errno == ELOOP || errno == ENOTDIR)
            return unlinkat(folder, name, 0) == 0;
        return false;
    }
    DIR* listing = fdopendir(inner);
    if (listing == nullptr) {
        close(inner);
        return false;
    }
    bool all_removed = true;
    while (const dirent* entry = readdir(listing))
        if (!is_dot_name(entry->d_name) && !remove_entry(inner, entry->d_name, depth + 1))
            all_removed = false;
    closedir(listing);
    return unlinkat(folder, name, AT_REMOVEDIR) == 0 && all_removed;
}

// Deletes what `pattern` matches in its folder. No match, an absent folder
// and a last component that names no entry ("", "." or "..") delete
// nothing and are no error.
static int delete_matching(const char* pattern)
{
    // Split after the last separator; a trail byte 0x5C is no separator.
    size_t name_start = 0;
    if (((pattern[0] >= 'a' && pattern[0] <= 'z') || (pattern[0] >= 'A' && pattern[0] <= 'Z')) &&
        pattern[1] == ':')
        name_start = 2;
    for (size_t i = name_start; pattern[i] != '\0';) {
        if (is_separator(pattern[i]))
            name_start = i + 1;
        i += is_cp932_lead(static_cast<unsigned char>(pattern[i])) && pattern[i + 1] != '\0' ? 2 : 1;
    }
    const char* last = pattern + name_start;
    char name[HOST_PATH_SIZE];
    if (*last == '\0' || is_dot_name(last) || cp932_to_utf8(last, strlen(last), name, sizeof name, true) < 0)
        return 0;

    char folder_path[HOST_PATH_SIZE];
    if (name_start + 2 > sizeof folder_path)
        return 0;
    memcpy(folder_path, pattern, name_start);
    folder_path[name_start] = '\0';
    if (name_start == 0)
        strcpy(folder_path, ".");
    char host_folder[HOST_PATH_SIZE];
    if (!map_path(folder_path, host_folder))
        return 0;
    const int folder = open(host_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return 0;
    DIR* listing = fdopendir(folder);
    if (listing == nullptr) {
        close(folder);
        return 0;
    }
    int status = 0;
    while (const dirent* entry = readdir(listing)) {
        if (is_dot_name(entry->d_name) || !matches_pattern(name, entry->d_name))
            continue;
        if (!remove_entry(folder, entry->d_name, 0)) {
            complain(ACCESS_DENIED);
            status = 1;
        }
    }
    closedir(listing);
    return status;
}

static int run_deltree(char** arguments, size_t count)
{
    bool confirmed = false;
    size_t patterns = 0;
    for (size_t i = 0; i < count; i++) {
        if (arguments[i][0] != '/') {
            patterns++;
        } else if (same_ignoring_case(arguments[i], "/y")) {
            confirmed = true;
        } else {
            console_print("Invalid switch - ");
            console_print(arguments[i]);
            console_write("\n", 1);
            return 1;
        }
    }
    if (patterns == 0) {
        complain("Required parameter missing");
        return 1;
    }
    // Without /Y deltree would ask before each deletion; the installer never
    // needs that, and a question here could eat its next answer.
    if (!confirmed) {
        complain("Deleting without /Y is not supported; nothing was deleted.");
        return 1;
    }
    int status = 0;
    for (size_t i = 0; i < count; i++)
        if (arguments[i][0] != '/' && delete_matching(arguments[i]) != 0)
            status = 1;
    return status;
}

// --- write ---------------------------------------------------------------

static void copy_to_console(FILE* file)
{
    char piece[CP932_PIECE_SIZE];
    size_t count;
    while ((count = fread(piece, 1, sizeof piece, file)) > 0)
        console_write(piece, count);
}

// Starts the pager with its standard input reading from `input`: $PAGER
// through the shell, as pagers are named, else less. Returns its process
// id, or -1 when it could not be started.
static pid_t start_pager(int input)
{
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    const char* pager = getenv("PAGER");
    pid_t child = -1;
    int failed;
    if (pager != nullptr && *pager != '\0') {
        char* arguments[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(pager), nullptr};
        failed = posix_spawn(&child, "/bin/sh", &actions, nullptr, arguments, environ);
    } else {
        char* arguments[] = {const_cast<char*>("less"), nullptr};
        failed = posix_spawnp(&child, "less", &actions, nullptr, arguments, environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? child : -1;
}

// Sends the file through the pager, in the terminal's character set.
// Returns false when no pager could be started (or its command was not
// found), so that the file goes to the console instead.
static bool show_through_pager(FILE* file)
{
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0)
        return false;
    const pid_t child = start_pager(pipe_ends[0]);
    close(pipe_ends[0]);
    if (child < 0) {
        close(pipe_ends[1]);
        return false;
    }

    // A pager that the user quits early closes the pipe; that must not end
    // the installer. The pager was started first so that it keeps the
    // usual SIGPIPE.
    struct sigaction ignore = {};
    struct sigaction previous = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    const bool converting = user_charset_is_utf8();
    Cp932Stream stream = {};
    char piece[CP932_PIECE_SIZE];
    char utf8[UTF8_PIECE_SIZE];
    size_t count;
    while ((count = fread(piece, 1, sizeof piece, file)) > 0) {
        const bool sent = converting ? write_all(pipe_ends[1], utf8, cp932_stream_to_utf8(stream, piece, count, utf8))
                                     : write_all(pipe_ends[1], piece, count);
        if (!sent)
            break;
    }
    close(pipe_ends[1]);
    sigaction(SIGPIPE, &previous, nullptr);

    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return true;
    return !(WIFEXITED(status) && WEXITSTATUS(status) == COMMAND_NOT_FOUND);
}

static int run_write(char** arguments, size_t count)
{
    if (count == 0) {
        complain(SYNTAX_INCORRECT);
        return 1;
    }
    FILE* file = open_file(arguments[0], "rb");
    if (file == nullptr) {
        complain(FILE_NOT_FOUND);
        return 1;
    }
    console_flush();
    if (!isatty(STDOUT_FILENO) || !show_through_pager(file)) {
        rewind(file);
        copy_to_console(file);
    }
    fclose(file);
    return 0;
}

// --- the interpreter -----------------------------------------------------

// Entry: a command's name in lower case, and what runs it with the words
// after the name.
struct ShellCommand {
    const char* name;
    int (*run)(char** arguments, size_t count);
};

static const ShellCommand COMMANDS[] = {
    {"mkdir", run_mkdir},
    {"md", run_mkdir},
    {"deltree", run_deltree},
    {"write", run_write},
};

int run_builtin_shell(const char* command_line)
{
    if (!split_line(command_line)) {
        complain(LINE_TOO_LONG);
        return 1;
    }
    if (word_count == 0)
        return 0;
    for (const ShellCommand& command : COMMANDS)
        if (same_ignoring_case(words[0], command.name))
            return command.run(words + 1, word_count - 1);
    complain(BAD_COMMAND);
    return 1;
}
