// host/posix/builtin_shell.cpp: the built-in command interpreter.
//
// State:
//   command  the words of the line being run, filled afresh for each line.
#include "host/posix/builtin_shell.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "host/command_words.h"
#include "host/console.h"
#include "host/deltree.h"
#include "host/files.h"
#include "host/posix/codepage.h"
#include "host/posix/fd_io.h"
#include "host/posix/path_map.h"
#include "shared/windows_names.h"

extern char** environ;

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

static CommandWords command;

static void complain(const char* text)
{
    console_print(text);
    console_write("\n", 1);
}

// --- mkdir ---------------------------------------------------------------

// "c:" or "c:\", the root of drive c: named alone.
static bool names_drive_c(const char* path)
{
    return (path[0] == 'c' || path[0] == 'C') && path[1] == ':' &&
           (path[2] == '\0' || (is_path_separator(path[2]) && path[3] == '\0'));
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
        if (is_forbidden_in_windows_name(byte))
            return true;
        i += sjis_character_length(path + i);
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
    Cp932Stream stream = {};
    char piece[CP932_PIECE_SIZE];
    char converted[CONVERTED_PIECE_SIZE];
    size_t count;
    while ((count = fread(piece, 1, sizeof piece, file)) > 0) {
        const bool sent =
            converting ? write_all(pipe_ends[1], converted,
                                   cp932_stream_convert(STREAM_TO_USER, stream, piece, count, converted))
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
    if (!split_command_line(command_line, command)) {
        complain(LINE_TOO_LONG);
        return 1;
    }
    if (command.count == 0)
        return 0;
    for (const ShellCommand& known : COMMANDS)
        if (same_word(command.words[0], known.name))
            return known.run(command.words + 1, command.count - 1);
    complain(BAD_COMMAND);
    return 1;
}
