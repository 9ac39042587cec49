// tests/packer/ymw_pack_test.cpp: ymw-pack, run as a program in real
// temporary folders: its archives extract through the installer's own
// extraction, and pass lhasa and the decoder of libjlha-java as independent
// checks; its refusals leave no archive behind.
//
// Needs lhasa, a JDK (javac, java) and libjlha-java; on Debian the
// packages lhasa, default-jdk-headless and libjlha-java.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/posix/codepage.h"
#include "installer/extraction.h"
#include "lha/extract.h"
#include "shared/version.h"
#include "installer/run_state.h"
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
    for (const ArchiveHeader& read : headers_in(archive)) {
        const MemberHeader& h = read.fields;
        headers.push_back({std::string(h.method, METHOD_ID_SIZE), h.packed_size, h.unpacked_size, h.stamp, h.name});
    }
    return headers;
}

std::string cp932_of(const std::string& utf8)
{
    char out[1024];
    const long n = utf8_to_cp932(utf8.data(), utf8.size(), out, sizeof out, REFUSE_UNCONVERTIBLE);
    return n < 0 ? "" : std::string(out, static_cast<size_t>(n));
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

// More files than one folder of a game is likely to hold, sorted as a
// folder is packed: past the 4,096 that the packer once took.
std::vector<sample_data::Sample> many_files()
{
    std::vector<sample_data::Sample> files;
    for (int i = 0; i < 4500; i++) {
        char name[32];
        snprintf(name, sizeof name, "m%05d.txt", i);
        files.push_back({name, bytes_of(std::string(name) + " holds its own name " + std::to_string(i % 7 * i))});
    }
    return files;
}

}  // namespace

TEST(YmwPack, ArchiveOfAFolderExtractsToItsFilesWithEveryDecoder)
{
    const std::pair<const char*, std::vector<sample_data::Sample>> folders[] = {
        {"samples under names of every kind", named_samples()},
        {"4,500 files", many_files()},
    };
    for (const auto& [what, files] : folders) {
        SCOPED_TRACE(what);
        TempWorkspace w;
        mkdir("in", 0755);
        Bytes all;
        for (const sample_data::Sample& f : files) {
            write_file("in/" + f.name, f.data);
            all.insert(all.end(), f.data.begin(), f.data.end());
        }

        const ProgramRun packed = pack("ymw.lz_ in");
        ASSERT_EQ(packed.code, 0) << packed.err;
        EXPECT_EQ(std::count(packed.err.begin(), packed.err.end(), '\n'), static_cast<long>(files.size()));
        const ProgramRun tested_here = pack("-t ymw.lz_");
        EXPECT_EQ(tested_here.code, 0) << tested_here.err;
        EXPECT_NE(tested_here.out.find("ymw.lz_: " + std::to_string(files.size()) + " members OK\n"), std::string::npos);

        // The installer's extraction: in folder order, every file as it was.
        mkdir("out", 0755);
        strcpy(install_directory, "out\\");
        std::string listing;
        for (const sample_data::Sample& f : files)
            listing += on_console("\t" + cp932_of(f.name) + "\n");
        EXPECT_EQ(capture_console([] { extract_archive("ymw.lz_", "*"); }), listing + on_console("[ EOF ]\n"));
        EXPECT_EQ(folder_entries("out").size(), files.size());
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
        const std::string classes = JAVA_CLASSES_DIR;
        ASSERT_TRUE(file_exists(classes + "/ArchiveReader.class"))
            << "the reader was not compiled with the tests; is a JDK (default-jdk-headless) installed? "
               "(configure the build again once it is)";
        mkdir("java-out", 0755);
        const ProgramRun reader =
            run("java -cp " + quoted(classes + ":" + JLHA_JAR) + " ArchiveReader ymw.lz_ java-out");
        ASSERT_EQ(reader.code, 0) << reader.err;
        EXPECT_EQ(std::count(reader.out.begin(), reader.out.end(), '\n'), static_cast<long>(files.size()));
        EXPECT_EQ(reader.out.find("crc bad"), std::string::npos) << reader.out;
        for (size_t i = 0; i < files.size(); i++) {
            SCOPED_TRACE(files[i].name);
            EXPECT_TRUE(read_file("java-out/" + std::to_string(i)) == files[i].data);
        }
    }
}

