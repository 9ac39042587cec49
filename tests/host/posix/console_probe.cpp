// tests/host/posix/console_probe.cpp: drives the console in a process of its
// own, for tests/host/posix/console_test.cpp. The console decides its
// character set once per process, from the locale the process starts with.
//
//   console_probe lines REPORT CAPACITY [PIECE...]
//       Writes each PIECE with one console_write call, then reads lines of
//       at most CAPACITY bytes until the input ends. REPORT gets, for each
//       line, its length as returned, a blank, the bytes stored and a line
//       feed ("refused" for a line that does not convert); then "end" on a
//       line for the first -1, and once more if a second read right after
//       it returns -1 too.
//   console_probe shell LINE
//       Runs LINE through the built-in interpreter; exits with its status.
//   console_probe say PIECE...
//       Writes each PIECE with one console_write call and exits, leaving
//       the last flush to the console.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/console.h"
#include "host/posix/wine/builtin_shell.h"

constexpr size_t LINE_LIMIT = 1024;

int main(int argc, char** argv)
{
    console_open();
    if (argc == 3 && strcmp(argv[1], "shell") == 0)
        return run_builtin_shell(argv[2]);
    if (argc >= 2 && strcmp(argv[1], "say") == 0) {
        for (int i = 2; i < argc; i++)
            console_write(argv[i], strlen(argv[i]));
        exit(0);
    }
    if (argc < 4 || strcmp(argv[1], "lines") != 0)
        return 2;
    FILE* report = fopen(argv[2], "wb");
    const size_t capacity = strtoul(argv[3], nullptr, 10);
    if (report == nullptr || capacity > LINE_LIMIT)
        return 2;
    for (int i = 4; i < argc; i++)
        console_write(argv[i], strlen(argv[i]));

    char line[LINE_LIMIT];
    long length;
    while ((length = console_read_line(line, capacity)) != -1) {
        if (length == CONSOLE_LINE_UNCONVERTIBLE) {
            fputs("refused\n", report);
            continue;
        }
        fprintf(report, "%ld ", length);
        fwrite(line, 1, strlen(line), report);
        fputc('\n', report);
        fflush(report);
    }
    fputs("end\n", report);
    if (console_read_line(line, capacity) == -1)
        fputs("end\n", report);
    fclose(report);
    return 0;
}
