// ymw-pack, run as a program in real temporary folders: its archives
// extract through the installer's own extraction, and pass lhasa and the
// decoder of libjlha-java as independent checks; its refusals leave no
// archive behind.
//
// Needs lhasa, a JDK (javac, java) and libjlha-java; on Debian the
// packages lhasa, default-jdk-headless and libjlha-java.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "host/posix/codepage.h"
#include "lha/extract.h"
#include "shared/buffers.h"
#include "tests/support/capture.h"
#include "tests/support/sample_data.h"
#include "tests/support/test_support.h"

namespace {

const char* const JLHA_JAR = "/usr/share/java/jlha-0.0.20050504.jar";

struct ProgramRun {
    int code;
    std::string out;
    std::string err;
};

// Runs `command` through the shell in the current folder; standard output
// and error are kept apart.
ProgramRun run(const std::string& command)
{
    const int status = std::system((command + " >run.out 2>run.err").c_str());
    ProgramRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text_of(read_file("run.out")), text_of(read_file("run.err"))};
    remove("run.out");
    remove("run.err");
    return r;
}

std::string quoted(const std::string& s)
{
    return "'" + s + "'";
}

ProgramRun pack(const std::string& arguments)
{
    return run(quoted(YMW_PACK) + " " + arguments);
}

// One member header of a level-0 archive, as far as the tests look.
struct Header {
    std::string method;
    uint32_t packed_size;
    uint32_t unpacked_size;
    uint32_t stamp;  // time in the low 16 bits, date in the high ones
    std::string name;
};

std::vector<Header> headers_of(const Bytes& archive)
{
    std::vector<Header> headers;
    auto le = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; i--)
            v = v << 8 | archive[at + static_cast<size_t>(i)];
        return v;
    };
    size_t at = 0;
    while (at < archive.size() && archive[at] != 0) {
        const size_t n = archive[at + 21];
        Header h{std::string(archive.begin() + static_cast<long>(at) + 2, archive.begin() + static_cast<long>(at) + 7),
                 le(at + 7, 4), le(at + 11, 4), le(at + 15, 4),
                 std::string(archive.begin() + static_cast<long>(at + 22), archive.begin() + static_cast<long>(at + 22 + n))};
        headers.push_back(h);
        at += archive[at] + 2u + h.packed_size;
    }
    return headers;
}

std::string cp932_of(const std::string& utf8)
{
    char out[1024];
    const long n = utf8_to_cp932(utf8.data(), utf8.size(), out, sizeof out, true);
    return n < 0 ? "" : std::string(out, static_cast<size_t>(n));
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

// The samples under names of every kind, sorted as a folder is packed.
std::vector<sample_data::Sample> named_samples()
{
    std::vector<sample_data::Sample> files;
    int number = 0;
    for (sample_data::Sample s : sample_data::samples()) {
        char name[32];
        snprintf(name, sizeof name, "s%02d.bin", number++);
        s.name = name;
        files.push_back(s);
    }
    files.push_back({"README.TXT", bytes_of("Read me.\r\n")});
    files.push_back({"ガイド.txt", bytes_of(cp932_of("ようこそ、ワームホールドへ。\r\n"))});
    files.push_back({std::string(229, 'n') + ".txt", bytes_of("the longest name that fits")});
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return files;
}

}  // namespace