TEST(YmwPack, StoresWhatCompressingDoesNotShrinkUnlessAMethodIsForced)
{
    struct Case {
        const char* option;
        const char* file;
        Bytes data;
        const char* method;
        const char* member = nullptr;  // the member's name in UTF-8, where it is not the file's
        const char* cp932 = nullptr;   // the name's bytes in the header, where they are not ASCII
    };
    const Case cases[] = {
        {"", "text.txt", sample_data::text(21, 20000), "-lh1-"},
        {"", "noise.bin", sample_data::noise(22, 20000), "-lh0-"},
        {"", "empty.txt", Bytes{}, "-lh0-"},
        {"--method lh1", "noise.bin", sample_data::noise(23, 20000), "-lh1-"},
        {"--method lh1", "empty.txt", Bytes{}, "-lh1-"},
        {"--method lh0", "text.txt", sample_data::text(24, 20000), "-lh0-"},
        // A name stored decomposed (か and U+3099), as some systems store
        // names, is packed composed: the installer writes が.txt.
        {"", "\xE3\x81\x8B\xE3\x82\x99.txt", bytes_of("kana"), "-lh0-", "\xE3\x81\x8C.txt", "\x82\xAA.txt"},
        // A name that code page 932 holds as it is keeps its characters,
        // which composing would change: the Angstrom sign U+212B (not Å
        // U+00C5, which code page 932 lacks), the IBM extension U+FA10 (not
        // U+585A, another character's bytes), as a game opens them.
        {"", "\xE2\x84\xAB.txt", bytes_of("angstrom"), "-lh0-", nullptr, "\x81\xF0.txt"},
        {"", "\xEF\xA8\x90.txt", bytes_of("tsuka"), "-lh0-", nullptr, "\xFA\x9C.txt"},
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
        const std::string member = c.member != nullptr ? c.member : c.file;
        EXPECT_EQ(headers[0].name, c.cp932 != nullptr ? c.cp932 : member);
        EXPECT_EQ(capture_console([] { extract_archive("ymw.lz_", "*"); }),
                  on_console("\t" + headers[0].name + "\n[ EOF ]\n"));
        EXPECT_TRUE(read_file("out/" + member) == c.data);
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
        std::vector<std::pair<std::string, Bytes>> files;  // made in "in/"; a name ending in / is a folder
        std::string command;                                // after ymw-pack; "" for "ymw.lz_ in"
        int code;
        std::string message;
    };
    const Bytes small = bytes_of("data");
    const Bytes noise = sample_data::noise(8, 4096);
    // An archive that a packer may replace, as the archive path of a row.
    Bytes old_archive;
    append_member(old_archive, stored_member("old.txt", bytes_of("old archive")));
    append_end(old_archive);
    const std::vector<Case> cases = {
        {"name outside code page 932", {{"in/\xF0\x9F\x90\x89.txt", small}}, "", 1, "does not convert"},
        {"name outside code page 932 once composed", {{"in/e\xCC\x81.txt", small}}, "", 1, "does not convert"},
        {"name of 234 bytes", {{"in/" + std::string(230, 'n') + ".txt", small}}, "", 1, "longer than 233 bytes"},
        {"ASCII twins", {{"in/a/Guide.txt", small}, {"in/b/GUIDE.TXT", small}}, "ymw.lz_ in/a in/b", 1,
         "names that Windows takes for the same file"},
        {"fullwidth twins", {{"in/\xEF\xBC\xA1.txt", small}, {"in/\xEF\xBD\x81.txt", small}}, "", 1,
         "names that Windows takes for the same file"},
        {"Greek twins", {{"in/\xCE\x91.txt", small}, {"in/\xCE\xB1.txt", small}}, "", 1,
         "names that Windows takes for the same file"},
        {"one file twice", {{"in/same.txt", small}}, "ymw.lz_ in/same.txt in/same.txt", 1, "the same member name twice"},
        {"a folder without files", {{"in/a/", {}}}, "ymw.lz_ in/a", 1, "no file to pack"},
        {"a folder in a folder", {{"in/a/x.txt", small}}, "", 1, "the installer makes no folders"},
        {"a colon in a name", {{"in/a:b.txt", small}}, "", 1, "does not allow"},
        {"a device name", {{"in/Nul.txt", small}}, "", 1, "takes for a device"},
        {"a file the installer writes", {{"in/YAMAWYRM.BAT", small}}, "", 1, "the installer writes itself"},
        {"COM1", {{"in/com1", small}}, "", 1, "takes for a device"},
        {"a dot at the end", {{"in/readme.", small}}, "", 1, "ending in a dot or a blank"},
        {"a blank at the end", {{"in/readme ", small}}, "", 1, "ending in a dot or a blank"},
        {"missing file", {}, "ymw.lz_ in/missing.txt", 1, "cannot read in/missing.txt: No such file or directory"},
        {"a FIFO", {{"in/fifo", {}}}, "", 1, "not a regular file"},
        {"the archive is an input", {{"in/x.txt", old_archive}}, "in/x.txt in/x.txt", 1, "is one of the files to pack"},
        {"the archive is an input by another name", {{"in/x.txt", old_archive}}, "in/hard-link in/x.txt", 1,
         "is one of the files to pack"},
        {"the archive's name forgotten", {{"in/guide.txt", small}, {"in/license.txt", small}},
         "in/guide.txt in/license.txt", 2, "ymw-pack: in/guide.txt: not an archive; refusing to overwrite it\n"},
        {"the archive's name forgotten before an icon", {{"in/icon.ico", Bytes{0, 0, 1, 0, 1, 0}}, {"in/x.txt", small}},
         "in/icon.ico in/x.txt", 2, "ymw-pack: in/icon.ico: not an archive; refusing to overwrite it\n"},
        {"a control character in a name", {{"in/x\x1b[2K\rOK.txt", small}}, "", 1,
         "allow in file names: in/x\\x1b[2K\\x0dOK.txt\n"},
        {"a C1 control character in a name", {{"in/e\xC2\x85.txt", small}}, "", 1,
         "name does not convert to code page 932: in/e\\x85.txt\n"},
        {"a name that is not UTF-8", {{"in/e\x9b\x32J.txt", small}}, "", 1, ": in/e\\x9b2J.txt\n"},
        {"unknown method", {{"in/x.txt", small}}, "--method lh5 ymw.lz_ in/x.txt", 2, "unknown method"},
        {"two modes", {{"in/x.txt", small}}, "-l -t ymw.lz_", 2, "one mode at a time: -l and -t"},
        {"two modes in one word", {{"in/x.txt", small}}, "-lt ymw.lz_", 2, "one mode at a time: -l and -t"},
        {"a method for a listing", {{"in/x.txt", small}}, "--method lh0 -l ymw.lz_", 2, "--method is for packing: -l"},
        {"standard input to list", {}, "-l -", 2, "standard input is not read"},
        {"standard input to pack", {{"in/x.txt", small}}, "ymw.lz_ in/x.txt -", 2, "standard input is not read"},
        {"unknown option", {{"in/x.txt", small}}, "-x ymw.lz_ in/x.txt", 2, "unknown option: -x"},
        {"unknown long option", {{"in/x.txt", small}}, "--fast ymw.lz_ in/x.txt", 2, "unknown option: --fast"},
        {"standard output", {{"in/x.txt", small}}, "- in/x.txt", 2, "not standard output"},
        {"no files", {}, "ymw.lz_", 2, "at least one file"},
        {"a bad SOURCE_DATE_EPOCH", {{"in/x.txt", small}}, "ymw.lz_ in/x.txt", 2, "SOURCE_DATE_EPOCH"},
        {"an option after the archive", {{"in/x.txt", small}}, "ymw.lz_ -q in/x.txt", 2,
         "an option after the archive; options come first, -- before a file named with a dash: -q"},
        {"--method after the files", {{"in/x.txt", small}}, "ymw.lz_ in/x.txt --method", 2, "an option after"},
        {"--method at the end", {{"in/x.txt", small}}, "--method", 2, "--method needs a method"},
        {"an archive without a name", {{"in/x.txt", small}}, "'' in/x.txt", 2, "the archive needs a name"},
        {"a file size limit", {{"in/noise.bin", noise}}, "ymw.lz_ in/noise.bin", 1, "cannot write ymw.lz_: File too large"},
        {"no folder for the archive", {{"in/x.txt", small}}, "nowhere/ymw.lz_ in/x.txt", 1,
         "cannot create a file beside nowhere/ymw.lz_: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempWorkspace w;
        make_folders(w.root, "in");
        for (const auto& f : c.files) {
            const std::string folder = f.first.substr(0, f.first.rfind('/'));
            make_folders(w.root, folder.c_str());
            if (f.first == "in/fifo")
                mkfifo("in/fifo", 0644);
            else if (f.first.back() != '/')
                write_file(f.first, f.second);
        }
        if (file_exists("in/x.txt"))
            ASSERT_EQ(link("in/x.txt", "in/hard-link"), 0);
        write_file("ymw.lz_", old_archive);
        const std::string epoch = strstr(c.what, "SOURCE_DATE_EPOCH") != nullptr ? "SOURCE_DATE_EPOCH=12x " : "";
        // 512 bytes at most per file: the archive outgrows it while written.
        const std::string limit = strstr(c.what, "size limit") != nullptr ? "ulimit -f 1; " : "";
        const std::string command = c.command.empty() ? "ymw.lz_ in" : c.command;
        const ProgramRun r = run(limit + epoch + quoted(YMW_PACK) + " " + command);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(read_file("ymw.lz_") == old_archive);
        for (const auto& f : c.files)
            if (f.first.back() != '/' && f.first != "in/fifo")
                EXPECT_TRUE(read_file(f.first) == f.second) << f.first;
        const std::vector<std::string> left = folder_entries(".");
        EXPECT_EQ(left.size(), 3u) << "only in, prefix and ymw.lz_ may remain";
    }
}

namespace {

// One member of an archive that libjlha-java wrote at build time, as
// tests/packer/java/level_archives.txt gives it.
struct MadeMember {
    std::string name;  // UTF-8, "/" before a folder's name, or after a folder's for its entry (-lhd-)
    int level;
    bool unix_time;    // a Unix time besides the level's own stamp
    std::string method;
    std::string input;  // below tests/data
    time_t stamp;
};

std::map<std::string, std::vector<MadeMember>> made_archives()
{
    std::map<std::string, std::vector<MadeMember>> archives;
    std::ifstream list(LEVEL_ARCHIVES_LIST);
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> field;
        std::istringstream fields(line);
        for (std::string f; std::getline(fields, f, '\t');)
            field.push_back(f);
        archives[field[0]].push_back({field[3], std::stoi(field[1]), field[1].back() == 'u', field[2], field[4],
                                      std::stol(field[5])});
    }
    return archives;
}

// A member's line of a listing, split into its columns.
struct ListedLine {
    std::string size, packed, method, crc, date, time, marks, name;
};

// The member lines of `ymw-pack -l`: from the line after the heading up to
// the total line.
std::vector<ListedLine> listed_lines(const std::string& out)
{
    std::vector<ListedLine> lines;
    std::istringstream in(out);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line) && line.find(" member") == std::string::npos) {
        ListedLine l;
        std::string ratio;
        std::istringstream columns(line);
        columns >> l.size >> l.packed >> ratio >> l.method >> l.crc >> l.date >> l.time >> std::ws;
        std::getline(columns, l.name);
        if (l.name[0] == '*') {
            l.marks = l.name.substr(0, l.name.find(' '));
            l.name = l.name.substr(l.name.find_first_not_of(' ', l.marks.size()));
        }
        lines.push_back(l);
    }
    return lines;
}

