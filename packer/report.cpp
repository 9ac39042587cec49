// packer/report.cpp: the packer's lines, control characters escaped.
//
// State: line, the line being written, formatted and not yet escaped.
#include "packer/report.h"

#include <cstdarg>
#include <cstdint>

#include "host/packer_files.h"
#include "shared/utf8.h"

namespace {

// Room for a line: a path and a member's name, both at their longest.
constexpr size_t LINE_SIZE = 16 * 1024;

char line[LINE_SIZE];

bool is_control(uint32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

void print_escaped(FILE* stream, const char* format, va_list arguments)
{
    const int formatted = vsnprintf(line, sizeof line, format, arguments);
    size_t length = formatted < 0 ? 0 : static_cast<size_t>(formatted) < sizeof line ? static_cast<size_t>(formatted)
                                                                                      : sizeof line - 1;
    const bool ends_line = length > 0 && line[length - 1] == '\n';
    if (ends_line)
        length--;
    // Runs of what is shown as it is are written whole.
    const auto* bytes = reinterpret_cast<const unsigned char*>(line);
    size_t run = 0;
    for (size_t at = 0; at < length;) {
        uint32_t code = 0;
        const size_t size = utf8_character(bytes + at, length - at, &code);
        if (size != 0 && !is_control(code)) {
            at += size;
            continue;
        }
        fwrite(bytes + run, 1, at - run, stream);
        fprintf(stream, "\\x%02x", size == 0 ? bytes[at] : static_cast<unsigned>(code));
        at += size == 0 ? 1 : size;
        run = at;
    }
    fwrite(bytes + run, 1, length - run, stream);
    if (ends_line)
        fputc('\n', stream);
}

}  // namespace

void pack_print(FILE* stream, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    print_escaped(stream, format, arguments);
    va_end(arguments);
}

void pack_failure(const char* format, ...)
{
    // What standard output holds comes first where both go to one place.
    fflush(stdout);
    fputs("ymw-pack: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    print_escaped(stderr, format, arguments);
    va_end(arguments);
    fputc('\n', stderr);
}

void pack_system_failure(const char* action, const char* what)
{
    const char* reason = system_failure_reason();
    pack_failure("%s %s: %s", action, what, reason);
}
