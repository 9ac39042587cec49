// Temporary: replaced by the real mapping.
#include "host/files.h"
#include <cstring>
#include <string>
FILE* open_file(const char* path, const char* mode)
{
    std::string p(path);
    for (char& c : p) if (c == '\\') c = '/';
    return fopen(p.c_str(), mode);
}
