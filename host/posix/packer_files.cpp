// host/posix/packer_files.cpp: the packer's files on POSIX, named by UTF-8
// paths as they are.
//
// State:
//   folder            the folder being listed, or nullptr.
//   case_locale       the C.UTF-8 character classes, for folding letter
//                     case across Unicode; opened once.
//   composed          a name's characters while it is composed, then its
//                     composed UTF-8.
//
// The archive is written as every file is (host/posix/unix/new_files.h).
#include "host/packer_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8proc.h>
#include <wctype.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/posix/codepage.h"
#include "host/posix/unix/new_files.h"
#include "shared/compose.h"

// Room for a path, terminator included.
constexpr size_t SOURCE_PATH_SIZE = 4096;
// Room for a name's characters while it is composed, and its terminator: a
// name is at most NAME_MAX bytes, and no character decomposes into more
// than four.
constexpr size_t COMPOSED_NAME_UNITS = 4 * SOURCE_PATH_SIZE + 1;

static DIR* folder;
static locale_t case_locale;
static utf8proc_int32_t composed[COMPOSED_NAME_UNITS];

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

SourceInfo look_at_open_file(FILE* file)
{
    struct stat st;
    if (fstat(fileno(file), &st) != 0)
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
    const long as_it_is = utf8_to_exact_cp932(name, strlen(name), out, capacity);
    if (as_it_is >= 0)
        return as_it_is;
    // Composed (NFC). A name that is not UTF-8 is refused as it was.
    const auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);
    const utf8proc_ssize_t count =
        utf8proc_decompose(reinterpret_cast<const utf8proc_uint8_t*>(name), static_cast<utf8proc_ssize_t>(strlen(name)),
                           composed, COMPOSED_NAME_UNITS - 1, options);
    if (count < 0 || count > static_cast<utf8proc_ssize_t>(COMPOSED_NAME_UNITS - 1))
        return -1;
    const utf8proc_ssize_t bytes = utf8proc_reencode(composed, count, options);
    if (bytes < 0)
        return -1;
    return utf8_to_exact_cp932(reinterpret_cast<const char*>(composed), static_cast<size_t>(bytes), out, capacity);
}

long cp932_to_source_name(const char* text, size_t length, char* out, size_t capacity)
{
    return cp932_to_utf8(text, length, out, capacity, REPLACE_UNCONVERTIBLE);
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

const char* system_failure_reason()
{
    return strerror(errno);
}

FILE* create_archive_file(const char* archive)
{
    // The archive's folder, as the path names it (links followed), and its
    // last name.
    const char* name = source_base_name(archive);
    char folder_path[SOURCE_PATH_SIZE];
    if (*name == '\0' || !compose(folder_path, sizeof folder_path, {archive})) {
        errno = EISDIR;
        return nullptr;
    }
    folder_path[name - archive] = '\0';
    const int parent = open(folder_path[0] != '\0' ? folder_path : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return nullptr;
    FILE* file = create_new_file(parent, name, OPEN_TO_WRITE_BINARY, FOLDER_COPIED, ENTRY_NOT_LOOKED_AT);
    const int error = errno;
    close(parent);
    errno = error;
    return file;
}
