// host/posix/wine/builtin_shell.cpp: the built-in command interpreter.
//
// State:
//   command  the words of the line being run, filled afresh for each line.
#include "host/posix/wine/builtin_shell.h"

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

#include "host/portable/command_words.h"
#include "host/console.h"
#include "host/portable/deltree.h"
#include "host/files.h"
#include "host/posix/codepage.h"
#include "host/posix/unix/fd_io.h"
#include "host/posix/wine/path_map.h"
#include "shared/windows_names.h"

extern char** environ;

// The exit status of a shell whose command was not found.
constexpr int COMMAND_NOT_FOUND = 127;

// What the interpreter says, in English and in Japanese (code page 932), in
// the words of Wine's cmd.exe, which shows them on standard error in the
// language of the user's locale. The system's error messages it shows each
// end with an empty line; its own texts do not. A message about a command
// line quotes it between its words and the words after it.
struct ShellMessage {
    const char* english;
    const char* japanese;
    bool system_error;
    const char* english_after = nullptr;
    const char* japanese_after = nullptr;
};

// ファイルはすでに存在します。
constexpr ShellMessage ALREADY_EXISTS = {
    "File already exists.",
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcd\x82\xb7\x82\xc5\x82\xc9\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb7\x81\x42",
    true};
// パスが見つかりません。
constexpr ShellMessage PATH_NOT_FOUND = {
    "Path not found.", "\x83\x70\x83\x58\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42", true};