// The member lines of `lhasa v` ("[system] packed size ratio method crc
// month day year name", or the time for a recent stamp; the mode and
// "owner/group" for "[system]" where the header has them).
struct LhasaLine {
    std::string packed, size, method, crc, month, day, year, name;
};

std::vector<LhasaLine> lhasa_lines(const std::string& out)
{
    std::vector<LhasaLine> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t owner_at = line.find_first_not_of(' ', 10);
        const bool has_mode = line.size() > 10 && (line[0] == '-' || line[0] == 'd') && line[10] == ' ' &&
                              owner_at != std::string::npos && line.find('/', owner_at) < line.find(' ', owner_at);
        if (line.empty() || (line[0] != '[' && !has_mode))
            continue;
        LhasaLine l;
        std::string system, owner, ratio;
        std::istringstream columns(line);
        columns >> system;
        if (has_mode)
            columns >> owner;
        columns >> l.packed >> l.size >> ratio >> l.method >> l.crc >> l.month >> l.day >> l.year >>
            std::ws;
        std::getline(columns, l.name);
        lines.push_back(l);
    }
    return lines;
}

// The notes of a listing by their numbers: "*1 text".
std::map<std::string, std::string> listed_notes(const std::string& out)
{
    std::map<std::string, std::string> notes;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line[0] == '*')
            notes[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
    return notes;
}

}  // namespace

