// host/portable/console_format.cpp: console_printf and console_vprintf, the
// same on every platform.
#include "host/console.h"

#include <cstdarg>
#include <cstdio>

void console_vprintf(const char* format, va_list args)
{
    char text[CONSOLE_FORMAT_SIZE];
    int length = vsnprintf(text, sizeof text, format, args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) >= sizeof text)
        length = static_cast<int>(sizeof text - 1);
    console_write(text, static_cast<size_t>(length));
}

void console_printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    console_vprintf(format, args);
    va_end(args);
}
