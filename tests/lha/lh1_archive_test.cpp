// tests/lha/lh1_archive_test.cpp: -lh1- members inside archives: every member
// of the corpus (made by an independent encoder) decodes to its bytes and
// ends where the next header begins; damaged and truncated members are
// decoded to their full size, reported by their CRC, and the next header is
// read where the bits ended.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/run_state.h"
#include "installer/extraction.h"
#include "lha/extract.h"
#include "tests/lha/lh1_test_support.h"
#include "tests/support/capture.h"

using namespace lh1_test;

namespace {

// The fields of a level-0 header that these tests need.
struct HeaderFields {
    size_t header_length;  // H + 2
    std::string method;
    uint32_t packed_size;
    uint32_t unpacked_size;
    std::string name;
    uint16_t crc;
};

// The header at `at`, as the installer's reader reads it.
HeaderFields parse_header(const Bytes& archive, size_t at)
{
    const std::vector<ArchiveHeader> read = headers_in(Bytes(archive.begin() + static_cast<long>(at), archive.end()));
    EXPECT_FALSE(read.empty()) << "no header at " << at;
    if (read.empty())
        return HeaderFields{};
    const MemberHeader& h = read[0].fields;
    return HeaderFields{h.header_size + 2u, std::string(h.method, METHOD_ID_SIZE), h.packed_size, h.unpacked_size,
                        h.name, h.crc};
}

const char* const CORPUS[] = {"text", "binary", "mixed", "rebuild", "names", "distribution"};

std::string corpus_path(const std::string& name)
{
    return std::string(TEST_DATA_DIR) + "/corpus/" + name;
}

bool is_ascii(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// The one member of the corpus archive "text", split into its header and
// its packed data.
struct TextMember {
    Bytes header;
    Bytes packed;
    HeaderFields fields;
};

TextMember text_member()
{
    const Bytes archive = read_file(corpus_path("text") + "/text.lzh");
    TextMember m;
    m.fields = parse_header(archive, 0);
    const auto data = archive.begin() + static_cast<long>(m.fields.header_length);
    m.header.assign(archive.begin(), data);
    m.packed.assign(data, data + m.fields.packed_size);
    return m;
}

// Runs extract_archive over `archive` as ymw.lz_ into "out\" of a fresh
// workspace and returns what it printed.
std::string extract_in(const TempWorkspace& w, const Bytes& archive)
{
    mkdir((w.root + "/out").c_str(), 0755);
    strcpy(install_directory, "out\\");
    write_file(w.root + "/ymw.lz_", archive);
    return capture_console([] { extract_archive("ymw.lz_", "*"); });
}

}  // namespace

// Every -lh1- member decodes to unpacked_size bytes with the CRC of its
// header, and the stream then stands exactly at the next header.
TEST(Lh1Corpus, EveryMemberDecodesAndEndsAtTheNextHeader)
{
    for (const char* name : CORPUS) {
        SCOPED_TRACE(name);
        const std::string folder = corpus_path(name);
        const Bytes archive = read_file(folder + "/" + name + ".lzh");
        ASSERT_FALSE(archive.empty());
        TempWorkspace w;
        StreamOver stream(archive);
        size_t at = 0;
        int lh1_members = 0;
        while (archive[at] != 0) {
            const HeaderFields h = parse_header(archive, at);
            SCOPED_TRACE(h.name);
            for (size_t i = 0; i < h.header_length; i++)
                read_archive_byte();
            const size_t data_end = at + h.header_length + h.packed_size;
            if (h.method == "-lh1-") {
                const std::vector<MemberRun> runs = decode_open_stream({h.unpacked_size});
                EXPECT_EQ(runs[0].output.size(), h.unpacked_size);
                EXPECT_EQ(runs[0].crc, h.crc);
                EXPECT_EQ(runs[0].crc, reference_crc16(runs[0].output));
                EXPECT_EQ(runs[0].position, data_end);
                // The expected folder holds the last member of each name.
                bool last_of_name = true;
                for (size_t next = data_end; archive[next] != 0;) {
                    const HeaderFields later = parse_header(archive, next);
                    last_of_name = last_of_name && later.name != h.name;
                    next += later.header_length + later.packed_size;
                }
                if (is_ascii(h.name) && last_of_name)
                    EXPECT_TRUE(runs[0].output == read_file(folder + "/expected/" + h.name));
                lh1_members++;
            } else {
                for (uint32_t i = 0; i < h.packed_size; i++)
                    read_archive_byte();
            }
            at = data_end;
        }
        EXPECT_GT(lh1_members, 0);
    }
}

// An archive that ends inside an -lh1- member: the member is decoded to its
// full size from all-ones bits, its CRC fails, and the next header, read
// from 0xFF bytes, fails its checksum.
TEST(Lh1Damage, TruncatedMemberIsDecodedToItsFullSize)
{
    const TextMember m = text_member();
    for (size_t cut : {size_t{1}, m.packed.size() / 4, m.packed.size() / 2, m.packed.size() - 40}) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut);
        const Bytes truncated(m.packed.begin(), m.packed.begin() + static_cast<long>(cut));
        const std::vector<MemberRun> reference = ref_decode_members(truncated, {m.fields.unpacked_size});
        ASSERT_GT(reference[0].position, cut);

