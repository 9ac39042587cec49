// tests/support/test_support.cpp
#include "tests/support/test_support.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "host/portable/new_file_names.h"
#include "lha/extract.h"
#include "lha/stream.h"

Bytes bytes_of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string text_of(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::string make_temp_dir()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ymw-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        perror("mkdtemp");
        abort();
    }
    return std::string(buffer.data());
}

void remove_tree(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    remove_tree(path + "/" + name);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::string start_prefix(const std::string& prefix_folder)
{
    const std::string root = make_temp_dir();
    const std::string prefix = prefix_folder.empty() ? root : root + "/" + prefix_folder;
    make_folders(root, prefix_folder.empty() ? "drive_c" : prefix_folder + "/drive_c");
    setenv("WINEPREFIX", prefix.c_str(), 1);
    return root;
}

void end_prefix(const std::string& root)
{
    unsetenv("WINEPREFIX");
    remove_tree(root);
}

void make_folders(const std::string& base, const std::string& relative)
{
    for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1))
        mkdir((base + "/" + relative.substr(0, slash)).c_str(), 0777);
    mkdir((base + "/" + relative).c_str(), 0777);
}

TempWorkspace::TempWorkspace()
{
    old_cwd = current_directory();
    root = start_prefix("prefix");
    if (chdir(root.c_str()) != 0)
        perror("chdir");
}

TempWorkspace::~TempWorkspace()
{
    if (chdir(old_cwd.empty() ? "/" : old_cwd.c_str()) != 0)
        perror("chdir");
    end_prefix(root);
}

LocaleVariables::LocaleVariables(const char* lc_all, const char* lc_ctype, const char* lc_messages, const char* lang)
{
    const char* values[COUNT] = {lc_all, lc_ctype, lc_messages, lang};
    for (size_t i = 0; i < COUNT; i++) {
        const char* value = getenv(NAMES[i]);
        was_set[i] = value != nullptr;
        saved[i] = value != nullptr ? value : "";
        if (values[i] != nullptr)
            setenv(NAMES[i], values[i], 1);
        else
            unsetenv(NAMES[i]);
    }
}

LocaleVariables::~LocaleVariables()
{
    for (size_t i = 0; i < COUNT; i++) {
        if (was_set[i])
            setenv(NAMES[i], saved[i].c_str(), 1);
        else
            unsetenv(NAMES[i]);
    }
}

std::string current_directory()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

std::string as_z_path(const std::string& host_path)
{
    std::string out = "Z:";
    for (char c : host_path)
        out += c == '/' ? '\\' : c;
    return out;
}

std::vector<std::string> folder_entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(dir);
    }
    return names;
}

