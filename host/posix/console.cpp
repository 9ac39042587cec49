// Temporary: replaced by the real console.
#include "host/console.h"
#include <cstdio>
#include <cstring>
void console_open() {}
void console_write(const char* bytes, size_t count) { fwrite(bytes, 1, count, stdout); }
void console_print(const char* text) { console_write(text, strlen(text)); }
void console_flush() { fflush(stdout); }
long console_read_line(char* line, size_t capacity)
{
    console_flush();
    int c; size_t n = 0; long total = 0; bool any = false;
    while ((c = getchar()) != EOF) { any = true; if (c == '\n') break; if (n + 1 < capacity) line[n++] = (char)c; total++; }
    if (!any) return -1;
    if (n > 0 && line[n-1] == '\r') { n--; total--; }
    line[n] = 0; return total;
}