        TempWorkspace w;
        Bytes archive = m.header;
        archive.insert(archive.end(), truncated.begin(), truncated.end());
        EXPECT_EQ(extract_in(w, archive), "\tstory.txt\nError: CRC mismatch.\nError: Header sum error\n");
        const Bytes written = read_file(w.root + "/out/story.txt");
        EXPECT_EQ(written.size(), m.fields.unpacked_size);
        EXPECT_TRUE(written == reference[0].output);
    }
}

// Flipped bits change what the member decodes to and where its bits end.
// A stored member placed exactly where the reference says the bits end is
// read as the next member, whatever the header's packed size says.
TEST(Lh1Damage, FlippedBitsAreReportedAndTheNextHeaderIsReadWhereTheBitsEnded)
{
    const TextMember m = text_member();
    const Bytes next_data = bytes_of("next member\r\n");
    const size_t flips[] = {10 * 8 + 3, 2000 * 8 + 6, 7000 * 8, (m.packed.size() - 3) * 8 + 1};
    bool ended_elsewhere = false;
    for (size_t flip : flips) {
        SCOPED_TRACE(testing::Message() << "bit " << flip);
        Bytes damaged = m.packed;
        damaged[flip / 8] = static_cast<uint8_t>(damaged[flip / 8] ^ (0x80 >> flip % 8));
        // Room for bits that now end later than before.
        damaged.insert(damaged.end(), 4096, 0x00);
        const std::vector<MemberRun> reference = ref_decode_members(damaged, {m.fields.unpacked_size});
        const uint64_t bits_end = reference[0].position;
        ASSERT_LE(bits_end, damaged.size());
        ended_elsewhere = ended_elsewhere || bits_end != m.packed.size();

        TempWorkspace w;
        Bytes archive = m.header;
        archive.insert(archive.end(), damaged.begin(), damaged.begin() + static_cast<long>(bits_end));
        append_member(archive, stored_member("next.txt", next_data));
        append_end(archive);
        EXPECT_EQ(extract_in(w, archive), "\tstory.txt\nError: CRC mismatch.\n\tnext.txt\n[ EOF ]\n");
        const Bytes written = read_file(w.root + "/out/story.txt");
        EXPECT_EQ(written.size(), m.fields.unpacked_size);
        EXPECT_TRUE(written == reference[0].output);
        EXPECT_EQ(read_file(w.root + "/out/next.txt"), next_data);
    }
    EXPECT_TRUE(ended_elsewhere) << "no flip moved the end of the bits";
}
