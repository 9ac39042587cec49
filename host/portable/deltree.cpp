// host/portable/deltree.cpp: deltree, the same on every platform;
// host/portable/folder_tree.h does the deleting. No state.
#include "host/portable/deltree.h"

#include <cstring>

#include "host/console.h"
#include "host/portable/folder_tree.h"
#include "host/portable/command_words.h"
#include "host/portable/dos_names.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

// A Windows path is at most this long, NUL included, where deltree runs.
constexpr size_t FOLDER_PATH_SIZE = 1024;

// deltree's one failure channel: a line on the console, which is standard
// output: `text`, then `name` (the word it is about) where there is one.
static void complain_on_console(const char* text, const char* name = "")
{
    console_print(text);
    console_print(name);
    console_write("\n", 1);
}

// Deletes what `pattern` matches in its folder. A last component that names
// no entry ("", "." or "..") deletes nothing.
static int delete_matching(const char* pattern)
{
    size_t name_start = 0;
    if (has_drive_prefix(pattern))
        name_start = 2;
    for (size_t i = name_start; pattern[i] != '\0'; i += sjis_character_length(pattern + i))
        if (is_path_separator(pattern[i]))
            name_start = i + 1;
    const char* name = pattern + name_start;
    if (*name == '\0' || is_dot_name(name) || name_start + 2 > FOLDER_PATH_SIZE)
        return 0;

    char folder[FOLDER_PATH_SIZE];
    memcpy(folder, pattern, name_start);
    folder[name_start] = '\0';
    if (name_start == 0)
        strcpy(folder, ".");
    if (remove_matching_entries(folder, name) == 0)
        return 0;
    complain_on_console("Could not delete all of ", pattern);
    return 1;
}

int run_deltree(char** arguments, size_t count)
{
    bool confirmed = false;
    size_t patterns = 0;
    for (size_t i = 0; i < count; i++) {
        if (arguments[i][0] != '/') {
            patterns++;
        } else if (same_ignoring_case(arguments[i], "/y")) {
            confirmed = true;
        } else {
            complain_on_console("Invalid switch - ", arguments[i]);
            return 1;
        }
    }
    if (patterns == 0) {
        complain_on_console("Required parameter missing");
        return 1;
    }
    // Without /Y deltree would ask before each deletion; the installer never
    // needs that, and a question here could eat its next answer.
    if (!confirmed) {
        complain_on_console("Deleting without /Y is not supported; nothing was deleted.");
        return 1;
    }
    int status = 0;
    for (size_t i = 0; i < count; i++)
        if (arguments[i][0] != '/' && delete_matching(arguments[i]) != 0)
            status = 1;
    return status;
}
