// shared/compose.cpp: the composer. No state.
#include "shared/compose.h"

#include <cstring>

bool compose(char* out, size_t capacity, std::initializer_list<const char*> pieces)
{
    size_t used = 0;
    for (const char* piece : pieces) {
        const size_t length = strlen(piece);
        // Room for the piece and the NUL after it.
        if (length >= capacity - used) {
            if (capacity > 0)
                out[0] = '\0';
            return false;
        }
        memcpy(out + used, piece, length);
        used += length;
    }
    if (capacity == 0)
        return false;
    out[used] = '\0';
    return true;
}
