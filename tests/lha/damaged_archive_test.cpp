// tests/lha/damaged_archive_test.cpp: damaged archives of every kind:
// whatever bytes an archive holds, the extraction ends, prints only its own
// kinds of line, and writes nothing outside the install directory. Run under
// the sanitizers, this also checks that no read or write leaves its buffer.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "installer/extraction.h"
#include "lha/extract.h"
#include "installer/run_state.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

namespace {

// Every line extract_archive may print: a listing line or one of its
// messages.
bool is_extraction_line(const std::string& line)
{
    static const char* const FIXED[] = {
        "[ EOF ]", "Error: Header sum error", "Error: Header damaged", "Error: unknown method",
        "Error: CRC mismatch.",
    };
    for (const char* fixed : FIXED)
        if (line == fixed)
            return true;
    for (const char* prefix : {"Error: File cannot create. (", "Error: File cannot write. ("})
        if (line.rfind(prefix, 0) == 0 && line.back() == ')')
            return true;
    return line.size() > 1 && line[0] == '\t';
}

// Host entries below `folder`, as relative paths.
void list_tree(const std::string& folder, const std::string& relative, std::vector<std::string>& out)
{
    const std::string path = relative.empty() ? folder : folder + "/" + relative;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return;
    out.push_back(relative);
    if (!S_ISDIR(info.st_mode))
        return;
    if (DIR* dir = opendir(path.c_str())) {
        std::vector<std::string> names;
        while (dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
        for (const std::string& name : names)
            list_tree(folder, relative.empty() ? name : relative + "/" + name, out);
    }
}

Bytes corpus_archive(const std::string& name)
{
    return read_file(std::string(TEST_DATA_DIR) + "/corpus/" + name + "/" + name + ".lzh");
}

// An entry that a fresh workspace holds: a folder, or else a regular file.
struct Kept {
    const char* name;
    bool folder;
};

// Removes every entry of `folder` but those in `kept` that are still of
// their kind.
void empty_all_but(const std::string& folder, std::initializer_list<Kept> kept)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        struct stat info;
        bool keep = false;
        if (lstat(path.c_str(), &info) == 0)
            for (const Kept& k : kept)
                keep = keep || (name == k.name && (k.folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode)));
        if (!keep)
            remove_tree(path);
    }
}

// Each test extracts all its archives in one workspace: making and removing
// a fresh one per archive cost most of the test's time, in mkdir and rmdir.
// Before each archive the workspace is brought back to what a fresh one
// holds, the folders prefix/drive_c and out/sub, each empty, and at most
// the archive, so that nothing one archive wrote reaches the checks of the
// next.
void reset_workspace(const std::string& root)
{
    empty_all_but(root, {{"ymw.lz_", false}, {"out", true}, {"prefix", true}});
    empty_all_but(root + "/out", {{"sub", true}});
    empty_all_but(root + "/out/sub", {});
    empty_all_but(root + "/prefix", {{"drive_c", true}});
    empty_all_but(root + "/prefix/drive_c", {});
    make_folders(root, "prefix/drive_c");
}

// Extracts `archive` into the emptied install directory of `workspace` and
// checks what it printed and where it wrote.
void extract_damaged(const TempWorkspace& workspace, const Bytes& archive, const std::string& what)
{
    SCOPED_TRACE(what);
    const std::string& root = workspace.root;
    reset_workspace(root);
    make_folders(root, "out/sub");
    strcpy(install_directory, "out\\");
    write_file(root + "/ymw.lz_", archive);

    const std::string printed = capture_console([] { extract_archive("ymw.lz_", "*"); });

    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.back(), '\n');
    size_t start = 0;
    for (size_t end; (end = printed.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = printed.substr(start, end - start);
        EXPECT_TRUE(is_extraction_line(line)) << "unexpected line: " << line;
    }
    std::vector<std::string> beside;
    list_tree(root, "", beside);
    for (const std::string& entry : beside) {
        const bool ours = entry.empty() || entry == "ymw.lz_" || entry == "out" ||
                          entry.rfind("out/", 0) == 0 || entry.rfind("prefix", 0) == 0;
        EXPECT_TRUE(ours) << "written outside the install directory: " << entry;
    }
}

const char* const ARCHIVES[] = {"mixed", "names", "text"};

}  // namespace

TEST(DamagedArchive, TruncatedAnywhere)
{
    TempWorkspace workspace;
    for (const char* name : ARCHIVES) {
        const Bytes archive = corpus_archive(name);
        ASSERT_FALSE(archive.empty()) << name;
        // Every byte of the headers region and a spread of cuts inside data.
        const size_t step = archive.size() / 97 + 1;
        for (size_t cut = 0; cut < archive.size(); cut += (cut < 300 ? 1 : step)) {
            const Bytes truncated(archive.begin(), archive.begin() + static_cast<long>(cut));
            extract_damaged(workspace, truncated, std::string(name) + " cut at " + std::to_string(cut));
        }
    }
}

TEST(DamagedArchive, RandomBytesChanged)
{
    // Fixed seed: a failure names its round, which replays it.
    std::mt19937 random(20261207);
    TempWorkspace workspace;
    for (const char* name : ARCHIVES) {
        const Bytes archive = corpus_archive(name);
        for (int round = 0; round < 60; round++) {
            Bytes damaged = archive;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int c = 0; c < changes; c++) {
                // Half of the changes land in the first 300 bytes, where the
                // first headers are.
                const size_t limit = random() % 2 ? damaged.size() : std::min<size_t>(300, damaged.size());
                damaged[random() % limit] = static_cast<uint8_t>(random());
            }
            extract_damaged(workspace, damaged, std::string(name) + " round " + std::to_string(round));
        }
    }
}

TEST(DamagedArchive, RandomBytesAfterAValidHeader)
{
    std::mt19937 random(7);
    TempWorkspace workspace;
    for (int round = 0; round < 100; round++) {
        TestMember m = stored_member("noise.bin", {});
        m.method = random() % 2 ? "-lh1-" : "-lh0-";
        m.packed.resize(random() % 2000);
        for (uint8_t& byte : m.packed)
            byte = static_cast<uint8_t>(random());
        m.unpacked_size = static_cast<uint32_t>(random() % 70000);
        m.unpacked_size_set = true;
        Bytes archive;
        append_member(archive, m);
        append_member(archive, stored_member("after.txt", bytes_of("after")));
        append_end(archive);
        extract_damaged(workspace, archive, "noise round " + std::to_string(round));
    }
}
