// host/console_format.cpp: console_printf, the same on every platform.
#include "host/console.h"

#include <cstdarg>
#include <cstdio>

void console_printf(const char* format, ...)
{
    char text[CONSOLE_FORMAT_SIZE];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) >= sizeof text)
        length = static_cast<int>(sizeof text - 1);
    console_write(text, static_cast<size_t>(length));
}
