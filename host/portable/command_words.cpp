// host/portable/command_words.cpp: command lines taken apart into words, the
// same on every platform. No state.
#include "host/portable/command_words.h"

#include "shared/sjis.h"

bool split_command_line(const char* line, CommandWords& out)
{
    out.count = 0;
    size_t used = 0;
    const char* c = line;
    for (;;) {
        while (*c == ' ' || *c == '\t')
            c++;
        if (*c == '\0')
            return true;
        if (out.count == MAX_COMMAND_WORDS)
            return false;
        out.words[out.count++] = out.text + used;
        bool quoted = false;
        while (*c != '\0' && (quoted || (*c != ' ' && *c != '\t'))) {
            if (*c == '"') {
                quoted = !quoted;
                c++;
                continue;
            }
            const size_t length = sjis_character_length(c);
            if (used + length >= sizeof out.text)
                return false;
            for (size_t i = 0; i < length; i++)
                out.text[used++] = *c++;
        }
        if (used >= sizeof out.text)
            return false;
        out.text[used++] = '\0';
    }
}
