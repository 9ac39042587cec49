// host/win32/packer_files.cpp: the packer's files on Windows (the NT
// family), named by UTF-8 paths that reach the kernel in UTF-16.
//
// State:
//   arguments, argument_text, argument_count, argument_used  the UTF-8
//                     arguments, patterns expanded, and the text they
//                     point into: how many, and how much of it is used.
//   console, console_pipe, console_thread, console_streams  the console
//                     that standard output or standard error is, the pipe
//                     those streams write into instead, the thread that
//                     empties it into the console, and which streams
//                     (bit 1 << fd) do.
//   find, found, found_pending, found_name  the folder being listed: its
//                     search handle, the entry found last, whether that
//                     entry is still to be returned, and its UTF-8 name.
//   normalize, normalize_looked  the system's NormalizeString, once it has
//                     been looked for (null where the system lacks it).
//
// The archive is written as every file is (host/win32/kernel/new_files.h).
#include "host/packer_files.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "host/win32/kernel/base.h"
#include "host/win32/kernel/handles.h"
#include "host/win32/kernel/new_files.h"
#include "host/win32/kernel/wide_text.h"
#include "shared/compose.h"
#include "shared/windows_names.h"

// The most arguments taken, and the room for their UTF-8 text.
constexpr int MAX_ARGUMENTS = 4096;
constexpr size_t ARGUMENT_TEXT_SIZE = 256 * 1024;
// Seconds from 1601-01-01 (file times) to 1970-01-01, and file time units
// (100 ns) in a second.
constexpr int64_t FILETIME_EPOCH_SECONDS = 11644473600;
constexpr int64_t FILETIME_UNITS = 10000000;

static char* arguments[MAX_ARGUMENTS + 1];
static char argument_text[ARGUMENT_TEXT_SIZE];
static int argument_count;
static size_t argument_used;
static HANDLE console;
static HANDLE console_pipe;
static HANDLE console_thread;
static int console_streams;
static HANDLE find = INVALID_HANDLE_VALUE;
static WIN32_FIND_DATAW found;
static bool found_pending;
static char found_name[4 * MAX_PATH];

using NormalizeFunction = int(WINAPI*)(int, LPCWSTR, int, LPWSTR, int);
// NormalizeString's form C: composed.
constexpr int NORMALIZATION_C = 1;
static NormalizeFunction normalize;
static bool normalize_looked;

using ArgumentsFunction = LPWSTR*(WINAPI*)(LPCWSTR, int*);

// -- Arguments --------------------------------------------------------------

// Appends one argument, converted from UTF-16 to UTF-8. False when there is
// no room left.
static bool add_argument(const wchar_t* wide)
{
    if (argument_count == MAX_ARGUMENTS)
        return false;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, argument_text + argument_used,
                                          static_cast<int>(ARGUMENT_TEXT_SIZE - argument_used), nullptr, nullptr);
    if (bytes <= 0)
        return false;
    arguments[argument_count++] = argument_text + argument_used;
    argument_used += static_cast<size_t>(bytes);
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

// -- The console ------------------------------------------------------------
//
// The packer writes UTF-8 through the C streams. A console shows the bytes
// written to it in its own code page, so where standard output or standard
// error is a console, that stream writes into a pipe instead, which a
// thread of this file empties into the console through WriteConsoleW, in
// the order written. Both streams share the one pipe, unbuffered, so that
// their lines stay in order.

// Room for one read from the pipe.
constexpr size_t CONSOLE_PIECE_SIZE = 4096;

// How many bytes of `bytes` (count of them) form whole UTF-8 characters: an
// incomplete sequence at the end waits for the next read.
static size_t whole_characters(const char* bytes, size_t count)
{
    for (size_t back = 1; back <= 3 && back <= count; back++) {
        const auto lead = static_cast<unsigned char>(bytes[count - back]);
        if ((lead & 0xC0) == 0x80)
            continue;                       // a continuation byte: look further back
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        return length > back ? count - back : count;
    }
    return count;
}

static DWORD WINAPI copy_to_console(void*)
{
    char bytes[CONSOLE_PIECE_SIZE];
    wchar_t wide[CONSOLE_PIECE_SIZE];
    size_t held = 0;
    DWORD got = 0;
    while (ReadFile(console_pipe, bytes + held, static_cast<DWORD>(sizeof bytes - held), &got, nullptr) && got > 0) {
        const size_t count = held + got;
        const size_t whole = whole_characters(bytes, count);
        const int units = whole == 0 ? 0
                                     : MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(whole), wide,
                                                           static_cast<int>(CONSOLE_PIECE_SIZE));
        for (int done = 0; done < units;) {
            DWORD written = 0;
            if (!WriteConsoleW(console, wide + done, static_cast<DWORD>(units - done), &written, nullptr) ||
                written == 0)
                break;
            done += static_cast<int>(written);
        }
        held = count - whole;
        memmove(bytes, bytes + whole, held);
    }
    return 0;
}

// At the end of the program: everything written reaches the console before
// the process ends, which would stop the thread where it is.
static void finish_console_streams()
{
    fflush(stdout);
    fflush(stderr);
    for (int fd = 1; fd <= 2; fd++)
        if (console_streams & (1 << fd))
            _close(fd);
    WaitForSingleObject(console_thread, INFINITE);
}

