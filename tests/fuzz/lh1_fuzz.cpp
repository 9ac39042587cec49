// tests/fuzz/lh1_fuzz.cpp: libFuzzer target for the -lh1- decoder alone.
//
// An input is two bytes of unpacked size (little-endian, so at most 65535)
// and then the packed data. The archive stream reads it from memory; the
// output goes to the output file's buffer, which holds more than 65535
// bytes and so is never written out.
//
// State: the output file is the null device, opened once. The window is
// cleared before each input, so that an input decodes alike alone and in
// a run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lha/lh1_decode.h"
#include "lha/stream.h"

static_assert(OUTPUT_BUFFER_SIZE > 0xFFFF, "a member of this target never leaves the output buffer");

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    output_file.file = fopen("/dev/null", "wb");
    if (output_file.file == nullptr)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (stream == nullptr)
        abort();
    archive_stream.file = stream;
    archive_stream.next = archive_stream.buffer + ARCHIVE_KEEP;
    archive_stream.end = archive_stream.next;
    archive_stream.past_end = 0;
    archive_stream.exhausted = false;
    const unsigned low = read_archive_byte();
    const uint32_t unpacked_size = low | read_archive_byte() << 8;

    memset(decoder_window, 0, sizeof decoder_window);
    output_file.fill = 0;
    output_file.folded = 0;
    output_file.failed = false;
    crc_register = 0;
    decode_lh1(unpacked_size);
    output_crc();
    // The decoder makes exactly the member's size, whatever the input.
    if (output_file.fill != unpacked_size)
        __builtin_trap();
    output_file.fill = 0;
    output_file.folded = 0;
    close_archive_stream();
    return 0;
}
