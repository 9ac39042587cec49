// tests/installer/extraction_test.cpp: archive reading and member extraction:
// selection, every fault line, and where the next header is read after each
// kind of member.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "installer/extraction.h"
#include "installer/run_state.h"
#include "lha/extract.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

namespace {

// A fresh temporary folder as the current directory, with the install
// directory "out\" inside it and the archive written as ymw.lz_.
struct Workspace : TempWorkspace {
    Workspace()
    {
        mkdir((root + "/out").c_str(), 0755);
        strcpy(install_directory, "out\\");
    }
    std::string extract(const Bytes& archive, const char* pattern = "*")
    {
        write_file(root + "/ymw.lz_", archive);
        return capture_console([&] { extract_archive("ymw.lz_", pattern); });
    }
    std::string out(const std::string& name) const { return root + "/out/" + name; }
    Bytes file(const std::string& name) const { return read_file(out(name)); }
};

Bytes archive_of(const std::vector<TestMember>& members, bool end_marker = true)
{
    Bytes archive;
    for (const TestMember& m : members)
        append_member(archive, m);
    if (end_marker)
        append_end(archive);
    return archive;
}

const Bytes ALPHA = bytes_of("alpha\r\ncontents\r\n");
const Bytes BETA = bytes_of("beta");

}  // namespace

TEST(ExtractArchive, EndMarkerAloneExtractsNothing)
{
    Workspace w;
    EXPECT_EQ(w.extract(Bytes{0}), "[ EOF ]\n");
}

TEST(ExtractArchive, EmptyFileEndsAsAChecksumError)
{
    Workspace w;
    EXPECT_EQ(w.extract(Bytes{}), "Error: Header sum error\n");
}

TEST(ExtractArchive, StoredMembersAreWrittenInArchiveOrder)
{
    Workspace w;
    const std::string printed = w.extract(archive_of({stored_member("alpha.txt", ALPHA), stored_member("beta.bin", BETA)}));
    EXPECT_EQ(printed, "\talpha.txt\n\tbeta.bin\n[ EOF ]\n");
    EXPECT_EQ(w.file("alpha.txt"), ALPHA);
    EXPECT_EQ(w.file("beta.bin"), BETA);
}

TEST(ExtractArchive, PatternSelection)
{
    struct Case {
        const char* pattern;
        const char* printed;
        bool alpha;
        bool beta;
    };
    const Case cases[] = {
        {"*", "\tALPHA.txt\n\tbeta.bin\n[ EOF ]\n", true, true},
        {"*.*", "\tALPHA.txt\n\tbeta.bin\n[ EOF ]\n", true, true},
        // Case folds both ways; the file keeps the archive's spelling.
        {"alpha.TXT", "\tALPHA.txt\n[ EOF ]\n", true, false},
        {"BETA.BIN", "\tbeta.bin\n[ EOF ]\n", false, true},
        // No other wildcard form exists.
        {"*.bin", "[ EOF ]\n", false, false},
        {"beta.bi", "[ EOF ]\n", false, false},
        {"nothing", "[ EOF ]\n", false, false},
    };
    for (const Case& c : cases) {
        Workspace w;
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(w.extract(archive_of({stored_member("ALPHA.txt", ALPHA), stored_member("beta.bin", BETA)}), c.pattern),
                  c.printed);
        EXPECT_EQ(file_exists(w.out("ALPHA.txt")), c.alpha);
        EXPECT_EQ(file_exists(w.out("beta.bin")), c.beta);
    }
}

TEST(ExtractArchive, CaseFoldingTouchesOnlyAsciiCapitals)
{
    Workspace w;
    // 0x83 0x41 is a double-byte character whose second byte is 'A': it is
    // folded like any other byte, so "\x83a" selects it; 0xC1 is not folded.
    const Bytes archive = archive_of({stored_member("\x83" "A.txt", ALPHA), stored_member("\xC1.txt", BETA)});
    EXPECT_EQ(w.extract(archive, "\x83" "a.TXT"), "\t\x83" "A.txt\n[ EOF ]\n");
    EXPECT_EQ(w.extract(archive, "\xE1.txt"), "[ EOF ]\n");
}

TEST(ExtractArchive, LaterMemberOfTheSameNameWins)
{
    Workspace w;
    EXPECT_EQ(w.extract(archive_of({stored_member("same.txt", ALPHA), stored_member("same.txt", BETA)})),
              "\tsame.txt\n\tsame.txt\n[ EOF ]\n");
    EXPECT_EQ(w.file("same.txt"), BETA);
}

