// host/win32/packer_arguments.cpp: the packer's arguments taken from the
// wide command line, in UTF-8, its patterns expanded.
//
// State:
//   arguments       the UTF-8 arguments, patterns expanded, and a null
//                   after the last.
//   argument_text   the text they point into.
//   argument_count  how many there are.
//   argument_used   how much of argument_text is used.
#include "host/packer_arguments.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "host/win32/kernel/base.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/windows_names.h"

// The most arguments taken, and the room for their UTF-8 text.
constexpr int MAX_ARGUMENTS = 4096;
constexpr size_t ARGUMENT_TEXT_SIZE = 256 * 1024;

using ArgumentsFunction = LPWSTR*(WINAPI*)(LPCWSTR, int*);

static char* arguments[MAX_ARGUMENTS + 1];
static char argument_text[ARGUMENT_TEXT_SIZE];
static int argument_count;
static size_t argument_used;

// Appends one argument, converted from UTF-16 to UTF-8. False when there is
// no room left.
static bool add_argument(const wchar_t* wide)
{
    if (argument_count == MAX_ARGUMENTS)
        return false;
    char* text = argument_text + argument_used;
    if (!wide_to_utf8(wide, text, ARGUMENT_TEXT_SIZE - argument_used))
        return false;
    arguments[argument_count++] = text;
    argument_used += strlen(text) + 1;
    return true;
}

static int compare_arguments(const void* a, const void* b)
{
    return strcmp(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

// Appends the paths of the names that the last name of `pattern` matches
// in its folder ("." and ".." left out), each the folder part as written
// followed by the name, sorted as the packer sorts a folder's names (by
// their UTF-8 bytes).
static SourceArguments expand_pattern(const wchar_t* pattern)
{
    const size_t name_start = last_name_start(pattern);
    wchar_t path[ENTRY_PATH_SIZE];
    if (name_start >= ENTRY_PATH_SIZE)
        return ARGUMENTS_TOO_MANY;
    wmemcpy(path, pattern, name_start);
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return ARGUMENTS_UNMATCHED;
    const int first = argument_count;
    SourceArguments result = ARGUMENTS_TAKEN;
    do {
        if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0)
            continue;
        const size_t name_length = wcslen(entry.cFileName);
        if (name_start + name_length >= ENTRY_PATH_SIZE) {
            result = ARGUMENTS_TOO_MANY;
            break;
        }
        wmemcpy(path + name_start, entry.cFileName, name_length + 1);
        if (!add_argument(path)) {
            result = ARGUMENTS_TOO_MANY;
            break;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    if (result == ARGUMENTS_TAKEN && argument_count == first)
        result = ARGUMENTS_UNMATCHED;
    qsort(arguments + first, static_cast<size_t>(argument_count - first), sizeof arguments[0], compare_arguments);
    return result;
}

SourceArguments take_source_arguments(int* argc, char*** argv, const char** pattern)
{
    // The wide command line, split as the C runtime splits it, through
    // shell32 found at run time.
    const auto split = find_call<ArgumentsFunction>(LoadLibraryA("shell32.dll"), "CommandLineToArgvW");
    int count = 0;
    LPWSTR* wide = split != nullptr ? split(GetCommandLineW(), &count) : nullptr;
    if (wide == nullptr)
        return ARGUMENTS_TAKEN;
    for (int i = 0; i < count; i++) {
        // The program's name and any argument without a wildcard in its
        // last name stand as they are; a wildcard before it is no pattern,
        // and the name is refused as it is.
        const bool is_pattern = i > 0 && wcspbrk(wide[i] + last_name_start(wide[i]), L"*?") != nullptr;
        const SourceArguments result = is_pattern ? expand_pattern(wide[i])
                                                  : add_argument(wide[i]) ? ARGUMENTS_TAKEN : ARGUMENTS_TOO_MANY;
        if (result != ARGUMENTS_TAKEN) {
            // The pattern, in UTF-8, where the arguments would have gone.
            argument_count = 0;
            argument_used = 0;
            *pattern = add_argument(wide[i]) ? arguments[0] : "(a pattern too long to show)";
            return result;
        }
    }
    arguments[argument_count] = nullptr;
    *argc = argument_count;
    *argv = arguments;
    return ARGUMENTS_TAKEN;
}
