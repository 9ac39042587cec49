// bench/lh1_decode_bench.cpp: the -lh1- decoder alone, in one process.
//
// Usage: lh1_decode_bench [ARCHIVE [ROUNDS]]
//
// Decodes every -lh1- member of a level-0 archive (default: the corpus
// archive "rebuild") ROUNDS times (default 10) into the null device, reading
// the headers itself, and prints the minimum and average time of a round
// and the throughput in MB/s of unpacked data. Each member's CRC is checked
// once, so a broken decoder cannot pass for a fast one. The end-to-end
// comparison with lhasa is bench/lh1_bench.sh.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "lha/extract.h"
#include "lha/lh1_decode.h"
#include "lha/stream.h"

namespace {

// Where the decoded bytes go: written, then dropped.
const char* const SINK = "/dev/null";

// Bytes of a level-0 header that this bench reads: H, the checksum and
// up to 255 more.
constexpr int HEADER_BYTES = 2 + 255;

// Opens the null device as the output file. The host layer opens regular
// files only, so the bench opens it itself.
bool open_sink()
{
    output_file.file = fopen(SINK, "wb");
    output_file.fill = 0;
    output_file.folded = 0;
    output_file.failed = false;
    return output_file.file != nullptr;
}

struct RoundResult {
    bool ok;
    double seconds;
    unsigned long long unpacked;
};

RoundResult decode_round(const char* archive, bool check_crc)
{
    RoundResult result{true, 0, 0};
    if (!open_archive_stream(archive)) {
        fprintf(stderr, "cannot open %s\n", archive);
        result.ok = false;
        return result;
    }
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        uint8_t header[HEADER_BYTES];
        header[0] = static_cast<uint8_t>(read_archive_byte());
        if (header[0] == 0 || archive_stream.past_end > 0)
            break;
        for (int i = 1; i < header[0] + 2; i++)
            header[i] = static_cast<uint8_t>(read_archive_byte());
        const uint32_t packed = header[7] | header[8] << 8 | static_cast<uint32_t>(header[9]) << 16;
        const uint32_t unpacked = header[11] | header[12] << 8 | static_cast<uint32_t>(header[13]) << 16;
        const int name_length = header[21];
        const uint16_t crc = static_cast<uint16_t>(header[22 + name_length] | header[23 + name_length] << 8);
        if (header[5] != '1') {
            for (uint32_t i = 0; i < packed; i++)
                read_archive_byte();
            continue;
        }
        member_header.unpacked_size = unpacked;
        if (!open_sink()) {
            fprintf(stderr, "cannot open %s\n", SINK);
            result.ok = false;
            break;
        }
        crc_register = 0;
        decode_lh1();
        const uint16_t decoded_crc = output_crc();
        close_output_file();
        if (check_crc && decoded_crc != crc) {
            fprintf(stderr, "CRC mismatch in a member of %u bytes\n", unpacked);
            result.ok = false;
        }
        result.unpacked += unpacked;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close_archive_stream();
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* archive = argc > 1 ? argv[1] : CORPUS_ARCHIVE;
    const int rounds = argc > 2 ? atoi(argv[2]) : 10;
    if (rounds < 1) {
        fprintf(stderr, "usage: lh1_decode_bench [ARCHIVE [ROUNDS]]\n");
        return 2;
    }
    double best = 0;
    double total = 0;
    unsigned long long unpacked = 0;
    for (int round = 0; round < rounds; round++) {
        const RoundResult r = decode_round(archive, round == 0);
        if (!r.ok)
            return 1;
        best = round == 0 || r.seconds < best ? r.seconds : best;
        total += r.seconds;
        unpacked = r.unpacked;
    }
    const double mb = static_cast<double>(unpacked) / 1e6;
    printf("%s: %.1f MB unpacked, %d rounds\n", archive, mb, rounds);
    printf("min %.4f s  avg %.4f s  %.1f MB/s (at the minimum)\n", best, total / rounds, mb / best);
    return 0;
}
