// bench/lh1_decode_bench.cpp: the -lh1- decoder alone, in one process.
//
// Usage: lh1_decode_bench [ARCHIVE [ROUNDS]]
//
// Decodes every -lh1- member of a level-0 archive (default: the corpus
// archive "rebuild") ROUNDS times (default 10), the bytes going only into
// the CRC, and prints the minimum and average time of a round and the
// throughput in MB/s of unpacked data. Each member's CRC is checked once,
// so a broken decoder cannot pass for a fast one. The end-to-end
// comparison with lhasa is bench/lh1_bench.sh.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "lha/extract.h"
#include "lha/header.h"
#include "lha/lh1_decode.h"
#include "lha/stream.h"

namespace {

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
    while (read_member_header() == HEADER_READ && archive_stream.past_end == 0) {
        const MemberHeader& h = member_header;
        if (!is_lh1_method(h.method)) {
            skip_member_data(facts_of(h));
            continue;
        }
        open_output_discard();
        crc_register = 0;
        decode_lh1(h.unpacked_size);
        const uint16_t decoded_crc = output_crc();
        close_output_file();
        if (check_crc && decoded_crc != h.crc) {
            fprintf(stderr, "CRC mismatch in a member of %u bytes\n", h.unpacked_size);
            result.ok = false;
        }
        result.unpacked += h.unpacked_size;
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
