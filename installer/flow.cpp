// installer/flow.cpp: the installer's dialogue, from the banner to the exit
// code, and the command lines it hands to the command interpreter.
//
// The dialogue runs once, top to bottom. Its state is the buffers of
// installer/run_state.h; the answer line holds the last line read, and the
// install directory is fixed right after the first question.
//
// End of input ends every question at once: the directory question takes
// the default, a yes/no question counts as no, the name question as no
// name, and the last read as the Return key. No prompt is ever repeated at
// the end of input.
//
// All texts are code page 932 bytes (installer/messages.h).
#include "installer/flow.h"

#include <cstring>

#include "host/command.h"
#include "host/console.h"
#include "host/ending.h"
#include "host/files.h"
#include "installer/batch_file.h"
#include "installer/config_file.h"
#include "installer/directory_rules.h"
#include "installer/messages.h"
#include "installer/shortcut.h"
#include "installer/extraction.h"
#include "installer/run_state.h"
#include "shared/installed_files.h"
#include "shared/sjis.h"

namespace {

const char PROMPT[] = " -->";
const char DEFAULT_DIRECTORY[] = "c:\\games\\yamawyrm\\";
const char ARCHIVE_NAME[] = "ymw.lz_";

// "name:%s," must fit its buffer: six bytes around the name token.
constexpr size_t MAX_NAME_TOKEN = LINE_SIZE - 1 - 6;

enum Answer { ANSWER_YES, ANSWER_NO };

void prompt()
{
    console_print(PROMPT);
}

// Reads one line into the answer line; false at the end of input. A line
// with a character that has no code page 932 form is refused, and the
// prompt comes again.
bool read_answer(long* length)
{
    while ((*length = console_read_line(answer_line, LINE_SIZE)) == CONSOLE_LINE_UNCONVERTIBLE) {
        console_print(MSG_UNCONVERTIBLE);
        prompt();
    }
    return *length >= 0;
}

// Prompts until the first byte of an answer is y, Y, n or N.
Answer ask_yes_no()
{
    for (;;) {
        prompt();
        long length;
        if (!read_answer(&length))
            return ANSWER_NO;
        switch (answer_line[0]) {
        case 'y':
        case 'Y':
            return ANSWER_YES;
        case 'n':
        case 'N':
            return ANSWER_NO;
        default:
            break;
        }
    }
}

void clear_screen()
{
    console_clear_screen();
}

void show_banner()
{
    clear_screen();
    console_print(MSG_RULE);
    console_print(MSG_TITLE);
    console_print(MSG_CREDIT);
    console_print(MSG_RULE);
    console_print("\n");
}

// Asks for the install directory until an acceptable one is given and sets
// install_directory.
void ask_install_directory()
{
    console_print(MSG_ASK_DIRECTORY);
    console_print(MSG_DEFAULT_HINT);
    for (;;) {
        prompt();
        long length;
        if (!read_answer(&length)) {
            // End of input: the default directory, as an empty answer.
            answer_line[0] = '\0';
            length = 0;
        }
        DirectoryVerdict verdict = judge_typed_directory(answer_line, length);
        if (verdict == DIRECTORY_ACCEPTED) {
            if (answer_line[0] == '\0')
                strcpy(answer_line, DEFAULT_DIRECTORY);
            if (!ends_in_backslash(answer_line) && strlen(answer_line) + 1 < LINE_SIZE)
                strcat(answer_line, "\\");
            verdict = judge_directory(answer_line);
        }
        if (verdict == DIRECTORY_ACCEPTED)
            break;
        console_print(verdict == DIRECTORY_TOO_LONG ? MSG_DIRECTORY_TOO_LONG
                      : verdict == DIRECTORY_BAD_END ? MSG_DIRECTORY_BAD_END
                                                     : MSG_DIRECTORY_BAD_CHARACTER);
    }
    strcpy(install_directory, answer_line);
}

// Whether the first word of the name answer, once found, is acceptable.
enum NameResult { NAME_GIVEN, NAME_EMPTY, NAME_TOO_LONG };

bool is_name_space(unsigned char c)
{
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}

// Takes the first word of the answer line as the name option's name:
// white space before it is skipped, it runs to the next white space.
// `line_length` is the length of the line as typed.
NameResult fill_name_option(long line_length)
{
    const char* word = answer_line;
    while (is_name_space(static_cast<unsigned char>(*word)))
        word++;
    const char* end = word;
    while (*end != '\0' && !is_name_space(static_cast<unsigned char>(*end)))
        end++;
    const size_t length = static_cast<size_t>(end - word);
    if (length == 0)
        return NAME_EMPTY;
    const bool cut_off = *end == '\0' && line_length >= static_cast<long>(LINE_SIZE);
    if (length > MAX_NAME_TOKEN || cut_off)
        return NAME_TOO_LONG;
    strcpy(name_option, "name:");
    strncat(name_option, word, length);
    strcat(name_option, ",");
    return NAME_GIVEN;
}

void ask_player_name()
{
    console_print(MSG_ASK_NAME);
    for (;;) {
        prompt();
        long length;
        name_option[0] = '\0';
        const bool answered = read_answer(&length);
        // A lead byte without its trail byte would take the comma after the
        // name in the configuration file for its second byte. The bytes of
        // a locale whose console passes them unchanged (C, POSIX) can hold
        // one: the line is asked again, as a character that the console
        // cannot take is.
        if (answered && has_invalid_sjis_pair(answer_line)) {
            console_print(MSG_UNCONVERTIBLE);
            continue;
        }
        const NameResult result = answered ? fill_name_option(length) : NAME_EMPTY;
        if (result == NAME_EMPTY)
            console_print(MSG_NO_NAME);
        if (result != NAME_TOO_LONG)
            return;
        console_print(MSG_NAME_TOO_LONG);
    }
}

// Deletes the old game files: the executable, the recovery tool, the log,
// the record, the saved games and the bones files. A deletion that left
// something behind has said so in its own line, and the old files it left
// make the installation incomplete.
void delete_old_files()
{
    console_print(MSG_DELETING);
    for (const char* tail : DELETED_FILES)
        if (compose_command(DELTREE_VERB, install_directory, tail) && run_command(command_line) != 0)
            installation_failed = true;
}

bool earlier_installation_exists()
{
    if (!compose(path_buffer, LINE_SIZE, {install_directory, GAME_EXECUTABLE}))
        return false;
    file_slot = open_file(path_buffer, "rb");
    if (file_slot == nullptr)
        return false;
    fclose(file_slot);
    file_slot = nullptr;
    return true;
}

// Extracts the game: everything, or after an earlier installation the
// executable and its icon only, or everything after deleting the old files.
// Ends the run with exit code 1 when the user refuses both.
void install_game_files()
{
    if (!earlier_installation_exists()) {
        console_print(MSG_EXTRACTING_ALL);
        extract_archive(ARCHIVE_NAME, "*");
        return;
    }
    console_printf(MSG_ALREADY_INSTALLED, install_directory);
    console_print(MSG_ASK_UPDATE);
    if (ask_yes_no() == ANSWER_YES) {
        console_print(MSG_EXTRACTING_EXE);
        extract_archive(ARCHIVE_NAME, GAME_EXECUTABLE);
        extract_archive(ARCHIVE_NAME, GAME_ICON);
        return;
    }
    console_print(MSG_ASK_REPLACE);
    if (ask_yes_no() == ANSWER_NO) {
        console_print(MSG_NOT_INSTALLED);
        console_end_run(1, MSG_PRESS_RETURN);
    }
    delete_old_files();
    console_print(MSG_EXTRACTING_ALL);
    extract_archive(ARCHIVE_NAME, "*");
}

void write_settings_and_files()
{
    console_print("\n");
    console_print(MSG_SETTINGS);
    ask_player_name();
    strcpy(color_option, "color");
    strcpy(number_pad_option, "nonumber_pad");

    console_print("\n");
    console_print(MSG_WRITING_CONFIG);
    write_config_file(CONFIG_FILE_NAME);
    console_print(MSG_DONE);

    console_print("\n");
    console_print(MSG_WRITING_BATCH);
    write_batch_file(BATCH_FILE_NAME);
    console_print(MSG_DONE);

    console_print("\n");
    console_print(MSG_CREATING_SHORTCUTS);
    create_shortcut(SHORTCUT_START_MENU, BATCH_FILE_NAME);
    create_shortcut(SHORTCUT_DESKTOP, BATCH_FILE_NAME);
    console_print(MSG_DONE);
    console_print("\n");
    console_print("\n");
}

// Opens the guide with the write command line; a system without write
// opens it with its program for text files, and a guide that opened
// nowhere is named, so that the player can find it.
void offer_guide()
{
    console_print(MSG_ASK_GUIDE);
    console_print(MSG_GUIDE_HINT);
    if (ask_yes_no() == ANSWER_YES && compose(path_buffer, LINE_SIZE, {install_directory, GUIDE_FILE}) &&
        compose_command(WRITE_VERB, path_buffer, "") && !open_document(command_line, path_buffer))
        console_printf(MSG_GUIDE_NOT_OPENED, path_buffer);
}

}  // namespace

