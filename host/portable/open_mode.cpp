// host/portable/open_mode.cpp: the modes of open_file, by their names. No
// state.
#include "host/portable/open_mode.h"

#include <cstring>

struct NamedMode {
    const char* name;
    OpenMode mode;
};

static const NamedMode MODES[] = {
    {"rb", OPEN_TO_READ},
    {"wb", OPEN_TO_WRITE_BINARY},
    {"w", OPEN_TO_WRITE_TEXT},
};

OpenMode open_mode_of(const char* mode)
{
    for (const NamedMode& named : MODES)
        if (strcmp(mode, named.name) == 0)
            return named.mode;
    return NO_OPEN_MODE;
}
