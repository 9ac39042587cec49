// shared/buffers.cpp: storage for the shared buffers, and the composer.
#include "shared/buffers.h"

#include <cstring>

char answer_line[LINE_SIZE];
char install_directory[LINE_SIZE];
char path_buffer[LINE_SIZE];
char command_line[LINE_SIZE];
char name_option[LINE_SIZE];
char color_option[LINE_SIZE];
char number_pad_option[LINE_SIZE];
FILE* file_slot;
bool installation_failed;

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