TEST(YmwPack, ArchiveOfAFolderExtractsToItsFilesWithEveryDecoder)
{
    TempWorkspace w;
    const std::vector<sample_data::Sample> files = named_samples();
    mkdir("in", 0755);
    Bytes all;
    for (const sample_data::Sample& f : files) {
        write_file("in/" + f.name, f.data);
        all.insert(all.end(), f.data.begin(), f.data.end());
    }
    mkdir("in/subfolder", 0755);
    write_file("in/subfolder/not-packed.txt", bytes_of("below a folder given: not packed"));

    const ProgramRun packed = pack("ymw.lz_ in");
    ASSERT_EQ(packed.code, 0) << packed.err;
    EXPECT_EQ(std::count(packed.err.begin(), packed.err.end(), '\n'), static_cast<long>(files.size()));

    // The installer's extraction: in folder order, every file as it was.
    mkdir("out", 0755);
    strcpy(install_directory, "out\\");
    std::string listing;
    for (const sample_data::Sample& f : files)
        listing += "\t" + cp932_of(f.name) + "\n";
    EXPECT_EQ(capture_console([] { extract_archive("ymw.lz_", "*"); }), on_console(listing + "[ EOF ]\n"));
    for (const sample_data::Sample& f : files) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(read_file("out/" + f.name) == f.data);
    }

    // lhasa: every CRC right, and the members' bytes in archive order.
    const ProgramRun tested = run("lhasa t ymw.lz_");
    EXPECT_EQ(tested.code, 0) << tested.out << tested.err;
    EXPECT_EQ(run("lhasa pq ymw.lz_").out, text_of(all));

    // libjlha-java: the same bytes, member by member.
    ASSERT_TRUE(file_exists(JLHA_JAR)) << "libjlha-java is not installed";
    const std::string source = std::string(TEST_DATA_DIR) + "/../tools/java/ArchiveReader.java";
    ASSERT_EQ(run("mkdir -p classes java-out && javac -nowarn -d classes -cp " + quoted(JLHA_JAR) + " " + quoted(source))
                  .code,
              0);
    const ProgramRun reader = run("java -cp " + quoted(std::string("classes:") + JLHA_JAR) + " ArchiveReader ymw.lz_ java-out");
    ASSERT_EQ(reader.code, 0) << reader.err;
    EXPECT_EQ(std::count(reader.out.begin(), reader.out.end(), '\n'), static_cast<long>(files.size()));
    EXPECT_EQ(reader.out.find("crc bad"), std::string::npos) << reader.out;
    for (size_t i = 0; i < files.size(); i++) {
        SCOPED_TRACE(files[i].name);
        EXPECT_TRUE(read_file("java-out/" + std::to_string(i)) == files[i].data);
    }
}

TEST(YmwPack, StoresWhatCompressingDoesNotShrinkUnlessAMethodIsForced)
{
    struct Case {
        const char* option;
        const char* file;
        Bytes data;
        const char* method;
    };
    const Case cases[] = {
        {"", "text.txt", sample_data::text(21, 20000), "-lh1-"},
        {"", "noise.bin", sample_data::noise(22, 20000), "-lh0-"},
        {"", "empty.txt", Bytes{}, "-lh0-"},
        {"--method lh1", "noise.bin", sample_data::noise(23, 20000), "-lh1-"},
        {"--method lh1", "empty.txt", Bytes{}, "-lh1-"},
        {"--method lh0", "text.txt", sample_data::text(24, 20000), "-lh0-"},
    };
    TempWorkspace w;
    mkdir("out", 0755);
    strcpy(install_directory, "out\\");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.file);
        write_file(c.file, c.data);
        ASSERT_EQ(pack(std::string(c.option) + " ymw.lz_ " + c.file).code, 0);
        const std::vector<Header> headers = headers_of(read_file("ymw.lz_"));
        ASSERT_EQ(headers.size(), 1u);
        EXPECT_EQ(headers[0].method, c.method);
        EXPECT_EQ(headers[0].unpacked_size, c.data.size());
        if (headers[0].method == "-lh1-" && !c.data.empty() && c.data.size() == 20000 && c.option[0] == '\0')
            EXPECT_LT(headers[0].packed_size, c.data.size());
        EXPECT_EQ(capture_console([] { extract_archive("ymw.lz_", "*"); }),
                  "\t" + std::string(c.file) + "\n[ EOF ]\n");
        EXPECT_TRUE(read_file(std::string("out/") + c.file) == c.data);
    }
}

