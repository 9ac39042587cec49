// host/win32/packer_names.cpp: the packer's names on Windows (the NT
// family): UTF-8 to and from code page 932 through UTF-16, composed where
// the system can, and folded as its file systems fold them.
//
// State:
//   normalize         the system's NormalizeString, once it has been
//   normalize_looked  looked for (null where the system lacks it).
#include "host/packer_names.h"

#include <cstring>
#include <cwchar>

#include "host/win32/kernel/base.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/windows_names.h"

using NormalizeFunction = int(WINAPI*)(int, LPCWSTR, int, LPWSTR, int);
// NormalizeString's form C: composed.
constexpr int NORMALIZATION_C = 1;

static NormalizeFunction normalize;
static bool normalize_looked;

const char* source_base_name(const char* path)
{
    // A drive's colon ends a name too ("c:file"), but only there: any
    // other colon stays in the name, which is then refused, rather than
    // "notes.txt:extra" (a stream of notes.txt) or a Unix name "a:b" under
    // Wine being packed as "extra" or "b".
    return path + last_name_start(path, UTF8_BYTES);
}

// Composes `name` (NFC) in place where the system can. NormalizeString is
// kernel32's from Windows 7 on, normaliz.dll's on Vista; older systems
// keep the name as it is.
static void compose_name(wchar_t* name)
{
    if (!normalize_looked) {
        normalize = find_call<NormalizeFunction>(GetModuleHandleA("kernel32.dll"), "NormalizeString");
        if (normalize == nullptr)
            normalize = find_call<NormalizeFunction>(LoadLibraryA("normaliz.dll"), "NormalizeString");
        normalize_looked = true;
    }
    wchar_t composed[ENTRY_PATH_SIZE];
    if (normalize != nullptr &&
        normalize(NORMALIZATION_C, name, -1, composed, static_cast<int>(ENTRY_PATH_SIZE)) > 0)
        wcscpy(name, composed);
}

long source_name_to_cp932(const char* name, char* out, size_t capacity)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    if (!utf8_to_wide(name, wide, ENTRY_PATH_SIZE))
        return -1;
    if (!to_exact_cp932(wide, out, capacity)) {
        compose_name(wide);
        if (!to_exact_cp932(wide, out, capacity))
            return -1;
    }
    return static_cast<long>(strlen(out));
}

long cp932_to_source_name(const char* text, size_t length, char* out, size_t capacity)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    const int units = length == 0 ? 0
                                  : MultiByteToWideChar(CODE_PAGE_932, 0, text, static_cast<int>(length), wide,
                                                        static_cast<int>(ENTRY_PATH_SIZE - 1));
    if (length > 0 && units <= 0)
        return -1;
    wide[units] = 0;
    if (!wide_to_utf8(wide, out, capacity))
        return -1;
    return static_cast<long>(strlen(out));
}

bool windows_name_key(const char* name, uint16_t key[NAME_KEY_SIZE])
{
    wchar_t wide[NAME_KEY_SIZE];
    wchar_t upper[NAME_KEY_SIZE];
    if (!to_wide(name, wide, NAME_KEY_SIZE))
        return false;
    const size_t units = wcslen(wide);
    if (!fold_name_case(wide, units, upper))
        return false;
    for (size_t i = 0; i < units; i++)
        key[i] = static_cast<uint16_t>(upper[i]);
    key[units] = 0;
    return true;
}