TEST(ExtractArchive, ExtraHeaderBytesCountInTheChecksumAndAreSkipped)
{
    Workspace w;
    TestMember first = stored_member("first.txt", ALPHA);
    first.extra = {0x55, 0x00, 0xAA, 0x07};
    EXPECT_EQ(w.extract(archive_of({first, stored_member("second.txt", BETA)})), "\tfirst.txt\n\tsecond.txt\n[ EOF ]\n");
    EXPECT_EQ(w.file("first.txt"), ALPHA);
    EXPECT_EQ(w.file("second.txt"), BETA);
}

TEST(ExtractArchive, FourthByteOfASizeHasNoEffect)
{
    Workspace w;
    TestMember m = stored_member("sized.txt", ALPHA);
    m.packed_size = 0x5A000000u | static_cast<uint32_t>(ALPHA.size());
    m.packed_size_set = true;
    m.unpacked_size = 0xFF000000u | static_cast<uint32_t>(ALPHA.size());
    m.unpacked_size_set = true;
    EXPECT_EQ(w.extract(archive_of({m, stored_member("next.txt", BETA)})), "\tsized.txt\n\tnext.txt\n[ EOF ]\n");
    EXPECT_EQ(w.file("sized.txt"), ALPHA);
    EXPECT_EQ(w.file("next.txt"), BETA);
}

TEST(ExtractArchive, StoredMemberIsCopiedForItsPackedSizeAlone)
{
    Workspace w;
    TestMember m = stored_member("copy.txt", ALPHA);
    m.unpacked_size = 3;
    m.unpacked_size_set = true;
    EXPECT_EQ(w.extract(archive_of({m})), "\tcopy.txt\n[ EOF ]\n");
    EXPECT_EQ(w.file("copy.txt"), ALPHA);
}

// Stored data moves in blocks: members at and around the size of the
// archive's and the output's buffers (64 KiB), and several times it, come
// out whole, skipped members among them leave the next header in place,
// and a member cut short inside a later buffer is filled with 0xFF.
TEST(ExtractArchive, StoredMembersLargerThanTheBuffersComeOutWhole)
{
    Workspace w;
    const size_t sizes[] = {65535, 65536, 65537, 3 * 65536 + 7, 1, 200000};
    std::vector<TestMember> members;
    std::vector<Bytes> data;
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; i++) {
        Bytes bytes(sizes[i]);
        for (size_t j = 0; j < bytes.size(); j++)
            bytes[j] = static_cast<uint8_t>((j * 131 + i * 7) ^ (j >> 9));
        data.push_back(bytes);
        members.push_back(stored_member("m" + std::to_string(i) + ".bin", bytes));
    }
    const Bytes archive = archive_of(members);
    EXPECT_EQ(w.extract(archive), "\tm0.bin\n\tm1.bin\n\tm2.bin\n\tm3.bin\n\tm4.bin\n\tm5.bin\n[ EOF ]\n");
    for (size_t i = 0; i < data.size(); i++)
        EXPECT_EQ(w.file("m" + std::to_string(i) + ".bin"), data[i]) << i;

    // Every member but one skipped: the reader still meets each header.
    Workspace skipping;
    EXPECT_EQ(skipping.extract(archive, "M5.BIN"), "\tm5.bin\n[ EOF ]\n");
    EXPECT_EQ(skipping.file("m5.bin"), data[5]);

    // The last member cut 70,003 bytes into its data.
    Workspace cut;
    Bytes truncated = archive_of({members[0], members[5]}, false);
    const size_t kept = 70003;
    truncated.resize(truncated.size() - data[5].size() + kept);
    EXPECT_EQ(cut.extract(truncated), "\tm0.bin\n\tm5.bin\nError: CRC mismatch.\nError: Header sum error\n");
    Bytes expected(data[5].begin(), data[5].begin() + static_cast<long>(kept));
    expected.resize(data[5].size(), 0xFF);
    EXPECT_EQ(cut.file("m5.bin"), expected);
}

TEST(ExtractArchive, EmptyStoredMemberGivesAnEmptyFile)
{
    Workspace w;
    EXPECT_EQ(w.extract(archive_of({stored_member("empty.txt", {}), stored_member("next.txt", BETA)})),
              "\tempty.txt\n\tnext.txt\n[ EOF ]\n");
    EXPECT_TRUE(file_exists(w.out("empty.txt")));
    EXPECT_EQ(w.file("empty.txt"), Bytes{});
}

