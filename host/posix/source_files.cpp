// host/posix/source_files.cpp: the packer's files on POSIX, named by UTF-8
// paths as they are.
//
// State:
//   folder            the folder being listed, or nullptr.
//   case_locale       the C.UTF-8 character classes, for folding letter
//                     case across Unicode; opened once.
//   temp_path         the archive being written, while temp_owned.
//   temp_owned        set once this program has created temp_path, cleared
//                     when it is moved or removed; read by the signal
//                     handler.
#include "host/source_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/posix/codepage.h"
#include "shared/buffers.h"

// Room for a path, terminator included.
constexpr size_t SOURCE_PATH_SIZE = 4096;
// Tries at a name of its own for the archive being written.
constexpr int TEMP_TRIES = 100;
// Room for a number in decimal, sign and terminator included.
constexpr size_t NUMBER_SIZE = 24;
// Signals that end the program and must not leave the archive behind:
// the interrupts, and SIGPIPE when standard error is a pipe whose reader
// has gone (`ymw-pack ... 2>&1 | head -1`).
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

static DIR* folder;
static locale_t case_locale;
static char temp_path[SOURCE_PATH_SIZE];
static volatile sig_atomic_t temp_owned;

SourceArguments take_source_arguments(int*, char***, const char**)
{
    // A standard stream that was closed (`2>&-`) gets /dev/null: otherwise
    // the archive, opened later, could take its number, and the lines
    // meant for standard error would be written into the archive.
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR) != fd)
            break;
    return ARGUMENTS_TAKEN;
}

const char* source_base_name(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

static SourceInfo info_of(const struct stat& st)
{
    SourceInfo info{};
    info.kind = S_ISREG(st.st_mode) ? SOURCE_FILE : S_ISDIR(st.st_mode) ? SOURCE_FOLDER : SOURCE_OTHER;
    info.volume = static_cast<uint64_t>(st.st_dev);
    info.index = static_cast<uint64_t>(st.st_ino);
    info.size = static_cast<uint64_t>(st.st_size);
    info.modified = static_cast<int64_t>(st.st_mtime);
    return info;
}

SourceInfo look_at_source(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return SourceInfo{};
    return info_of(st);
}

FILE* open_source_file(const char* path, SourceInfo* info)
{
    // O_NONBLOCK: a FIFO without a writer opens at once instead of waiting.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *info = SourceInfo{};
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    *info = info_of(st);
    FILE* file = nullptr;
    if (info->kind == SOURCE_FILE && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
        file = fdopen(fd, "rb");
    if (file == nullptr)
        close(fd);
    return file;
}

bool open_source_folder(const char* path)
{
    folder = opendir(path);
    return folder != nullptr;
}

const char* next_source_name()
{
    while (const dirent* entry = readdir(folder))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            return entry->d_name;
    return nullptr;
}

void close_source_folder()
{
    if (folder != nullptr)
        closedir(folder);
    folder = nullptr;
}

long source_name_to_cp932(const char* name, char* out, size_t capacity)
{
    return utf8_to_exact_cp932(name, strlen(name), out, capacity);
}

long cp932_to_source_name(const char* text, size_t length, char* out, size_t capacity)
{
    return cp932_to_utf8(text, length, out, capacity, false);
}

bool windows_name_key(const char* name, uint16_t key[NAME_KEY_SIZE])
{
    if (case_locale == nullptr)
        case_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (case_locale == nullptr || cp932_to_utf16(name, key, NAME_KEY_SIZE) == 0)
        return false;
    // Code page 932 has no character outside the Basic Multilingual Plane:
    // every unit is a character.
    for (uint16_t* unit = key; *unit != 0; unit++)
        *unit = static_cast<uint16_t>(towupper_l(*unit, case_locale));
    return true;
}

// Removes the archive being written, which this program created.
static void remove_temp()
{
    unlink(temp_path);
    temp_owned = 0;
}

static void remove_and_end(int signal_number)
{
    if (temp_owned)
        unlink(temp_path);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

FILE* create_archive_file(const char* archive)
{
    struct sigaction action {};
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    sigset_t ending;
    sigset_t before;
    sigemptyset(&ending);
    for (const int signal_number : ENDING_SIGNALS) {
        // A signal ignored by whoever started the program (nohup, a
        // background job of a script) stays ignored: it must not end it.
        struct sigaction inherited {};
        sigaction(signal_number, nullptr, &inherited);
        if (inherited.sa_handler == SIG_IGN)
            continue;
        sigaction(signal_number, &action, nullptr);
        sigaddset(&ending, signal_number);
    }
    // Past a file size limit (ulimit -f) a write fails instead of ending
    // the program, so the archive is removed with its line.
    signal(SIGXFSZ, SIG_IGN);
    // <archive>.<process id>-<attempt>.tmp
    char process[NUMBER_SIZE];
    snprintf(process, sizeof process, "%ld", static_cast<long>(getpid()));
    for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
        char number[NUMBER_SIZE];
        snprintf(number, sizeof number, "%d", attempt);
        if (!compose(temp_path, sizeof temp_path, {archive, ".", process, "-", number, ".tmp"}))
            break;
        // O_EXCL: a name that anything has, a link included, is not taken.
        // An interrupt waits until temp_owned tells whether the file is
        // this program's.
        sigprocmask(SIG_BLOCK, &ending, &before);
        const int fd = open(temp_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        const int open_error = errno;
        temp_owned = fd >= 0;
        sigprocmask(SIG_SETMASK, &before, nullptr);
        if (fd < 0) {
            if (open_error == EEXIST)
                continue;
            break;
        }
        FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            close(fd);
            remove_temp();
        }
        return file;
    }
    temp_path[0] = '\0';
    return nullptr;
}

const char* archive_file_name()
{
    return temp_owned ? temp_path : "";
}

bool finish_archive_file(FILE* file, const char* archive)
{
    const bool closed = fclose(file) == 0;
    if (!closed || rename(temp_path, archive) != 0) {
        remove_temp();
        return false;
    }
    temp_owned = 0;
    return true;
}

void discard_archive_file(FILE* file)
{
    fclose(file);
    remove_temp();
}
