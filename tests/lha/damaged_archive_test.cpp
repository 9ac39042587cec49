// Damaged archives of every kind: whatever bytes an archive holds, the
// extraction ends, prints only its own kinds of line, and writes nothing
// outside the install directory. Run under the sanitizers, this also
// checks that no read or write leaves its buffer.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lha/extract.h"
#include "shared/buffers.h"
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

// Extracts `archive` into a fresh install directory and checks what it
// printed and where it wrote.
void extract_damaged(const Bytes& archive, const std::string& what)
{
    SCOPED_TRACE(what);
    TempWorkspace workspace;
    const std::string& root = workspace.root;
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
    for (const char* name : ARCHIVES) {
        const Bytes archive = corpus_archive(name);
        ASSERT_FALSE(archive.empty()) << name;
        // Every byte of the headers region and a spread of cuts inside data.
        const size_t step = archive.size() / 97 + 1;
        for (size_t cut = 0; cut < archive.size(); cut += (cut < 300 ? 1 : step)) {
            const Bytes truncated(archive.begin(), archive.begin() + static_cast<long>(cut));
            extract_damaged(truncated, std::string(name) + " cut at " + std::to_string(cut));
        }
    }
}

TEST(DamagedArchive, RandomBytesChanged)
{
    // Fixed seed: a failure names its round, which replays it.
    std::mt19937 random(20261207);
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
            extract_damaged(damaged, std::string(name) + " round " + std::to_string(round));
        }
    }
}

TEST(DamagedArchive, RandomBytesAfterAValidHeader)
{
    std::mt19937 random(7);
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
        extract_damaged(archive, "noise round " + std::to_string(round));
    }
}