TEST(YmwPack, ListsAndTestsWhatItPackedAndNamesTheDamagedMember)
{
    TempWorkspace w;
    mkdir("in", 0755);
    write_file("in/a.txt", sample_data::text(5, 3000));
    write_file("in/\xE3\x81\x9B\xE3\x82\x8A\xE3\x81\xB5.txt", sample_data::noise(6, 100));
    ASSERT_EQ(pack("-q ymw.lz_ in").code, 0);
    const std::vector<Header> headers = headers_of(read_file("ymw.lz_"));
    ASSERT_EQ(headers.size(), 2u);

    const ProgramRun listed = pack("-l ymw.lz_");
    EXPECT_EQ(listed.code, 0) << listed.err;
    char row[128];
    snprintf(row, sizeof row, "%10u %10u", headers[0].unpacked_size, headers[0].packed_size);
    EXPECT_NE(listed.out.find(std::string(row) + " "), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("-lh1-"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("-lh0-  "), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\xE3\x81\x9B\xE3\x82\x8A\xE3\x81\xB5.txt\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("2 members"), std::string::npos) << listed.out;
    const ProgramRun tested = pack("-t ymw.lz_");
    EXPECT_EQ(tested.code, 0) << tested.err;
    EXPECT_EQ(pack("-tq ymw.lz_").out, "");

    // A byte changed in the second member's data.
    Bytes damaged = read_file("ymw.lz_");
    damaged[damaged.size() - 10] ^= 0x55;
    write_file("damaged.lz_", damaged);
    const ProgramRun bad = pack("-t damaged.lz_");
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.err, "ymw-pack: damaged.lz_: \xE3\x81\x9B\xE3\x82\x8A\xE3\x81\xB5.txt: CRC mismatch, the member is damaged\n"
                       "ymw-pack: damaged.lz_: 1 of 2 members failed the test\n");
    damaged.resize(damaged.size() / 2);
    write_file("cut.lz_", damaged);
    EXPECT_EQ(pack("-l cut.lz_").code, 1);

    // What a distributor may hand to -l and -t, read as the installer
    // reads it: files that are no archive, members that the installer
    // refuses, loses to a later member, overwrites or renames, and names
    // that would steer a terminal, shown escaped.
    struct Case {
        const char* what;
        Bytes archive;
        std::vector<std::vector<std::string>> notes;  // each member's notes in the listing
        std::string test_err;                         // "" where the test passes
        std::string test_out = "";                    // a line that the test's output holds
    };
    const auto archive_of = [](std::vector<TestMember> members) {
        Bytes archive;
        for (const TestMember& m : members)
            append_member(archive, m);
        append_end(archive);
        return archive;
    };
    const auto member = [](const std::string& name) { return stored_member(name, bytes_of(name + " data")); };
    TestMember damaged_member = member("x\x1b[2K\rgood.txt  OK");
    damaged_member.crc = 0x1234;
    damaged_member.crc_set = true;
    Bytes padded{0};
    padded.resize(128, 0x1A);
    Bytes text = bytes_of("This text is long enough to fill a header of any level, and then some.\n");
    const std::string not_archive = "ymw-pack: x.lz_: not an LHA archive\n";
    const std::string lost = "lost: a later member of this name, in this spelling or another, is written over it";
    const std::string refused = "a name that the installer refuses to create";
    const std::vector<Case> cases = {
        {"an icon", {0, 0, 1, 0, 1, 0, 16, 16, 16, 0, 0, 0, 40, 1, 0, 0, 22, 0, 0, 0, 40, 0}, {}, not_archive},
        {"a text", text, {}, not_archive},
        {"a zip", bytes_of("PK\x03\x04\x14\x00\x00\x00\x08\x00 and the rest of a zip's first header"), {}, not_archive},
        {"a program", bytes_of("MZ\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xff\xff\x00\x00 and its stub"), {}, not_archive},
        {"an empty file", {}, {}, not_archive},
        {"an end marker, then data", {0, 0x1A, 'x'}, {}, not_archive},
        {"an end marker padded with 0x1A", padded, {}, ""},
        {"an end marker padded with zeros", Bytes(128, 0), {}, ""},
        {"two spellings of one name", archive_of({member("A.txt"), member("a.txt")}), {{lost}, {}},
         "ymw-pack: x.lz_: A.txt: " + lost + "\nymw-pack: x.lz_: 1 of 2 members failed the test\n"},
        {"one name twice", archive_of({member("a.txt"), member("b.txt"), member("a.txt")}), {{lost}, {}, {}},
         "ymw-pack: x.lz_: a.txt: " + lost + "\nymw-pack: x.lz_: 1 of 3 members failed the test\n"},
        {"the installer's own files", archive_of({member("WYRMHOLD.CNF"), member("yamawyrm.bat")}),
         {{"overwritten: the installer writes a file of its own under this name"},
          {"overwritten: the installer writes a file of its own under this name"}},
         "ymw-pack: x.lz_: WYRMHOLD.CNF: overwritten: the installer writes a file of its own under this name\n"
         "ymw-pack: x.lz_: yamawyrm.bat: overwritten: the installer writes a file of its own under this name\n"
         "ymw-pack: x.lz_: 2 of 2 members failed the test\n"},
        {"a name that Windows changes, and the name it becomes", archive_of({member("bad name"), member("bad name. ")}),
         {{lost}, {"created as \"bad name\": Windows drops the dots and blanks at the end of a name"}},
         "ymw-pack: x.lz_: bad name: " + lost +
             "\nymw-pack: x.lz_: bad name. : created as \"bad name\": Windows drops the dots and blanks at the end "
             "of a name\nymw-pack: x.lz_: 2 of 2 members failed the test\n"},
        {"names that the installer refuses",
         archive_of({member("..\\ab"), member("CON.t"), member("c:a.t"), member("\\a.tx")}),
         {{refused}, {refused}, {refused}, {refused}},
         "ymw-pack: x.lz_: ..\\ab: " + refused + "\nymw-pack: x.lz_: CON.t: " + refused +
             "\nymw-pack: x.lz_: c:a.t: " + refused + "\nymw-pack: x.lz_: \\a.tx: " + refused +
             "\nymw-pack: x.lz_: 4 of 4 members failed the test\n"},
        {"control characters in names",
         archive_of({damaged_member, member("line\nforged"), member("\x1b]0;title\x07t"), member("del\x7f.txt")}),
         {{refused}, {refused}, {refused}, {}},
         "ymw-pack: x.lz_: x\\x1b[2K\\x0dgood.txt  OK: CRC mismatch, the member is damaged\n"
         "ymw-pack: x.lz_: x\\x1b[2K\\x0dgood.txt  OK: " + refused + "\n"
         "ymw-pack: x.lz_: line\\x0aforged: " + refused + "\n"
         "ymw-pack: x.lz_: \\x1b]0;title\\x07t: " + refused + "\n"
         "ymw-pack: x.lz_: 3 of 4 members failed the test\n",
         "del\\x7f.txt  OK\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_file("x.lz_", c.archive);
        const bool is_archive = c.test_err != not_archive;
        const ProgramRun listed = pack("-l x.lz_");
        EXPECT_EQ(listed.code, is_archive ? 0 : 1);
        EXPECT_EQ(listed.err, is_archive ? "" : not_archive);
        const std::vector<ListedLine> lines = listed_lines(listed.out);
        const std::map<std::string, std::string> notes = listed_notes(listed.out);
        ASSERT_EQ(lines.size(), c.notes.size()) << listed.out;
        for (size_t i = 0; i < lines.size(); i++) {
            std::vector<std::string> told;
            std::istringstream marks(lines[i].marks.empty() ? "" : lines[i].marks.substr(1));
            for (std::string number; std::getline(marks, number, ',');)
                told.push_back(notes.count("*" + number) ? notes.at("*" + number) : "no note *" + number);
            EXPECT_EQ(told, c.notes[i]) << listed.out;
        }
        const ProgramRun tested = pack("-t x.lz_");
        // Nothing but the line feeds is a control character.
        for (const std::string* out : {&listed.out, &listed.err, &tested.out, &tested.err}) {
            const bool raw = std::any_of(out->begin(), out->end(), [](char ch) {
                return (static_cast<unsigned char>(ch) < 0x20 && ch != '\n') || ch == '\x7f';
            });
            EXPECT_FALSE(raw) << *out;
        }
        EXPECT_EQ(tested.code, c.test_err.empty() ? 0 : 1);
        EXPECT_EQ(tested.err, c.test_err);
        if (c.test_err.empty())
            EXPECT_EQ(tested.out, "x.lz_: " + std::to_string(c.notes.size()) + " members OK\n");
        EXPECT_NE(tested.out.find(c.test_out), std::string::npos) << tested.out;
    }

    // With standard error closed, its lines go nowhere, not into the
    // archive.
    ASSERT_EQ(run("(" + quoted(YMW_PACK) + " closed.lz_ in 2>&-)").code, 0);
    EXPECT_EQ(pack("-t closed.lz_").code, 0);

    // A listing that cannot be written is a failure.
    const ProgramRun full = run("(" + quoted(YMW_PACK) + " -l ymw.lz_ >/dev/full)");
    EXPECT_EQ(full.code, 1);
    EXPECT_EQ(full.err, "ymw-pack: cannot write to standard output: No space left on device\n");
}

TEST(YmwPack, ListsAndTestsArchivesOfEveryHeaderLevelAndMethodAsLhasaDoes)
{
    const std::map<std::string, std::vector<MadeMember>> archives = made_archives();
    ASSERT_EQ(archives.size(), 11u) << "levels 0, 1, 2 by -lh0-, -lh1-, -lh5-; levels 0 and 1 with Unix times";
    for (const auto& [archive, members] : archives) {
        const std::string path = std::string(LEVEL_ARCHIVES_DIR) + "/" + archive;
        ASSERT_TRUE(file_exists(path)) << path << " was not made at build time; is a JDK installed?";
        // The stamps in UTC, and where Japan is nine hours ahead: only a
        // Unix time (of level 2, or added to levels 0 and 1) is a moment of
        // its own, shown in local time.
        for (const char* zone : {"UTC0", "JST-9"}) {
            SCOPED_TRACE(archive + " in " + zone);
            const std::string tz = std::string("TZ=") + zone + " ";
            const ProgramRun listed = run(tz + quoted(YMW_PACK) + " -l " + quoted(path));
            EXPECT_EQ(listed.code, 0) << listed.err;
            EXPECT_EQ(listed.err, "");
            const ProgramRun lhasa = run(tz + "lhasa v " + quoted(path));
            const std::vector<ListedLine> ours = listed_lines(listed.out);
            const std::vector<LhasaLine> theirs = lhasa_lines(lhasa.out);
            ASSERT_EQ(ours.size(), members.size()) << listed.out;
            ASSERT_EQ(theirs.size(), members.size()) << lhasa.out;
            const std::map<std::string, std::string> notes = listed_notes(listed.out);
            for (size_t i = 0; i < members.size(); i++) {
                const MadeMember& m = members[i];
                SCOPED_TRACE(m.name);
                EXPECT_EQ(ours[i].size, theirs[i].size);
                const size_t size = m.input == "-" ? 0 : read_file(std::string(TEST_DATA_DIR) + "/" + m.input).size();
                EXPECT_EQ(ours[i].size, std::to_string(size));
                EXPECT_EQ(ours[i].packed, theirs[i].packed);
                EXPECT_EQ(ours[i].method, m.method);
                EXPECT_EQ(ours[i].method, theirs[i].method);
                EXPECT_EQ(ours[i].crc, theirs[i].crc);
                // lhasa takes the 0x5C in a double-byte character for a
                // separator: its names are compared where they are ASCII.
                std::string name = m.name;
                std::replace(name.begin(), name.end(), '/', '\\');
                EXPECT_EQ(ours[i].name, name);
                if (std::all_of(m.name.begin(), m.name.end(), [](unsigned char c) { return c < 0x80; }))
                    EXPECT_EQ(theirs[i].name, m.name);
                // The date as lhasa shows an old one, the minute as it was
                // written: MS-DOS stamps as libjlha-java wrote them (in UTC),
                // a Unix time in this zone.
                tm when{};
                setenv("TZ", zone, 1);
                tzset();
                if (m.level == 2 || m.unix_time)
                    localtime_r(&m.stamp, &when);
                else
                    gmtime_r(&m.stamp, &when);
                unsetenv("TZ");
                tzset();
                char date[16], minute[8], lhasa_date[32];
                strftime(date, sizeof date, "%Y-%m-%d", &when);
                strftime(minute, sizeof minute, "%H:%M", &when);
                strftime(lhasa_date, sizeof lhasa_date, "%b %e %Y", &when);
                EXPECT_EQ(ours[i].date, date);
                EXPECT_EQ(ours[i].time, minute);
                std::istringstream lhasa_when(lhasa_date);
                std::string month, day, year;
                lhasa_when >> month >> day >> year;
                EXPECT_EQ(theirs[i].month + " " + theirs[i].day + " " + theirs[i].year, month + " " + day + " " + year);
                // Each thing that keeps the installer from extracting it,
                // marked and told in a note.
                std::vector<std::string> expected;
                if (m.level != 0)
                    expected.push_back("a level-" + std::to_string(m.level) +
                                       " header, which the installer does not read");
                if (m.method == "-lh5-")
                    expected.push_back("method -lh5-, which the installer does not extract");
                if (m.method == "-lhd-")
                    expected.push_back("a folder, which the installer does not make");
                else if (m.name.find('/') != std::string::npos)
                    expected.push_back("a name in a folder, which the installer does not make");
                std::vector<std::string> told;
                std::istringstream marks(ours[i].marks.empty() ? "" : ours[i].marks.substr(1));
                for (std::string number; std::getline(marks, number, ',');)
                    told.push_back(notes.count("*" + number) ? notes.at("*" + number) : "no note *" + number);
                EXPECT_EQ(told, expected) << listed.out;
            }
        }

        // The test decodes what the installer's decoder can, says of the
        // rest that it cannot test it, of a folder that it is one, and
        // calls nothing damaged; lhasa finds every member intact. A test
        // that fails ends with how many members failed.
        SCOPED_TRACE(archive);
        EXPECT_EQ(run("lhasa t " + quoted(path)).code, 0);
        const ProgramRun tested = pack("-t " + quoted(path));
        std::string oks;
        std::string failures;
        int failed = 0;
        for (const MadeMember& m : members) {
            std::string name = m.name;
            std::replace(name.begin(), name.end(), '/', '\\');
            const std::string line = "ymw-pack: " + path + ": " + name + ": ";
            if (m.method == "-lh5-")
                failures += line + "cannot test: method -lh5-\n";
            else if (m.method != "-lhd-")
                oks += name + "  OK\n";
            if (m.level != 0)
                failures += line + "a level-" + std::to_string(m.level) + " header, which the installer does not read\n";
            if (m.method == "-lhd-")
                failures += line + "a folder, which the installer does not make\n";
            else if (m.name.find('/') != std::string::npos)
                failures += line + "a name in a folder, which the installer does not make\n";
            failed += m.level != 0 || m.method == "-lh5-" || m.method == "-lhd-" ? 1 : 0;
        }
        if (failed > 0)
            failures += "ymw-pack: " + path + ": " + std::to_string(failed) + " of " + std::to_string(members.size()) +
                        " members failed the test\n";
        EXPECT_EQ(tested.err, failures);
        EXPECT_EQ(tested.out, oks + (failed == 0 ? path + ": " + std::to_string(members.size()) + " members OK\n" : ""));
        EXPECT_EQ(tested.code, failed == 0 ? 0 : 1);
        EXPECT_EQ(tested.err.find("damaged"), std::string::npos);

        // A byte changed in the first header fails its checksum (levels 0
        // and 1) or its header CRC (level 2); an archive cut short ends
        // before its end marker. Neither is listed as if it were whole.
        TempWorkspace w;
        Bytes changed = read_file(path);
        // A letter of the first name: in the base header of levels 0 and
        // 1, in the name's extended header of level 2.
        changed[members[0].level == 2 ? 33 : 24] ^= 0x20;
        write_file("changed.lzh", changed);
        const ProgramRun bad_header = pack("-l changed.lzh");
        EXPECT_EQ(bad_header.code, 1);
        EXPECT_EQ(bad_header.err, std::string("ymw-pack: changed.lzh: ") +
                                      (members[0].level == 2 ? "header CRC error" : "header checksum error") +
                                      " after 0 members\n");
        Bytes cut = read_file(path);
        cut.resize(cut.size() - 1);
        write_file("cut.lzh", cut);
        const ProgramRun ended = pack("-l cut.lzh");
        EXPECT_EQ(ended.code, 1);
        EXPECT_EQ(ended.err, "ymw-pack: cut.lzh: the archive ends before its end marker after " +
                                 std::to_string(members.size()) + " members\n");
    }
}

TEST(YmwPack, AnInterruptLeavesNeitherArchiveNorTemporaryFile)
{
    TempWorkspace w;
    write_file("noise.bin", sample_data::noise(7, (16u << 20) - 1));
    ASSERT_EQ(symlink("victim", "ymw.lz_"), 0);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) {
        SCOPED_TRACE(signal_number);
        const pid_t child = fork();
        if (child == 0) {
            signal(signal_number, SIG_DFL);
            execl(YMW_PACK, YMW_PACK, "--method", "lh1", "ymw.lz_", "noise.bin", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Once the archive is being written beside ymw.lz_.
        for (int i = 0; i < 500 && !holds_new_file_in(child, current_directory()); i++)
            usleep(10000);
        EXPECT_TRUE(holds_new_file_in(child, current_directory())) << "the packer never began its archive";
        kill(child, signal_number);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
        EXPECT_EQ(folder_entries(".").size(), 3u) << "only prefix, noise.bin and the link ymw.lz_ may remain";
    }
    // A signal ignored by whoever started the packer (nohup) stays ignored.
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGHUP, SIG_IGN);
        execl(YMW_PACK, YMW_PACK, "-q", "ymw.lz_", "noise.bin", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 500 && !holds_new_file_in(child, current_directory()); i++)
        usleep(10000);
    kill(child, SIGHUP);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(headers_of(read_file("ymw.lz_")).size(), 1u);

    // A finished archive replaces the link; its target is never written.
    write_file("small.txt", bytes_of("small"));
    ASSERT_EQ(pack("ymw.lz_ small.txt").code, 0);
    EXPECT_FALSE(file_exists("victim"));
    EXPECT_EQ(headers_of(read_file("ymw.lz_")).size(), 1u);

    // An archive written into the folder that it packs, beside it under a
    // name of its own (as where a file cannot be made unnamed), holds the
    // folder's files and not itself; once it stands there, it is one of
    // them and is refused.
    make_folders(w.root, "game");
    write_file("game/a.txt", bytes_of("a"));
    write_file("game/b.txt", bytes_of("b"));
    const std::string named = std::string("LD_PRELOAD=") + SYSTEM_FAULTS_LIBRARY +
                              " REFUSE_UNNAMED=files ASAN_OPTIONS=verify_asan_link_order=0 ";
    ASSERT_EQ(run(named + quoted(YMW_PACK) + " -q game/ymw.lz_ game").code, 0);
    const std::vector<Header> inside = headers_of(read_file("game/ymw.lz_"));
    ASSERT_EQ(inside.size(), 2u);
    EXPECT_EQ(inside[0].name + " " + inside[1].name, "a.txt b.txt");
    EXPECT_NE(pack("game/ymw.lz_ game").err.find("is one of the files to pack"), std::string::npos);
}

TEST(YmwPack, TellsItsVersionAndUsage)
{
    TempWorkspace w;
    for (const char* option : {"--help", "-h"}) {
        const ProgramRun r = pack(option);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("Usage: ymw-pack", 0), 0u) << r.out;
    }
    // A long option may be shortened, as getopt_long takes it.
    for (const char* option : {"--version", "--vers"}) {
        const ProgramRun version = pack(option);
        EXPECT_EQ(version.code, 0);
        EXPECT_EQ(version.out, std::string("ymw-pack ") + YAMAWYRM_VERSION + "\n");
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
