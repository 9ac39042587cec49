// host/posix/command.cpp: run_interpreter on POSIX.
//
// No state.
#include "host/command.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "host/console.h"
#include "host/posix/wine/builtin_shell.h"

extern char** environ;

// The COMSPEC program, started with "/c" and the line as its two arguments;
// -1 when it cannot be started. posix_spawn reports a program that cannot
// be executed, which a fork followed by exec would only show as an exit
// status of the child.
static int run_comspec(const char* comspec, const char* command_line)
{
    char* arguments[] = {const_cast<char*>(comspec), const_cast<char*>("/c"), const_cast<char*>(command_line),
                         nullptr};
    pid_t child;
    if (posix_spawnp(&child, comspec, nullptr, nullptr, arguments, environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return 1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // Killed by a signal: the status a POSIX shell would give.
    return 128 + WTERMSIG(status);
}

int run_interpreter(const char* command_line)
{
    console_flush();
    const char* comspec = getenv("COMSPEC");
    if (comspec != nullptr && *comspec != '\0') {
        const int status = run_comspec(comspec, command_line);
        if (status >= 0)
            return status;
    }
    return run_builtin_shell(command_line);
}

bool open_document(const char* command_line, const char* /* path */)
{
    // A Wine prefix has write.exe whatever Windows version Wine reports,
    // and the built-in interpreter has a write of its own.
    run_interpreter(command_line);
    return true;
}
