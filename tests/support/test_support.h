// tests/support/test_support.h: what the tests of every folder share: real
// temporary folders, whole-file reads and writes, and a small writer of
// level-0 LHA archives.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lha/header.h"

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const std::string& text);
std::string text_of(const Bytes& bytes);

// A fresh, empty folder under $TMPDIR (or /tmp); removed by remove_tree.
std::string make_temp_dir();
// Removes a folder and everything below it, following no link.
void remove_tree(const std::string& path);

// A fresh temporary folder holding a Wine prefix with its drive_c, and
// WINEPREFIX naming that prefix: the folder itself, or `prefix_folder`
// below it when the test wants room beside the prefix. Returns the
// temporary folder, for end_prefix.
std::string start_prefix(const std::string& prefix_folder = "");
// Unsets WINEPREFIX and removes what start_prefix made.
void end_prefix(const std::string& root);
// Creates every level of `relative` ("a/b/c") below `base`; levels that
// exist already stay as they are.
void make_folders(const std::string& base, const std::string& relative);

// A fresh temporary folder as the current directory, with a Wine prefix
// "prefix" in it that WINEPREFIX names; at the end of the scope the old
// directory comes back, WINEPREFIX goes and the folder is removed.
struct TempWorkspace {
    std::string root;
    std::string old_cwd;

    TempWorkspace();
    ~TempWorkspace();
    TempWorkspace(const TempWorkspace&) = delete;
    TempWorkspace& operator=(const TempWorkspace&) = delete;
};

// While it lives, the variables that choose the locale hold the values
// given, each unset where it is null: LC_ALL, LC_CTYPE, LC_MESSAGES and
// LANG. Afterwards they are as they were.
struct LocaleVariables {
    static constexpr const char* NAMES[] = {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG"};
    static constexpr size_t COUNT = sizeof NAMES / sizeof NAMES[0];
    std::string saved[COUNT];
    bool was_set[COUNT];

    explicit LocaleVariables(const char* lc_all, const char* lc_ctype = nullptr, const char* lc_messages = nullptr,
                             const char* lang = nullptr);
    ~LocaleVariables();
    LocaleVariables(const LocaleVariables&) = delete;
    LocaleVariables& operator=(const LocaleVariables&) = delete;
};

// While it lives, no regular file of this process grows beyond `bytes`: a
// write past that fails with EFBIG, as on a full disk, instead of ending
// the process with SIGXFSZ.
struct FileSizeLimit {
    rlimit old_limit;
    struct sigaction old_action;

    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

// The host's current directory, or "" when it cannot be told.
std::string current_directory();
// The Windows path by which Wine reaches a host path, on drive Z
// (/a/b is Z:\a\b).
std::string as_z_path(const std::string& host_path);

// The names in a folder, "." and ".." left out, in the order listed.
std::vector<std::string> folder_entries(const std::string& folder);

// Whether the process `pid` holds open a new file of its own in `folder`
// (an absolute path): one without a name yet, or one under a name of the
// new files' own (~ymw<n>.tmp), as /proc shows its descriptors.
bool holds_new_file_in(int pid, const std::string& folder);

Bytes read_file(const std::string& path);
bool file_exists(const std::string& path);
void write_file(const std::string& path, const Bytes& data);

// CRC-16/ARC computed bit by bit, independent of the table in lha/.
uint16_t reference_crc16(const Bytes& data);

// One level-0 member header and its packed data, field by field. The
// defaults make a well-formed stored member; tests change single fields.
struct TestMember {
    std::string method = "-lh0-";
    std::string name;
    Bytes packed;                // the packed data, written after the header
    uint32_t packed_size = 0;    // written as four bytes; packed.size() unless set
    bool packed_size_set = false;
    uint32_t unpacked_size = 0;  // unpacked size; packed.size() unless set
    bool unpacked_size_set = false;
    uint16_t crc = 0;            // CRC of the data; computed from packed unless set
    bool crc_set = false;
    Bytes extra;                 // header bytes after the CRC, counted in H
    int header_size_delta = 0;   // added to the correct H
    int checksum_delta = 0;      // added to the correct checksum
};

// Appends the member's header and packed data to `archive`.
void append_member(Bytes& archive, const TestMember& member);
// A stored member of `data` named `name`, well formed.
TestMember stored_member(const std::string& name, const Bytes& data);
// Appends the end marker, a single byte 0.
void append_end(Bytes& archive);

// The headers of a level-0 archive as the installer's reader reads them,
// up to the end marker or the first header it refuses, each with its
// offset in the archive. The archive stream that a test has open is left
// as it was.
struct ArchiveHeader {
    MemberHeader fields;
    size_t at;
};
std::vector<ArchiveHeader> headers_in(const Bytes& archive);
