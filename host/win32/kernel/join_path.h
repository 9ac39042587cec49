// host/win32/kernel/join_path.h: two pieces of a path joined into one, for
// paths of either character type.
//
// Every path of bytes is composed by compose (shared/compose.h), the
// program's one composer; it takes bytes only, so join_path joins the
// UTF-16 paths of the NT family itself, by the same rule: nothing beyond
// `capacity` is touched, and a path that does not fit is no path.
#pragma once

#include <cstddef>
#include <cstring>

#include "host/win32/kernel/base.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

// How the two pieces meet: as they are (the first ends in a separator, or
// is empty, or the result is a copy of the second), or with a backslash
// between them where the first is not empty and does not end in a
// separator already.
enum PathJoin { JOIN_AS_THEY_ARE, JOIN_WITH_SEPARATOR };

// Composes `first` and `second` into `out` (capacity characters, 0
// included), joined as `join` says. False when it does not fit.
inline bool join_path(char* out, size_t capacity, const char* first, const char* second, PathJoin join)
{
    const size_t first_length = strlen(first);
    const bool add = join == JOIN_WITH_SEPARATOR && first_length > 0 && !is_path_separator(first[first_length - 1]);
    return compose(out, capacity, {first, add ? "\\" : "", second});
}

inline bool join_path(wchar_t* out, size_t capacity, const wchar_t* first, const wchar_t* second, PathJoin join)
{
    const size_t first_length = text_length(first);
    const size_t second_length = text_length(second);
    const bool add = join == JOIN_WITH_SEPARATOR && first_length > 0 && !is_path_separator(first[first_length - 1]);
    if (first_length + (add ? 1 : 0) + second_length >= capacity)
        return false;
    size_t used = 0;
    for (size_t i = 0; i < first_length; i++)
        out[used++] = first[i];
    if (add)
        out[used++] = L'\\';
    for (size_t i = 0; i <= second_length; i++)
        out[used++] = second[i];
    return true;
}