TEST(YmwPack, StampsEachMemberWithItsFileTime)
{
    TempWorkspace w;
    write_file("a.txt", bytes_of("stamped"));
    struct tm local {};
    local.tm_year = 2001 - 1900;
    local.tm_mon = 1;
    local.tm_mday = 3;
    local.tm_hour = 4;
    local.tm_min = 5;
    local.tm_sec = 6;
    local.tm_isdst = -1;
    const timeval times[2] = {{mktime(&local), 0}, {mktime(&local), 0}};
    ASSERT_EQ(utimes("a.txt", times), 0);
    const uint32_t date = (2001 - 1980) << 9 | 2 << 5 | 3;
    const uint32_t time_of_day = 4 << 11 | 5 << 5 | 6 / 2;
    ASSERT_EQ(pack("ymw.lz_ a.txt").code, 0);
    EXPECT_EQ(headers_of(read_file("ymw.lz_"))[0].stamp, date << 16 | time_of_day);

    // SOURCE_DATE_EPOCH (2000-01-01 00:00:00 UTC) caps a later time.
    ASSERT_EQ(run("SOURCE_DATE_EPOCH=946684800 " + quoted(YMW_PACK) + " ymw.lz_ a.txt").code, 0);
    EXPECT_EQ(headers_of(read_file("ymw.lz_"))[0].stamp, ((2000u - 1980) << 9 | 1 << 5 | 1) << 16);
}

TEST(YmwPack, RefusesWithOneLineAndLeavesTheOldArchiveAsItWas)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, Bytes>> files;  // made in "in/"
        std::string arguments;                              // after the archive
        std::string message;
    };
    const Bytes small = bytes_of("data");
    const std::vector<Case> cases = {
        {"name outside code page 932", {{"in/\xF0\x9F\x90\x89.txt", small}}, "in", "does not convert"},
        {"name of 234 bytes", {{"in/" + std::string(230, 'n') + ".txt", small}}, "in", "longer than 233 bytes"},
        {"names differing in case", {{"in/a/Guide.txt", small}, {"in/b/GUIDE.TXT", small}}, "in/a in/b",
         "differ only in letter case"},
        {"one file twice", {{"in/same.txt", small}}, "in/same.txt in/same.txt", "the same member name twice"},
        {"a folder without files", {}, "in/a", "no file to pack"},
        {"a colon in a name", {{"in/a:b.txt", small}}, "in", "does not allow"},
        {"missing file", {}, "in/missing.txt", "cannot read"},
        {"unknown method", {{"in/a.txt", small}}, "--method lh5 ymw.lz_ in/a.txt", "unknown option"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempWorkspace w;
        make_folders(w.root, "in/a");
        make_folders(w.root, "in/b");
        for (const auto& f : c.files)
            write_file(f.first, f.second);
        write_file("ymw.lz_", bytes_of("old archive"));
        const bool option_first = c.arguments.rfind("--", 0) == 0;
        const ProgramRun r = pack(option_first ? c.arguments : "ymw.lz_ " + c.arguments);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(text_of(read_file("ymw.lz_")), "old archive");
        const std::vector<std::string> left = folder_entries(".");
        EXPECT_EQ(left.size(), 3u) << "only in, prefix and ymw.lz_ may remain";
    }
}

TEST(YmwPack, RefusesAFileOf16MiBBeforePackingAnything)
{
    TempWorkspace w;
    write_file("first.txt", bytes_of("listed before the large one"));
    ASSERT_EQ(run("truncate -s 16777216 large.bin").code, 0);
    const ProgramRun r = pack("ymw.lz_ first.txt large.bin");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ymw-pack: file of 16 MiB or more: large.bin\n");
    EXPECT_FALSE(file_exists("ymw.lz_"));
    EXPECT_EQ(folder_entries(".").size(), 3u);
}

TEST(YmwPack, RefusesForcedLh1DataThatOutgrowsTheSizeField)
{
    TempWorkspace w;
    write_file("noise.bin", sample_data::noise(31, (16u << 20) - 1));
    const ProgramRun r = pack("--method lh1 ymw.lz_ noise.bin");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ymw-pack: -lh1- data of 16 MiB or more, too large for a header: noise.bin\n");
    EXPECT_EQ(folder_entries(".").size(), 2u) << "only prefix and noise.bin may remain";
}

TEST(YmwPack, HelpSaysHowToCallIt)
{
    TempWorkspace w;
    const ProgramRun r = pack("--help");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("Usage: ymw-pack", 0), 0u) << r.out;
}