static bool is_console(HANDLE handle)
{
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

static void convert_console_streams()
{
    const HANDLE process = GetCurrentProcess();
    const HANDLE streams[3] = {nullptr, GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
    HANDLE writer = nullptr;
    for (int fd = 1; fd <= 2; fd++) {
        if (!is_console(streams[fd]))
            continue;
        // The console itself, kept for the thread: the stream's handle is
        // closed when the stream is given the pipe.
        if (console == nullptr) {
            if (!DuplicateHandle(process, streams[fd], process, &console, 0, FALSE, DUPLICATE_SAME_ACCESS))
                return;
            if (!CreatePipe(&console_pipe, &writer, nullptr, 0)) {
                CloseHandle(console);
                console = nullptr;
                return;
            }
        }
        HANDLE own = nullptr;
        if (!DuplicateHandle(process, writer, process, &own, 0, FALSE, DUPLICATE_SAME_ACCESS))
            continue;
        const int pipe_fd = _open_osfhandle(reinterpret_cast<intptr_t>(own), _O_WRONLY | _O_TEXT);
        if (pipe_fd < 0) {
            CloseHandle(own);
            continue;
        }
        if (_dup2(pipe_fd, fd) == 0)
            console_streams |= 1 << fd;
        _close(pipe_fd);
    }
    if (writer != nullptr)
        CloseHandle(writer);
    if (console_streams == 0)
        return;
    console_thread = CreateThread(nullptr, 0, copy_to_console, nullptr, 0, nullptr);
    if (console_thread == nullptr) {
        // Nothing would empty the pipe: the streams are lost rather than
        // left to block.
        for (int fd = 1; fd <= 2; fd++)
            if (console_streams & (1 << fd))
                _close(fd);
        return;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    atexit(finish_console_streams);
}

SourceArguments take_source_arguments(int* argc, char*** argv, const char** pattern)
{
    convert_console_streams();
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

const char* source_base_name(const char* path)
{
    // A drive's colon ends a name too ("c:file"), but only there: any
    // other colon stays in the name, which is then refused, rather than
    // "notes.txt:extra" (a stream of notes.txt) or a Unix name "a:b" under
    // Wine being packed as "extra" or "b".
    return path + last_name_start(path, UTF8_BYTES);
}

static int64_t seconds_of(const FILETIME& time)
{
    const int64_t units = static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    return units / FILETIME_UNITS - FILETIME_EPOCH_SECONDS;
}

// What the open handle is: a file or folder on a disk, or something else
// (a device, a pipe).
static SourceInfo info_of(HANDLE handle)
{
    SourceInfo info{};
    BY_HANDLE_FILE_INFORMATION data;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &data)) {
        info.kind = SOURCE_OTHER;
        return info;
    }
    info.kind = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? SOURCE_FOLDER : SOURCE_FILE;
    info.volume = data.dwVolumeSerialNumber;
    info.index = static_cast<uint64_t>(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
    info.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    info.modified = seconds_of(data.ftLastWriteTime);
    return info;
}

static HANDLE open_path(const char* path, DWORD access)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    if (!utf8_to_wide(path, wide, ENTRY_PATH_SIZE))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(wide, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

SourceInfo look_at_source(const char* path)
{
    const HANDLE handle = open_path(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return SourceInfo{};
    const SourceInfo info = info_of(handle);
    CloseHandle(handle);
    return info;
}

SourceInfo look_at_open_file(FILE* file)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle == INVALID_HANDLE_VALUE ? SourceInfo{} : info_of(handle);
}

FILE* open_source_file(const char* path, SourceInfo* info)
{
    const HANDLE handle = open_path(path, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) {
        *info = SourceInfo{};
        return nullptr;
    }
    *info = info_of(handle);
    if (info->kind != SOURCE_FILE) {
        CloseHandle(handle);
        return nullptr;
    }
    return reading_stream_of(handle);
}

bool open_source_folder(const char* path)
{
    char pattern[4 * ENTRY_PATH_SIZE];
    wchar_t wide[ENTRY_PATH_SIZE];
    const size_t length = strlen(path);
    const bool has_separator = length > 0 && is_path_separator(path[length - 1]);
    if (!compose(pattern, sizeof pattern, {path, has_separator ? "*" : "\\*"}) ||
        !utf8_to_wide(pattern, wide, ENTRY_PATH_SIZE))
        return false;
    find = FindFirstFileW(wide, &found);
    found_pending = find != INVALID_HANDLE_VALUE;
    return find != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND;
}

const char* next_source_name()
{
    while (find != INVALID_HANDLE_VALUE) {
        if (!found_pending && !FindNextFileW(find, &found))
            return nullptr;
        found_pending = false;
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
            continue;
        // A name that UTF-8 cannot carry (a lone surrogate) stays as '?',
        // which no file has: opening it then fails with its line.
        if (!wide_to_utf8(found.cFileName, found_name, sizeof found_name))
            strcpy(found_name, "?");
        return found_name;
    }
    return nullptr;
}

void close_source_folder()
{
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    find = INVALID_HANDLE_VALUE;
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

const char* system_failure_reason()
{
    // Room for the longest message the system has, in UTF-8.
    constexpr DWORD REASON_UNITS = 512;
    static char reason[4 * REASON_UNITS];
    const DWORD error = GetLastError();
    wchar_t text[REASON_UNITS];
    DWORD units = error == 0 ? 0
                             : FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                              error, 0, text, REASON_UNITS, nullptr);
    // The message ends in a full stop and a line break.
    while (units > 0 && (text[units - 1] == L'\r' || text[units - 1] == L'\n' || text[units - 1] == L' ' ||
                         text[units - 1] == L'.'))
        units--;
    text[units] = 0;
    if (units == 0 || !wide_to_utf8(text, reason, sizeof reason))
        return strerror(errno);
    return reason;
}

FILE* create_archive_file(const char* archive)
{
    wchar_t wide[ENTRY_PATH_SIZE];
    if (!utf8_to_wide(archive, wide, ENTRY_PATH_SIZE))
        return nullptr;
    return create_new_file(wide, 0, nullptr, NEW_FILE_BINARY, PATH_UNSEEN);
}
