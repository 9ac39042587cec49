// host/portable/console_line.cpp: the line both consoles read. No state.
#include "host/portable/console_line.h"

void start_console_line(ConsoleLine& read, char* line, size_t capacity)
{
    read = ConsoleLine{line, capacity, 0, 0, false};
}

void take_console_byte(ConsoleLine& read, char byte)
{
    if (read.stored + 1 < read.capacity)
        read.line[read.stored++] = byte;
    read.length++;
    read.last_was_cr = byte == '\r';
}

long end_console_line(ConsoleLine& read, bool ended_by_feed)
{
    if (ended_by_feed && read.last_was_cr) {
        if (read.stored == read.length)
            read.stored--;
        read.length--;
    }
    if (read.capacity > 0)
        read.line[read.stored] = '\0';
    return static_cast<long>(read.length);
}
