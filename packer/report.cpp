// packer/report.cpp: the packer's lines, control characters escaped.
//
// State: line, the line being written, formatted and not yet escaped.
#include "packer/report.h"

#include <cstdarg>
#include <cstdint>

#include "host/packer_files.h"

namespace {

// Room for a line: a path and a member's name, both at their longest.
constexpr size_t LINE_SIZE = 16 * 1024;

char line[LINE_SIZE];

// How many bytes of UTF-8 begin at `at` (which has `left` bytes) as one
// character, its code point in *code; 0 when they are none.
size_t utf8_character(const unsigned char* at, size_t left, uint32_t* code)
{
    const unsigned lead = at[0];
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || length > left)
        return 0;
    uint32_t value = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; i++) {
        if ((at[i] & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (at[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are no characters.
    static const uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < LEAST[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    *code = value;
    return length;
}

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