TEST(ExtractArchive, UnknownMethodLeavesAnEmptyFileAndGoesOn)
{
    struct Case {
        const char* method;
        uint16_t crc;
        const char* printed;
    };
    const Case cases[] = {
        {"-lh5-", 0x1234, "\todd.bin\nError: unknown method\nError: CRC mismatch.\n\tnext.txt\n[ EOF ]\n"},
        // The register stays 0, so a stored CRC of 0 hides the mismatch.
        {"-lh5-", 0x0000, "\todd.bin\nError: unknown method\n\tnext.txt\n[ EOF ]\n"},
        // Letter case of the method id matters.
        {"-LH0-", 0x1234, "\todd.bin\nError: unknown method\nError: CRC mismatch.\n\tnext.txt\n[ EOF ]\n"},
        {"-lz4-", 0x1234, "\todd.bin\nError: unknown method\nError: CRC mismatch.\n\tnext.txt\n[ EOF ]\n"},
    };
    for (const Case& c : cases) {
        Workspace w;
        SCOPED_TRACE(c.method);
        TestMember odd = stored_member("odd.bin", ALPHA);
        odd.method = c.method;
        odd.crc = c.crc;
        odd.crc_set = true;
        EXPECT_EQ(w.extract(archive_of({odd, stored_member("next.txt", BETA)})), c.printed);
        EXPECT_TRUE(file_exists(w.out("odd.bin")));
        EXPECT_EQ(w.file("odd.bin"), Bytes{});
        EXPECT_EQ(w.file("next.txt"), BETA);
    }
}

TEST(ExtractArchive, UnselectedMembersAreCheckedForTheirChecksumOnly)
{
    Workspace w;
    TestMember odd = stored_member("odd.bin", ALPHA);
    odd.method = "-xyz-";
    odd.crc = 0xBEEF;
    odd.crc_set = true;
    EXPECT_EQ(w.extract(archive_of({odd, stored_member("next.txt", BETA)}), "next.txt"), "\tnext.txt\n[ EOF ]\n");
    EXPECT_FALSE(file_exists(w.out("odd.bin")));
}

TEST(ExtractArchive, ChecksumErrorInTheSecondHeaderEndsTheArchive)
{
    Workspace w;
    TestMember second = stored_member("second.txt", BETA);
    second.checksum_delta = 1;
    EXPECT_EQ(w.extract(archive_of({stored_member("first.txt", ALPHA), second, stored_member("third.txt", BETA)})),
              "\tfirst.txt\nError: Header sum error\n");
    EXPECT_EQ(w.file("first.txt"), ALPHA);
    EXPECT_FALSE(file_exists(w.out("second.txt")));
    EXPECT_FALSE(file_exists(w.out("third.txt")));
}

TEST(ExtractArchive, ChangedDataIsWrittenAndReportedAndTheNextMemberFollows)
{
    Workspace w;
    TestMember changed = stored_member("changed.txt", ALPHA);
    changed.crc = reference_crc16(ALPHA);
    changed.crc_set = true;
    changed.packed[3] ^= 0x40;
    EXPECT_EQ(w.extract(archive_of({changed, stored_member("next.txt", BETA)})),
              "\tchanged.txt\nError: CRC mismatch.\n\tnext.txt\n[ EOF ]\n");
    EXPECT_EQ(w.file("changed.txt"), changed.packed);
    EXPECT_EQ(w.file("next.txt"), BETA);
}

TEST(ExtractArchive, TruncatedDataIsFilledWithOnesAndEndsTheArchive)
{
    Workspace w;
    Bytes archive = archive_of({stored_member("cut.txt", ALPHA)}, false);
    archive.resize(archive.size() - 5);
    EXPECT_EQ(w.extract(archive), "\tcut.txt\nError: CRC mismatch.\nError: Header sum error\n");
    Bytes expected(ALPHA.begin(), ALPHA.end() - 5);
    expected.insert(expected.end(), 5, 0xFF);
    EXPECT_EQ(w.file("cut.txt"), expected);
}

TEST(ExtractArchive, MissingEndMarkerEndsAsAChecksumError)
{
    Workspace w;
    EXPECT_EQ(w.extract(archive_of({stored_member("a.txt", ALPHA)}, false)), "\ta.txt\nError: Header sum error\n");
    EXPECT_EQ(w.file("a.txt"), ALPHA);
}