// ファイルが見つかりません。
constexpr ShellMessage FILE_NOT_FOUND = {
    "File not found.",
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42", true};
// アクセスが拒否されました。
constexpr ShellMessage ACCESS_DENIED = {
    "Access denied.",
    "\x83\x41\x83\x4e\x83\x5a\x83\x58\x82\xaa\x8b\x91\x94\xdb\x82\xb3\x82\xea\x82\xdc\x82\xb5\x82\xbd\x81\x42", true};
// 名前は正しくありません。
constexpr ShellMessage INVALID_NAME = {
    "Invalid name.", "\x96\xbc\x91\x4f\x82\xcd\x90\xb3\x82\xb5\x82\xad\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42", true};
// ファイル名が長すぎます。
constexpr ShellMessage NAME_TOO_LONG = {
    "File name is too long.",
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7\x81\x42", true};
// The same words, as the interpreter says them of a line longer than it
// takes: without the empty line.
constexpr ShellMessage LINE_TOO_LONG = {NAME_TOO_LONG.english, NAME_TOO_LONG.japanese, false};
// 引数がありません
constexpr ShellMessage ARGUMENT_MISSING = {
    "Argument missing", "\x88\xf8\x90\x94\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1", false};
// An unknown command, quoted in English; after it in Japanese:
//  を内部または外部コマンド、バッチ スクリプトとして認識できません。
constexpr ShellMessage UNKNOWN_COMMAND = {
    "Can't recognize '", "", false, "' as an internal or external command, or batch script.",
    " \x82\xf0\x93\xe0\x95\x94\x82\xdc\x82\xbd\x82\xcd\x8a\x4f\x95\x94\x83\x52\x83\x7d\x83\x93\x83\x68\x81\x41"
    "\x83\x6f\x83\x62\x83\x60 \x83\x58\x83\x4e\x83\x8a\x83\x76\x83\x67\x82\xc6\x82\xb5\x82\xc4\x94\x46\x8e\xaf"
    "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42"};

static CommandWords command;

// Whether the user's locale for messages is a Japanese one: the first of
// LC_ALL, LC_MESSAGES and LANG that is set and not empty, as POSIX orders
// them, names the language "ja".
static bool japanese_messages()
{
    static const char* const VARIABLES[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* variable : VARIABLES) {
        const char* name = getenv(variable);
        if (name != nullptr && *name != '\0')
            return strncmp(name, "ja", 2) == 0 && (name[2] == '\0' || strchr("_.@", name[2]) != nullptr);
    }
    return false;
}

// Writes code page 932 text to standard error, converted as the console
// converts it, after everything the console has been given.
static void write_standard_error(const char* text)
{
    console_flush();
    size_t length = strlen(text);
    if (!user_console_charset()) {
        write_all(STDERR_FILENO, text, length);
        return;
    }
    SjisPieces pieces = {};
    char converted[CONVERTED_PIECE_SIZE];
    while (length > 0) {
        const size_t piece = length < CP932_PIECE_SIZE ? length : CP932_PIECE_SIZE;
        write_all(STDERR_FILENO, converted, cp932_piece_to_user(pieces, text, piece, converted));
        text += piece;
        length -= piece;
    }
}

// The interpreter's one failure channel: `message` on standard error, in
// the user's language, as a line of its own; quoting `line` where the
// message quotes a command line.
static void complain_on_standard_error(const ShellMessage& message, const char* line = nullptr)
{
    const bool japanese = japanese_messages();
    write_standard_error(japanese ? message.japanese : message.english);
    if (line != nullptr) {
        write_standard_error(line);
        write_standard_error(japanese ? message.japanese_after : message.english_after);
    }
    write_standard_error(message.system_error ? "\n\n" : "\n");
}

// --- mkdir ---------------------------------------------------------------

// "c:" or "c:\", the root of drive c: named alone.
static bool names_drive_c(const char* path)
{
    return has_drive_prefix(path) && fold_ascii_case(path[0]) == 'c' &&
           (path[2] == '\0' || (is_path_separator(path[2]) && path[3] == '\0'));
}

static int make_folder(const char* path)
{
    if (names_drive_c(path) && create_drive_c())
        return 0;
    // A colon stands after a drive; '|' may be the second byte of a
    // double-byte character, and is no fault there.
    if (holds_forbidden_character(path + (has_colon_second(path) ? 2 : 0), SEPARATORS_ALLOWED)) {
        complain_on_standard_error(INVALID_NAME);
        return 1;
    }
    // A path that names no host path (an absent drive, bytes that are not
    // code page 932, a path too long) is met as a missing file.
    char host_path[HOST_PATH_SIZE];
    if (path[0] == '\0' || !map_path(path, host_path)) {
        complain_on_standard_error(FILE_NOT_FOUND);
        return 1;
    }
    struct stat info;
    if (lstat(host_path, &info) != 0) {
        if (mkdir(host_path, 0777) == 0)
            return 0;
        const int error = errno;
        if (error != EEXIST) {
            if (error == EACCES || error == EPERM || error == EROFS)
                complain_on_standard_error(ACCESS_DENIED);
            else if (error == ENAMETOOLONG)
                complain_on_standard_error(NAME_TOO_LONG);
            else
                complain_on_standard_error(PATH_NOT_FOUND);  // a missing parent, or a file in its place
            return 1;
        }
    }
    complain_on_standard_error(ALREADY_EXISTS);
    return 1;
}

static int run_mkdir(char** arguments, size_t count)
{
    if (count == 0) {
        complain_on_standard_error(ARGUMENT_MISSING);
        return 1;
    }
    int status = 0;
    for (size_t i = 0; i < count; i++)
        if (make_folder(arguments[i]) != 0)
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
    const bool converting = user_console_charset();
    SjisPieces pieces = {};
    char piece[CP932_PIECE_SIZE];
    char converted[CONVERTED_PIECE_SIZE];
    size_t count;
    while ((count = fread(piece, 1, sizeof piece, file)) > 0) {
        const bool sent =
            converting ? write_all(pipe_ends[1], converted,
                                   cp932_piece_to_user(pieces, piece, count, converted))
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
        complain_on_standard_error(ARGUMENT_MISSING);
        return 1;
    }
    FILE* file = open_file(arguments[0], "rb");
    if (file == nullptr) {
        complain_on_standard_error(FILE_NOT_FOUND);
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
    if (!split_command_line(command_line, command)) {
        complain_on_standard_error(LINE_TOO_LONG);
        return 1;
    }
    if (command.count == 0)
        return 0;
    for (const ShellCommand& known : COMMANDS)
        if (same_ignoring_case(command.words[0], known.name))
            return known.run(command.words + 1, command.count - 1);
    // The line is shown without the blanks before its command.
    const char* shown = command_line;
    while (*shown == ' ' || *shown == '\t')
        shown++;
    complain_on_standard_error(UNKNOWN_COMMAND, shown);
    return 1;
}
