// host/win32/kernel/wide_text.cpp: code page 932 and UTF-8 to and from
// UTF-16, and names folded, through the kernel's own calls. No state.
#include "host/win32/kernel/wide_text.h"

bool to_wide(const char* text, wchar_t* out, size_t capacity)
{
    if (MultiByteToWideChar(CODE_PAGE_932, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(capacity)) > 0)
        return true;
    if (GetLastError() != ERROR_INVALID_PARAMETER || IsValidCodePage(CODE_PAGE_932))
        return false;
    // A system without code page 932 still takes ASCII text.
    size_t length = 0;
    for (; text[length] != '\0'; length++) {
        if (static_cast<unsigned char>(text[length]) >= 0x80 || length + 1 >= capacity)
            return false;
        out[length] = static_cast<wchar_t>(text[length]);
    }
    out[length] = 0;
    return true;
}

bool to_exact_cp932(const wchar_t* name, char* out, size_t capacity)
{
    wchar_t read_back[ENTRY_PATH_SIZE];
    BOOL defaulted = FALSE;
    if (WideCharToMultiByte(CODE_PAGE_932, 0, name, -1, out, static_cast<int>(capacity), nullptr, &defaulted) <= 0 ||
        defaulted || !to_wide(out, read_back, ENTRY_PATH_SIZE))
        return false;
    size_t i = 0;
    while (name[i] != 0 && name[i] == read_back[i])
        i++;
    return name[i] == read_back[i];
}

// With no room at all the calls report the room needed: that is no
// conversion.

bool utf8_to_wide(const char* text, wchar_t* out, size_t capacity)
{
    return capacity > 0 &&
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(capacity)) > 0;
}

bool wide_to_utf8(const wchar_t* text, char* out, size_t capacity)
{
    return capacity > 0 &&
           WideCharToMultiByte(CP_UTF8, 0, text, -1, out, static_cast<int>(capacity), nullptr, nullptr) > 0;
}

bool fold_name_case(const wchar_t* name, size_t length, wchar_t* out)
{
    // The same number of units comes back.
    const int units = static_cast<int>(length);
    return units == 0 || LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name, units, out, units) == units;
}
