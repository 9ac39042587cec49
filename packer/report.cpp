// packer/report.cpp: the packer's failure lines. No state.
#include "packer/report.h"

#include <cstdarg>
#include <cstdio>

#include "host/packer_files.h"

void pack_failure(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fputs("ymw-pack: ", stderr);
    vfprintf(stderr, format, arguments);
    fputc('\n', stderr);
    va_end(arguments);
}

void pack_system_failure(const char* action, const char* what)
{
    const char* reason = system_failure_reason();
    pack_failure("%s %s: %s", action, what, reason);
}
