// installer/flow.cpp: the installer's dialogue, from the banner to the exit
// code, and the command lines it hands to the command interpreter.
//
// The dialogue runs once, top to bottom. Its state is the buffers of
// shared/buffers.h; the answer line holds the last line read, and the
// install directory is fixed right after the first question.
//
// End of input ends every question at once: the directory question takes
// the default, a yes/no question counts as no, the name question as no
// name, and the last read as the Return key. No prompt is ever repeated at
// the end of input.
//
// All texts are code page 932 bytes, kept as hex literals; the comment
// above each shows it.
#include "installer/flow.h"

#include <cstring>

#include "host/command.h"
#include "host/console.h"
#include "host/ending.h"
#include "host/files.h"
#include "installer/batch_file.h"
#include "installer/config_file.h"
#include "installer/shortcut.h"
#include "lha/extract.h"
#include "shared/buffers.h"
#include "shared/installed_files.h"
#include "shared/messages.h"
#include "shared/sjis.h"
#include "shared/windows_names.h"

namespace {

//   日本語Wyrmhold(Yamawyrm) for Windows95/98/NT  セットアップ
const char MSG_TITLE[] =
    "  \x93\xfa\x96\x7b\x8c\xeaWyrmhold(Yamawyrm) for Windows95/98/NT  \x83\x5a\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76\n";
//   Yamawyrm移植チーム 制作
const char MSG_CREDIT[] =
    "  Yamawyrm\x88\xda\x90\x41\x83\x60\x81\x5b\x83\x80 \x90\xa7\x8d\xec\n";
// Yamawyrmをインストールする場所を指定してください。
const char MSG_ASK_DIRECTORY[] =
    "Yamawyrm\x82\xf0\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb7\x82\xe9\x8f\xea\x8f\x8a\x82\xf0\x8e\x77\x92\xe8\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
//  (省略するとc:\games\yamawyrm\になります。)
const char MSG_DEFAULT_HINT[] =
    " (\x8f\xc8\x97\xaa\x82\xb7\x82\xe9\x82\xc6" "c:\\games\\yamawyrm\\\x82\xc9\x82\xc8\x82\xe8\x82\xdc\x82\xb7\x81\x42)\n";
// %sにインストールします。
const char MSG_INSTALLING_INTO[] =
    "%s\x82\xc9\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb5\x82\xdc\x82\xb7\x81\x42\n";
// --- ディレクトリ"%s"を作成中...
const char MSG_CREATING_DIRECTORY[] =
    "--- \x83\x66\x83\x42\x83\x8c\x83\x4e\x83\x67\x83\x8a\"%s\"\x82\xf0\x8d\xec\x90\xac\x92\x86...\n";
// パスが長すぎます。もっと短い場所を指定してください。
const char MSG_DIRECTORY_TOO_LONG[] =
    "\x83\x70\x83\x58\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7\x81\x42\x82\xe0\x82\xc1\x82\xc6\x92\x5a\x82\xa2\x8f\xea\x8f\x8a\x82\xf0\x8e\x77\x92\xe8\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
// パスに使えない文字が含まれています。別の場所を指定してください。
const char MSG_DIRECTORY_BAD_CHARACTER[] =
    "\x83\x70\x83\x58\x82\xc9\x8e\x67\x82\xa6\x82\xc8\x82\xa2\x95\xb6\x8e\x9a\x82\xaa\x8a\xdc\x82\xdc\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\x95\xca\x82\xcc\x8f\xea\x8f\x8a\x82\xf0\x8e\x77\x92\xe8\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
// フォルダ名の終わりに空白やピリオドは使えません。別の場所を指定してください。
const char MSG_DIRECTORY_BAD_END[] =
    "\x83\x74\x83\x48\x83\x8b\x83\x5f\x96\xbc\x82\xcc\x8f\x49\x82\xed\x82\xe8\x82\xc9\x8b\xf3\x94\x92\x82\xe2\x83\x73\x83\x8a\x83\x49\x83\x68\x82\xcd\x8e\x67\x82\xa6\x82\xdc\x82\xb9\x82\xf1\x81\x42\x95\xca\x82\xcc\x8f\xea\x8f\x8a\x82\xf0\x8e\x77\x92\xe8\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
// --- バイナリファイルを展開中...
const char MSG_EXTRACTING_ALL[] =
    "--- \x83\x6f\x83\x43\x83\x69\x83\x8a\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x93\x57\x8a\x4a\x92\x86...\n";
// "%s"に既にyamawyrm.exeが存在しています!
const char MSG_ALREADY_INSTALLED[] =
    "\"%s\"\x82\xc9\x8a\xf9\x82\xc9yamawyrm.exe\x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7!\n";
// バージョン1.0.5.4.1をY2k対策版にアップデートしますか? [y/n]
const char MSG_ASK_UPDATE[] =
    "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93" "1.0.5.4.1\x82\xf0Y2k\x91\xce\x8d\xf4\x94\xc5\x82\xc9\x83\x41\x83\x62\x83\x76\x83\x66\x81\x5b\x83\x67\x82\xb5\x82\xdc\x82\xb7\x82\xa9? [y/n]\n";
// --- "yamawyrm.exe"を展開中...
const char MSG_EXTRACTING_EXE[] =
    "--- \"yamawyrm.exe\"\x82\xf0\x93\x57\x8a\x4a\x92\x86...\n";
// 旧ファイルを全消去してインストールしていいですか? [y/n]
const char MSG_ASK_REPLACE[] =
    "\x8b\x8c\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x91\x53\x8f\xc1\x8b\x8e\x82\xb5\x82\xc4\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb5\x82\xc4\x82\xa2\x82\xa2\x82\xc5\x82\xb7\x82\xa9? [y/n]\n";
// ファイルを消去します。
const char MSG_DELETING[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8f\xc1\x8b\x8e\x82\xb5\x82\xdc\x82\xb7\x81\x42\n";
// インストールをしませんでした。
const char MSG_NOT_INSTALLED[] =
    "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xf0\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\n";
// --- Yamawyrmの設定に関しての質問をします...
const char MSG_SETTINGS[] =
    "--- Yamawyrm\x82\xcc\x90\xdd\x92\xe8\x82\xc9\x8a\xd6\x82\xb5\x82\xc4\x82\xcc\x8e\xbf\x96\xe2\x82\xf0\x82\xb5\x82\xdc\x82\xb7...\n";
// あなたの名前は(あなたのプレイヤーの名前は)何ですか ?
const char MSG_ASK_NAME[] =
    "\x82\xa0\x82\xc8\x82\xbd\x82\xcc\x96\xbc\x91\x4f\x82\xcd(\x82\xa0\x82\xc8\x82\xbd\x82\xcc\x83\x76\x83\x8c\x83\x43\x83\x84\x81\x5b\x82\xcc\x96\xbc\x91\x4f\x82\xcd)\x89\xbd\x82\xc5\x82\xb7\x82\xa9 ?\n";
// 名前を省略しました。Yamawyrm起動時に入力してください。
const char MSG_NO_NAME[] =
    "\x96\xbc\x91\x4f\x82\xf0\x8f\xc8\x97\xaa\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42Yamawyrm\x8b\x4e\x93\xae\x8e\x9e\x82\xc9\x93\xfc\x97\xcd\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
// --- 設定ファイル"wyrmhold.cnf"を作成中...
const char MSG_WRITING_CONFIG[] =
    "--- \x90\xdd\x92\xe8\x83\x74\x83\x40\x83\x43\x83\x8b\"wyrmhold.cnf\"\x82\xf0\x8d\xec\x90\xac\x92\x86...\n";
// 入力できない文字が含まれています。もう一度入力してください。
const char MSG_UNCONVERTIBLE[] =
    "\x93\xfc\x97\xcd\x82\xc5\x82\xab\x82\xc8\x82\xa2\x95\xb6\x8e\x9a\x82\xaa\x8a\xdc\x82\xdc\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\x82\xe0\x82\xa4\x88\xea\x93\x78\x93\xfc\x97\xcd\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
// 名前が長すぎます。もっと短い名前を入力してください。
const char MSG_NAME_TOO_LONG[] =
    "\x96\xbc\x91\x4f\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7\x81\x42\x82\xe0\x82\xc1\x82\xc6\x92\x5a\x82\xa2\x96\xbc\x91\x4f\x82\xf0\x93\xfc\x97\xcd\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
// 作成完了。
const char MSG_DONE[] =
    "\x8d\xec\x90\xac\x8a\xae\x97\xb9\x81\x42\n";
// --- 起動用バッチファイル"yamawyrm.bat"を作成中...
const char MSG_WRITING_BATCH[] =
    "--- \x8b\x4e\x93\xae\x97\x70\x83\x6f\x83\x62\x83\x60\x83\x74\x83\x40\x83\x43\x83\x8b\"yamawyrm.bat\"\x82\xf0\x8d\xec\x90\xac\x92\x86...\n";
// --- ショートカットを作成中...
const char MSG_CREATING_SHORTCUTS[] =
    "--- \x83\x56\x83\x87\x81\x5b\x83\x67\x83\x4a\x83\x62\x83\x67\x82\xf0\x8d\xec\x90\xac\x92\x86...\n";
// 初心者向けの『ガイドブック』を読みますか? [y/n]
const char MSG_ASK_GUIDE[] =
    "\x8f\x89\x90\x53\x8e\xd2\x8c\xfc\x82\xaf\x82\xcc\x81\x77\x83\x4b\x83\x43\x83\x68\x83\x75\x83\x62\x83\x4e\x81\x78\x82\xf0\x93\xc7\x82\xdd\x82\xdc\x82\xb7\x82\xa9? [y/n]\n";
//  (初めてプレイする方はぜひお読みください。)
const char MSG_GUIDE_HINT[] =
    " (\x8f\x89\x82\xdf\x82\xc4\x83\x76\x83\x8c\x83\x43\x82\xb7\x82\xe9\x95\xfb\x82\xcd\x82\xba\x82\xd0\x82\xa8\x93\xc7\x82\xdd\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42)\n";
// インストールは完了していません。上のエラーを確認してください。
const char MSG_INCOMPLETE[] =
    "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xcd\x8a\xae\x97\xb9\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\x8f\xe3\x82\xcc\x83\x47\x83\x89\x81\x5b\x82\xf0\x8a\x6d\x94\x46\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42\n";
// インストールを終了しました。
const char MSG_FINISHED[] =
    "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xf0\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\n";
// The rule line of the banner: 62 hyphen-minus characters.
const char MSG_RULE[] = "--------------------------------------------------------------\n";
static_assert(sizeof MSG_RULE - 2 == 62, "62 hyphens and a line feed");

const char PROMPT[] = " -->";
const char DEFAULT_DIRECTORY[] = "c:\\games\\yamawyrm\\";
const char ARCHIVE_NAME[] = "ymw.lz_";

// "name:%s," must fit its buffer: six bytes around the name token.
constexpr size_t MAX_NAME_TOKEN = LINE_SIZE - 1 - 6;

enum Answer { ANSWER_YES, ANSWER_NO };

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

// True when the last character of `text` is a backslash; the second byte of
// a double-byte character is never one.
bool ends_in_backslash(const char* text)
{
    const char* last = nullptr;
    for (const char* p = text; *p != '\0'; p += sjis_character_length(p))
        last = p;
    return last != nullptr && *last == '\\';
}

// Composes verb + path + tail into the command-line buffer, the path and
// tail in double quotes when the path holds a character that the command
// interpreter treats specially. False, with nothing composed, when the
// line would not fit.
bool compose_command(const char* verb, const char* path, const char* tail)
{
    const char* quote = path_needs_quotes(path) ? "\"" : "";
    return compose(command_line, LINE_SIZE, {verb, quote, path, tail, quote});
}

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

// Checks a directory answer that already ends in a backslash; prints why
// it is refused and returns false, or returns true.
bool accept_directory(const char* directory)
{
    const char* name = directory;
    for (const char* p = directory; *p != '\0'; p += sjis_character_length(p)) {
        if (sjis_character_length(p) == 2)
            continue;
        if (is_forbidden_in_path(static_cast<unsigned char>(*p))) {
            console_print(MSG_DIRECTORY_BAD_CHARACTER);
            return false;
        }
        if (is_path_separator(*p)) {
            if (has_bad_name_end(name, p)) {
                console_print(MSG_DIRECTORY_BAD_END);
                return false;
            }
            name = p + 1;
        }
    }
    const size_t quotes = path_needs_quotes(directory) ? 2 : 0;
    if (strlen(directory) + quotes > MAX_INSTALL_DIRECTORY) {
        console_print(MSG_DIRECTORY_TOO_LONG);
        return false;
    }
    return true;
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
        if (length >= static_cast<long>(LINE_SIZE)) {
            console_print(MSG_DIRECTORY_TOO_LONG);
            continue;
        }
        // A NUL byte typed into the line would cut the path short unseen.
        // A lead byte without its trail byte is read as one character here
        // and may be read otherwise by whatever takes the path next (at the
        // end of the line, it would take the backslash appended below as
        // its second byte); a path that the system cannot convert names no
        // folder at all.
        if (strlen(answer_line) != static_cast<size_t>(length) || has_invalid_sjis_pair(answer_line) ||
            !is_path_convertible(answer_line)) {
            console_print(MSG_DIRECTORY_BAD_CHARACTER);
            continue;
        }
        if (answer_line[0] == '\0')
            strcpy(answer_line, DEFAULT_DIRECTORY);
        if (!ends_in_backslash(answer_line) && strlen(answer_line) + 1 < LINE_SIZE)
            strcat(answer_line, "\\");
        if (accept_directory(answer_line))
            break;
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
    if (!compose(path_buffer, LINE_SIZE, {install_directory, "yamawyrm.exe"}))
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
        extract_archive(ARCHIVE_NAME, "yamawyrm.exe");
        extract_archive(ARCHIVE_NAME, "yamawyrm.ico");
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

void offer_guide()
{
    console_print(MSG_ASK_GUIDE);
    console_print(MSG_GUIDE_HINT);
    if (ask_yes_no() == ANSWER_YES && compose(path_buffer, LINE_SIZE, {install_directory, GUIDE_FILE}) &&
        compose_command(WRITE_VERB, path_buffer, ""))
        run_command(command_line);
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
    console_flush();
    return run_interpreter(line);
}

void run_installer()
{
    console_open();
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