bool holds_new_file_in(int pid, const std::string& folder)
{
    const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd";
    const std::string unnamed_end = " (deleted)";
    for (const std::string& fd : folder_entries(descriptors)) {
        char target[PATH_MAX];
        const ssize_t length = readlink((descriptors + "/" + fd).c_str(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        const std::string path(target, static_cast<size_t>(length));
        if (path.compare(0, folder.size() + 1, folder + "/") != 0)
            continue;
        const std::string name = path.substr(folder.size() + 1);
        const bool unnamed = name.size() > unnamed_end.size() &&
                             name.compare(name.size() - unnamed_end.size(), unnamed_end.size(), unnamed_end) == 0;
        if (unnamed || is_new_file_name(name.c_str()))
            return true;
    }
    return false;
}

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

void write_file(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

uint16_t reference_crc16(const Bytes& data)
{
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

static void put_le(Bytes& out, uint32_t value, int count)
{
    for (int i = 0; i < count; i++)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void append_member(Bytes& archive, const TestMember& m)
{
    Bytes body;  // header bytes 2 .. H + 1
    body.insert(body.end(), m.method.begin(), m.method.end());                        // method id, 5 bytes
    put_le(body, m.packed_size_set ? m.packed_size : static_cast<uint32_t>(m.packed.size()), 4);  // packed size
    put_le(body, m.unpacked_size_set ? m.unpacked_size : static_cast<uint32_t>(m.packed.size()), 4);  // unpacked size
    put_le(body, 0x0000, 2);                                                          // time, MS-DOS
    put_le(body, 0x2921, 2);                                                          // date, MS-DOS
    body.push_back(0x20);                                                             // attribute
    body.push_back(0x00);                                                             // header level 0
    body.push_back(static_cast<uint8_t>(m.name.size()));                              // N
    body.insert(body.end(), m.name.begin(), m.name.end());                            // name
    put_le(body, m.crc_set ? m.crc : reference_crc16(m.packed), 2);                   // CRC-16 of the data
    body.insert(body.end(), m.extra.begin(), m.extra.end());                          // extra header bytes

    if (body.size() + static_cast<size_t>(m.header_size_delta) > 255) {
        fprintf(stderr, "test member header too long: %zu bytes\n", body.size());
        abort();
    }
    uint8_t sum = 0;
    for (uint8_t byte : body)
        sum = static_cast<uint8_t>(sum + byte);
    archive.push_back(static_cast<uint8_t>(static_cast<int>(body.size()) + m.header_size_delta));  // H
    archive.push_back(static_cast<uint8_t>(sum + m.checksum_delta));                              // checksum
    archive.insert(archive.end(), body.begin(), body.end());
    archive.insert(archive.end(), m.packed.begin(), m.packed.end());
}

std::vector<ArchiveHeader> headers_in(const Bytes& archive)
{
    // A test may be reading an archive of its own meanwhile.
    static ArchiveStream saved;
    saved = archive_stream;
    std::vector<ArchiveHeader> headers;
    Bytes copy = archive;
    copy.push_back(0);  // fmemopen takes no empty buffer
    FILE* stream = fmemopen(copy.data(), archive.size() == 0 ? 1 : archive.size(), "rb");
    if (stream == nullptr) {
        fprintf(stderr, "fmemopen failed\n");
        abort();
    }
    take_archive_stream(stream);
    size_t at = 0;
    while (at < archive.size() && read_member_header() == HEADER_READ) {
        headers.push_back({member_header, at});
        at += member_header.header_size + 2u + member_header.packed_size;
        skip_member_data(facts_of(member_header));
    }
    close_archive_stream();
    archive_stream = saved;
    return headers;
}

TestMember stored_member(const std::string& name, const Bytes& data)
{
    TestMember m;
    m.name = name;
    m.packed = data;
    return m;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old_action);
    getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &old_limit);
    sigaction(SIGXFSZ, &old_action, nullptr);
}

void append_end(Bytes& archive)
{
    archive.push_back(0);
}

// Console capture: standard output goes to a temporary file between
// begin_capture and end_capture.
#include <fcntl.h>
#include <locale.h>

#include <gtest/gtest.h>

#include "host/console.h"
#include "host/posix/codepage.h"
#include "tests/support/capture.h"

// The standard output and standard error that a capture replaced.
static int saved_streams[3] = {-1, -1, -1};

std::string begin_capture(int stream)
{
    console_flush();
    fflush(stdout);
    fflush(stderr);
    char name[] = "/tmp/ymw-capture-XXXXXX";
    const int fd = mkstemp(name);
    saved_streams[stream] = dup(stream);
    dup2(fd, stream);
    close(fd);
    return name;
}

std::string end_capture(const std::string& handle, int stream)
{
    console_flush();
    fflush(stdout);
    fflush(stderr);
    dup2(saved_streams[stream], stream);
    close(saved_streams[stream]);
    const std::string text = text_of(read_file(handle));
    unlink(handle.c_str());
    return text;
}

std::string on_console(const std::string& cp932)
{
    if (!user_console_charset())
        return cp932;
    SjisPieces pieces = {};
    char converted[CONVERTED_PIECE_SIZE];
    return std::string(converted, cp932_piece_to_user(pieces, cp932.data(), cp932.size(), converted));
}

bool locale_is_generated(const char* name)
{
    const locale_t found = newlocale(LC_ALL_MASK, name, nullptr);
    if (found == nullptr)
        return false;
    freelocale(found);
    return true;
}
