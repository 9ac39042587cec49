// installer/directory_rules.cpp: the rules of an install directory, and
// its quoting in command lines. No state.
#include "installer/directory_rules.h"

#include <cstring>

#include "host/files.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

namespace {

// A single-byte character that the install directory may not hold:
// those Windows forbids in a path, and % and !, which the command
// interpreter expands inside double quotes too, so that a deletion could
// reach another folder.
bool is_forbidden_in_path(unsigned char c)
{
    // A colon stands after a drive letter; anywhere else the folder it
    // names cannot be made, and the steps after it report that.
    return (c != ':' && is_forbidden_in_windows_name(c)) || c == 0x7F || c == '%' || c == '!';
}

// A single-byte character that the command interpreter splits arguments at
// or treats specially.
bool needs_quotes(unsigned char c)
{
    return c == ' ' || c == '\t' || strchr("&^(),;=!%", c) != nullptr;
}

bool path_needs_quotes(const char* path)
{
    for (const char* p = path; *p != '\0'; p += sjis_character_length(p))
        if (sjis_character_length(p) == 1 && needs_quotes(static_cast<unsigned char>(*p)))
            return true;
    return false;
}

// A folder name that ends in a blank or a dot, other than "." and "..".
// Windows drops the blanks and dots at the end of a path's last name but
// keeps a blank in front of a separator: mkdir would make "games" for
// `games `, and every file would then go to a `games \` that does not
// exist. One dot in front of a separator is dropped, two are not.
bool has_bad_name_end(const char* start, const char* end)
{
    const size_t length = static_cast<size_t>(end - start);
    if (length == 0 || (start[0] == '.' && (length == 1 || (length == 2 && start[1] == '.'))))
        return false;
    return end[-1] == ' ' || end[-1] == '.';
}

}  // namespace

DirectoryVerdict judge_directory(const char* directory)
{
    const char* name = directory;
    for (const char* p = directory; *p != '\0'; p += sjis_character_length(p)) {
        if (sjis_character_length(p) == 2)
            continue;
        if (is_forbidden_in_path(static_cast<unsigned char>(*p)))
            return DIRECTORY_BAD_CHARACTER;
        if (is_path_separator(*p)) {
            if (has_bad_name_end(name, p))
                return DIRECTORY_BAD_END;
            name = p + 1;
        }
    }
    const size_t quotes = path_needs_quotes(directory) ? 2 : 0;
    return strlen(directory) + quotes > MAX_INSTALL_DIRECTORY ? DIRECTORY_TOO_LONG : DIRECTORY_ACCEPTED;
}

DirectoryVerdict judge_typed_directory(const char* line, long length)
{
    if (length >= static_cast<long>(LINE_SIZE))
        return DIRECTORY_TOO_LONG;
    if (strlen(line) != static_cast<size_t>(length) || has_invalid_sjis_pair(line) || !is_path_convertible(line))
        return DIRECTORY_BAD_CHARACTER;
    return DIRECTORY_ACCEPTED;
}

bool ends_in_backslash(const char* text)
{
    const char* last = nullptr;
    for (const char* p = text; *p != '\0'; p += sjis_character_length(p))
        last = p;
    return last != nullptr && *last == '\\';
}

bool compose_command(const char* verb, const char* path, const char* tail)
{
    const char* quote = path_needs_quotes(path) ? "\"" : "";
    return compose(command_line, LINE_SIZE, {verb, quote, path, tail, quote});
}
