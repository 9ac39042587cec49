// shared/compose.h: the one way every path and command line is composed,
// below every part of the program.
#pragma once

#include <cstddef>
#include <initializer_list>

// Copies `pieces` one after another into `out`, which holds `capacity`
// bytes, NUL included. Returns false when they do not fit; `out` then
// holds an empty string and nothing beyond its capacity is touched. No
// piece may lie in `out`.
bool compose(char* out, size_t capacity, std::initializer_list<const char*> pieces);