void make_dirs(const char* path)
{
    char levels[LINE_SIZE];
    strncpy(levels, path, LINE_SIZE - 1);
    levels[LINE_SIZE - 1] = '\0';
    for (char* p = levels; *p != '\0'; p += sjis_character_length(p)) {
        if (*p != '\\')
            continue;
        // The part before this backslash names one level; the first one may
        // be a bare drive, or nothing when the path starts at the root.
        // A level too long for a command line is not handed over cut short.
        *p = '\0';
        if (compose_command("mkdir ", levels, ""))
            run_command(command_line);
        *p = '\\';
    }
}

int run_command(const char* line)
{
    return run_interpreter(line);
}

void run_installer()
{
    console_open();
    // The folders written are the game's and the shortcuts': what an earlier
    // run left there half written goes.
    claim_leftover_new_files();
    // Until everything is written, an interrupt leaves the installation
    // incomplete, and says so.
    end_on_interrupt(1, MSG_INCOMPLETE);
    show_banner();
    ask_install_directory();

    console_print("\n");
    console_printf(MSG_INSTALLING_INTO, install_directory);
    console_print("\n");
    console_printf(MSG_CREATING_DIRECTORY, install_directory);
    make_dirs(install_directory);
    console_print("\n");

    install_game_files();
    write_settings_and_files();
    // Everything is written: an interrupt from here on (in the guide, at
    // the last Return) ends the run as it stands.
    end_on_interrupt(installation_failed ? 1 : 0, nullptr);
    offer_guide();

    console_print("\n");
    // Said before the closing lines, while a console window is still open
    // to show it; the exit code tells a script.
    if (installation_failed)
        console_print(MSG_INCOMPLETE);
    console_print(MSG_FINISHED);
    console_print(MSG_PRESS_RETURN);
    // Any line will do, even one that does not convert.
    console_read_line(answer_line, LINE_SIZE);
    console_end_run(installation_failed ? 1 : 0, nullptr);
}