// A header whose H leaves the name or its CRC outside the bytes read would
// make fields come from beyond the header.
TEST(ExtractArchive, HeaderTooShortForItsFieldsEndsTheArchive)
{
    struct Case {
        const char* what;
        int header_size_delta;
    };
    const Case cases[] = {
        {"CRC outside", -2},
        {"half the CRC outside", -1},
        {"name outside", -8},
        {"name length outside", -14},
    };
    for (const Case& c : cases) {
        Workspace w;
        SCOPED_TRACE(c.what);
        TestMember bad = stored_member("bad.txt", ALPHA);
        bad.header_size_delta = c.header_size_delta;
        // Keep the checksum right over the bytes that H now covers.
        Bytes probe;
        append_member(probe, bad);
        const int size = probe[0];
        uint8_t sum = 0;
        for (int i = 2; i < size + 2; i++)
            sum = static_cast<uint8_t>(sum + probe[i]);
        Bytes archive = probe;
        archive[1] = sum;
        append_end(archive);
        EXPECT_EQ(w.extract(archive), "Error: Header damaged\n");
        EXPECT_FALSE(file_exists(w.out("bad.txt")));
    }
}

TEST(ExtractArchive, UnwritableMemberIsSkippedToTheNextHeader)
{
    Workspace w;
    // "sub\" does not exist: the member cannot be created, and its data is
    // read past so that the next header is found.
    EXPECT_EQ(w.extract(archive_of({stored_member("sub\\inner.txt", ALPHA), stored_member("next.txt", BETA)})),
              "Error: File cannot create. (sub\\inner.txt)\n\tnext.txt\n[ EOF ]\n");
    EXPECT_EQ(w.file("next.txt"), BETA);
}

TEST(ExtractArchive, EmptyNameCannotBeCreated)
{
    Workspace w;
    EXPECT_EQ(w.extract(archive_of({stored_member("", ALPHA), stored_member("next.txt", BETA)})),
              "Error: File cannot create. ()\n\tnext.txt\n[ EOF ]\n");
    EXPECT_EQ(w.file("next.txt"), BETA);
}

TEST(ExtractArchive, NamesThatLeaveTheInstallDirectoryAreNeverWritten)
{
    const std::string names[] = {
        "c:evil.txt", "C:\\evil.txt", "\\evil.txt", "/evil.txt", "..\\evil.txt", "../evil.txt",
        "sub\\..\\..\\evil.txt", "..",
        // Windows drops dots and blanks at the end of a name: these may
        // become "..".
        "...\\evil.txt", ".. \\evil.txt", "sub\\. .\\..\\evil.txt",
        // A separator at the end names a folder, not a file.
        "evil.txt\\", "sub\\evil.txt/",
        // Windows opens a device under these names, in any folder.
        "NUL", "nul.txt", "Aux .evil.txt", "sub\\com1.log", "lpt9", "CONOUT$", "con\\evil.txt",
    };
    for (const std::string& name : names) {
        Workspace w;
        SCOPED_TRACE(name);
        mkdir((w.root + "/out/sub").c_str(), 0755);
        EXPECT_EQ(w.extract(archive_of({stored_member(name, ALPHA), stored_member("next.txt", BETA)})),
                  "Error: File cannot create. (" + name + ")\n\tnext.txt\n[ EOF ]\n");
        EXPECT_FALSE(file_exists(w.root + "/evil.txt"));
        EXPECT_FALSE(file_exists(w.out("evil.txt")));
        EXPECT_FALSE(file_exists(w.out("sub/evil.txt")));
        EXPECT_EQ(w.file("next.txt"), BETA);
    }
}

TEST(ExtractArchive, NameFieldEndsAtItsFirstNulByte)
{
    // Some archivers keep a comment after a NUL in the name field; the
    // name before it passes the same checks as any name.
    Workspace w;
    const std::string name("meta.txt\0A comment.", 19);
    const std::string escape("..\\evil.txt\0x", 14);
    EXPECT_EQ(w.extract(archive_of({stored_member(name, ALPHA), stored_member(escape, BETA)})),
              "\tmeta.txt\nError: File cannot create. (..\\evil.txt)\n[ EOF ]\n");
    EXPECT_EQ(w.file("meta.txt"), ALPHA);
    EXPECT_FALSE(file_exists(w.root + "/evil.txt"));
}

TEST(ExtractArchive, NamesOnlyLikeDevicesAreFiles)
{
    Workspace w;
    for (const char* name : {"nulls.txt", "com10", "lpt0", "con_", "xaux"}) {
        EXPECT_EQ(w.extract(archive_of({stored_member(name, ALPHA)})), "\t" + std::string(name) + "\n[ EOF ]\n");
        EXPECT_EQ(w.file(name), ALPHA);
    }
}

