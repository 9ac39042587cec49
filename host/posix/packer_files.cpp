// host/posix/packer_files.cpp: the packer's files on POSIX, named by UTF-8
// paths as they are.
//
// State:
//   folder            the folder being listed, or nullptr.
//
// The archive is written as every file is (host/posix/unix/new_files.h).
#include "host/packer_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/packer_names.h"
#include "host/posix/unix/new_files.h"
#include "shared/compose.h"

// Room for a path, terminator included.
constexpr size_t SOURCE_PATH_SIZE = 4096;

static DIR* folder;

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
