// tests/lha/lh1_differential_test.cpp: differential test against the
// independent -lh1- encoder of Debian's libjlha-java: data of many shapes and
// sizes, from fixed seeds, is packed there into level-0 archives
// (tests/lha/java, compiled with the tests into JAVA_CLASSES_DIR) and must
// extract to the original bytes with no error line.
//
// Needs a JDK (javac, java) and libjlha-java; on Debian the packages
// default-jdk-headless and libjlha-java.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "installer/run_state.h"
#include "installer/extraction.h"
#include "lha/extract.h"
#include "tests/lha/lh1_test_support.h"
#include "tests/support/capture.h"

using namespace lh1_test;

namespace {

const char* const JLHA_JARS[] = {"/usr/share/java/jlha-0.0.20050504.jar", "/usr/share/java/jlha.jar"};

std::string jlha_jar()
{
    for (const char* jar : JLHA_JARS)
        if (file_exists(jar))
            return jar;
    return "";
}

// The largest member size: sizes are three bytes in a header.
constexpr uint32_t LARGEST_MEMBER = (1u << 24) - 1;

using Rng = std::mt19937;

uint32_t below(Rng& rng, uint32_t n)
{
    return n == 0 ? 0 : static_cast<uint32_t>(rng() % n);
}

// Lines of invented words with CR LF, the shape of a readme or a log.
Bytes text_like(Rng& rng, size_t size)
{
    static const char* const SYLLABLES[] = {"ka", "ri", "to", "mo", "ne", "su", "wyr", "dor", "an", "el",
                                            "th", "or", "gar", "ix", "ul", "ha", "mi", "ke", "zo", "ra"};
    std::vector<std::string> words;
    for (int i = 0; i < 400; i++) {
        std::string word;
        for (uint32_t n = 1 + below(rng, 4); n > 0; n--)
            word += SYLLABLES[below(rng, 20)];
        words.push_back(word);
    }
    Bytes out;
    while (out.size() < size) {
        std::string line;
        for (uint32_t n = 2 + below(rng, 12); n > 0; n--)
            line += (line.empty() ? "" : " ") + words[below(rng, 1 + below(rng, 400))];
        line += below(rng, 3) == 0 ? ".\r\n" : "\r\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

// Executable-like bytes: repeated instruction patterns, little-endian
// words, zero padding, strings and a few incompressible stretches.
Bytes binary_like(Rng& rng, size_t size)
{
    std::vector<Bytes> patterns;
    for (int i = 0; i < 200; i++) {
        Bytes p(1 + below(rng, 7));
        for (uint8_t& b : p)
            b = static_cast<uint8_t>(rng());
        patterns.push_back(p);
    }
    Bytes out;
    while (out.size() < size) {
        const uint32_t kind = below(rng, 20);
        if (kind < 12) {
            const Bytes& p = patterns[below(rng, 1 + below(rng, 200))];
            out.insert(out.end(), p.begin(), p.end());
        } else if (kind < 15) {
            const uint32_t word = below(rng, 0x10000) * (1 + below(rng, 3));
            for (int i = 0; i < 4; i++)
                out.push_back(static_cast<uint8_t>(word >> (8 * i)));
        } else if (kind < 17) {
            out.insert(out.end(), below(rng, 300), 0);
        } else if (kind < 19) {
            const std::string s = "Wyrmhold module " + std::to_string(below(rng, 50));
            out.insert(out.end(), s.begin(), s.end());
            out.push_back(0);
        } else {
            for (uint32_t n = below(rng, 200); n > 0; n--)
                out.push_back(static_cast<uint8_t>(rng()));
        }
    }
    out.resize(size);
    return out;
}

Bytes random_bytes(Rng& rng, size_t size)
{
    Bytes out(size);
    for (uint8_t& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

// Runs of one byte, each of a random length.
Bytes runs(Rng& rng, size_t size)
{
    Bytes out;
    while (out.size() < size)
        out.insert(out.end(), 1 + below(rng, 5000), static_cast<uint8_t>(rng()));
    out.resize(size);
    return out;
}

// Stretches of each shape in turn.
Bytes mixed(Rng& rng, size_t size)
{
    Bytes out;
    while (out.size() < size) {
        const size_t part = 1 + below(rng, 300000);
        Bytes piece;
        switch (below(rng, 4)) {
        case 0: piece = text_like(rng, part); break;
        case 1: piece = binary_like(rng, part); break;
        case 2: piece = runs(rng, part); break;
        default: piece = random_bytes(rng, part / 8 + 1); break;
        }
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(size);
    return out;
}

Bytes of_shape(Rng& rng, uint32_t shape, size_t size)
{
    switch (shape % 5) {
    case 0: return text_like(rng, size);
    case 1: return binary_like(rng, size);
    case 2: return random_bytes(rng, size);
    case 3: return runs(rng, size);
    default: return mixed(rng, size);
    }
}

struct Member {
    std::string name;
    Bytes data;
};

struct Archive {
    std::string name;
    std::vector<Member> members;
};

std::vector<Archive> make_archives()
{
    std::vector<Archive> archives;
    Rng rng(20240601);

    Archive shapes{"shapes.lzh", {}};
    Bytes phrase = text_like(rng, 300);
    Bytes repeats;
    for (int i = 0; i < 40; i++)
        repeats.insert(repeats.end(), phrase.begin(), phrase.end());
    Bytes ascending;
    for (int i = 0; i < 1024; i++)
        ascending.push_back(static_cast<uint8_t>(i));
    Bytes pattern;
    for (int i = 0; i < 5000; i++) {
        pattern.push_back('a');
        pattern.push_back('b');
    }
    shapes.members = {
        {"empty.txt", Bytes{}},
        {"one.bin", Bytes{0x41}},
        {"one_ff.bin", Bytes{0xFF}},
        {"two.bin", Bytes{0x20, 0x20}},
        {"run.txt", Bytes(1000, 'A')},
        {"spaces.txt", Bytes(5000, ' ')},
        {"zeros.bin", Bytes(70000, 0)},
        {"text.txt", text_like(rng, 50000)},
        {"random.bin", random_bytes(rng, 20000)},
        {"program.exe", binary_like(rng, 100000)},
        {"pattern.bin", pattern},
        {"ascending.bin", ascending},
        {"repeats.txt", repeats},
        {"runs.bin", runs(rng, 60000)},
    };
    archives.push_back(shapes);

    // Members of random shapes and sizes, several in a row.
    for (unsigned seed = 1; seed <= 4; seed++) {
        Rng member_rng(seed);
        Archive a{"seed" + std::to_string(seed) + ".lzh", {}};
        for (uint32_t m = 0, count = 3 + below(member_rng, 6); m < count; m++) {
            const uint32_t shape = below(member_rng, 5);
            const size_t size = below(member_rng, 4) == 0 ? below(member_rng, 100) : below(member_rng, 200000);
            a.members.push_back({"m" + std::to_string(m) + ".dat", of_shape(member_rng, shape, size)});
        }
        archives.push_back(a);
    }

    // Long members: the model is rebuilt dozens of times.
    archives.push_back({"rebuilds.lzh", {{"log.txt", text_like(rng, 2000000)}, {"noise.bin", random_bytes(rng, 1000000)}}});

    // One member of the largest size a header can give.
    archives.push_back({"largest.lzh", {{"largest.dat", mixed(rng, LARGEST_MEMBER)}}});
    return archives;
}

}  // namespace

TEST(Lh1Differential, IndependentEncoderArchivesExtractToTheirData)
{
    const std::string jar = jlha_jar();
    ASSERT_FALSE(jar.empty()) << "libjlha-java is not installed";
    const std::string classes = JAVA_CLASSES_DIR;
    ASSERT_TRUE(file_exists(classes + "/Lh1ArchiveMaker.class"))
        << "the generator was not compiled with the tests; is a JDK (default-jdk-headless) installed? "
           "(configure the build again once it is)";

    TempWorkspace w;

    const std::vector<Archive> archives = make_archives();
    std::string list;
    int file_number = 0;
    for (const Archive& a : archives) {
        for (const Member& m : a.members) {
            const std::string input = "in" + std::to_string(file_number++);
            write_file(input, m.data);
            list += a.name + "\t" + m.name + "\t" + input + "\n";
        }
    }
    write_file("list.txt", bytes_of(list));
    ASSERT_EQ(std::system(("java -cp '" + classes + ":" + jar + "' Lh1ArchiveMaker list.txt").c_str()), 0);

    for (const Archive& a : archives) {
        SCOPED_TRACE(a.name);
        const Bytes archive = read_file(a.name);
        ASSERT_FALSE(archive.empty());
        std::string listing;
        for (const Member& m : a.members)
            listing += "\t" + m.name + "\n";
        const std::string out = "out-" + a.name;
        mkdir(out.c_str(), 0755);
        strcpy(install_directory, (out + "\\").c_str());
        EXPECT_EQ(capture_console([&] { extract_archive(a.name.c_str(), "*"); }), listing + "[ EOF ]\n");
        for (const Member& m : a.members) {
            SCOPED_TRACE(m.name);
            const Bytes written = read_file(out + "/" + m.name);
            ASSERT_EQ(written.size(), m.data.size());
            EXPECT_TRUE(written == m.data);
        }
        remove_tree(out);
    }
}
