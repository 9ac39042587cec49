// host/portable/console_line.h: a line read from standard input byte by byte,
// the same on every console: what console_read_line (host/console.h) stores and
// the length it tells.
#pragma once

#include <cstddef>

// The line being read: at most capacity - 1 bytes stored in `line`, the
// length counting every byte as typed.
struct ConsoleLine {
    char* line;
    size_t capacity;
    size_t stored;
    size_t length;
    bool last_was_cr;
};

void start_console_line(ConsoleLine& read, char* line, size_t capacity);

// Takes the next byte of the line, the line feed that ends it excepted.
void take_console_byte(ConsoleLine& read, char byte);

// Ends the line, a line feed after it or not (`ended_by_feed`): a carriage
// return right before the feed is no part of the line. Stores the NUL and
// returns the length as typed.
long end_console_line(ConsoleLine& read, bool ended_by_feed);