TEST(ExtractArchive, DotsInsideNamesAndTrailBytesAreNotComponents)
{
    Workspace w;
    mkdir((w.root + "/out/sub").c_str(), 0755);
    // "..a" is an ordinary name, and a ".." made of a trail byte is none.
    EXPECT_EQ(w.extract(archive_of({stored_member("sub\\..a", ALPHA)})), "\tsub\\..a\n[ EOF ]\n");
    EXPECT_EQ(w.file("sub/..a"), ALPHA);
}

TEST(ExtractArchive, OutputPathsUpToTheLimitAreWritten)
{
    Workspace w;
    // A name holds at most 233 bytes, so a long install directory makes the
    // long path: 40 bytes of it and 215 of name are the 255 allowed.
    const std::string folder(35, 'd');
    mkdir((w.root + "/out/" + folder).c_str(), 0755);
    strcpy(install_directory, ("out\\" + folder + "\\").c_str());
    ASSERT_EQ(strlen(install_directory), 40u);
    const std::string name(MAX_OUTPUT_PATH - 40, 'f');
    EXPECT_EQ(w.extract(archive_of({stored_member(name, ALPHA)})), "\t" + name + "\n[ EOF ]\n");
    EXPECT_EQ(w.file(folder + "/" + name), ALPHA);
    EXPECT_EQ(w.extract(archive_of({stored_member(name + "g", ALPHA), stored_member("next.txt", BETA)})),
              "Error: File cannot create. (" + name + "g)\n\tnext.txt\n[ EOF ]\n");
    EXPECT_FALSE(file_exists(w.out(folder + "/" + name + "g")));
}

TEST(ExtractArchive, WriteErrorIsReported)
{
    Workspace w;
    const Bytes big(4096, 'x');
    write_file(w.root + "/ymw.lz_", archive_of({stored_member("full", big), stored_member("small", BETA)}));
    const std::string printed = capture_console([] {
        FileSizeLimit full(1024);
        extract_archive("ymw.lz_", "*");
    });
    EXPECT_EQ(printed, "\tfull\nError: File cannot write. (full)\n\tsmall\n[ EOF ]\n");
    // The member that failed is not put in place, and nothing of it stays.
    EXPECT_FALSE(file_exists(w.out("full")));
    EXPECT_EQ(w.file("small"), BETA);
    EXPECT_EQ(folder_entries(w.out("")).size(), 1u);
}

TEST(ExtractArchiveDeathTest, MissingArchiveEndsTheProgram)
{
    Workspace w;
    const std::string printed = w.root + "/printed.txt";
    EXPECT_EXIT(
        {
            const int fd = open(printed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            extract_archive("missing.lz_", "*");
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(printed), bytes_of("Error: File cannot open. (missing.lz_)\n"));
}

// Every fault of the extraction marks the installation as failed; a clean
// archive, a member that is not selected and the end marker do not.
TEST(ExtractArchive, FaultsMarkTheInstallationFailed)
{
    TestMember bad_crc = stored_member("a.txt", ALPHA);
    bad_crc.crc = 1;
    bad_crc.crc_set = true;
    TestMember bad_method = stored_member("a.txt", Bytes{});
    bad_method.method = "-lh5-";
    TestMember bad_sum = stored_member("a.txt", ALPHA);
    bad_sum.checksum_delta = 1;
    struct Row {
        const char* what;
        Bytes archive;
        const char* pattern;
        bool failed;
    };
    const Row rows[] = {
        {"clean", archive_of({stored_member("a.txt", ALPHA)}), "*", false},
        {"bad CRC, not selected", archive_of({bad_crc}), "b.txt", false},
        {"bad CRC", archive_of({bad_crc}), "*", true},
        {"unknown method", archive_of({bad_method}), "*", true},
        {"header sum", archive_of({bad_sum}), "*", true},
        {"no end marker", archive_of({stored_member("a.txt", ALPHA)}, false), "*", true},
        {"cannot create", archive_of({stored_member("..\\a.txt", ALPHA)}), "*", true},
    };
    for (const Row& row : rows) {
        Workspace w;
        installation_failed = false;
        w.extract(row.archive, row.pattern);
        EXPECT_EQ(installation_failed, row.failed) << row.what;
    }
    installation_failed = false;
}
