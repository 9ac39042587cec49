// lha/stream.cpp: the archive stream and the output file.
//
// State (both records are declared in lha/stream.h):
//   archive_stream  the archive being read; open only while one archive is
//                   read.
//   output_file     the member being put out; open only while one member
//                   is extracted or tested.
//   crc_register    the CRC-16/ARC of what the current member has written,
//                   up to output_file.folded bytes of the buffer.
#include "lha/stream.h"

#include <cstring>

#include "host/files.h"
#include "lha/crc16.h"

ArchiveStream archive_stream;
OutputFile output_file;
uint16_t crc_register;

bool open_archive_stream(const char* archive_name)
{
    take_archive_stream(open_file(archive_name, "rb"));
    return archive_stream.file != nullptr;
}

void take_archive_stream(FILE* file)
{
    archive_stream.file = file;
    archive_stream.next = archive_stream.buffer + ARCHIVE_KEEP;
    archive_stream.end = archive_stream.next;
    archive_stream.past_end = 0;
    archive_stream.failed = false;
    archive_stream.file_read = 0;
    archive_stream.exhausted = archive_stream.file == nullptr;
}

void close_archive_stream()
{
    if (archive_stream.file != nullptr)
        fclose(archive_stream.file);
    archive_stream.file = nullptr;
    archive_stream.exhausted = true;
}

// Refills the buffer once next has reached end. Returns false when the
// file has no more bytes: the reader is then past its end.
static bool refill_archive_buffer()
{
    ArchiveStream& in = archive_stream;
    if (in.exhausted)
        return false;
    // Keep the last ARCHIVE_KEEP bytes in front of the new ones, so that
    // unread_archive_bytes can still reach them.
    uint8_t* const start = in.buffer + ARCHIVE_KEEP;
    memmove(in.buffer, in.end - ARCHIVE_KEEP, ARCHIVE_KEEP);
    const size_t count = fread(start, 1, ARCHIVE_BUFFER_SIZE, in.file);
    in.next = start;
    in.end = start + count;
    in.file_read += count;
    if (count < ARCHIVE_BUFFER_SIZE) {
        in.exhausted = true;
        in.failed = ferror(in.file) != 0;
    }
    return count > 0;
}

unsigned read_archive_byte_slow()
{
    ArchiveStream& in = archive_stream;
    if (refill_archive_buffer())
        return *in.next++;
    in.past_end++;
    return 0xFF;
}

// performance-critical; rerun bench/members_bench.py (stored members).
//
// Each turn moves as many bytes as the archive buffer holds and the output
// buffer has room for, whichever is fewer; the CRC register takes them
// when the output buffer is folded (flush_output_buffer, output_crc).
void copy_archive_bytes(uint32_t count)
{
    ArchiveStream& in = archive_stream;
    OutputFile& out = output_file;
    while (count > 0) {
        const bool past_end = in.next == in.end && !refill_archive_buffer();
        size_t block = OUTPUT_BUFFER_SIZE - out.fill;
        if (block > count)
            block = count;
        if (past_end) {
            memset(out.buffer + out.fill, 0xFF, block);
            in.past_end += static_cast<uint32_t>(block);
        } else {
            const size_t held = static_cast<size_t>(in.end - in.next);
            if (block > held)
                block = held;
            memcpy(out.buffer + out.fill, in.next, block);
            in.next += block;
        }
        out.fill += block;
        count -= static_cast<uint32_t>(block);
        if (out.fill == OUTPUT_BUFFER_SIZE)
            flush_output_buffer();
    }
}

void skip_archive_bytes(uint32_t count)
{
    ArchiveStream& in = archive_stream;
    while (count > 0) {
        if (in.next == in.end && !refill_archive_buffer()) {
            in.past_end += count;
            return;
        }
        const size_t held = static_cast<size_t>(in.end - in.next);
        const size_t block = held < count ? held : count;
        in.next += block;
        count -= static_cast<uint32_t>(block);
    }
}

void unread_archive_bytes(unsigned count)
{
    ArchiveStream& in = archive_stream;
    while (count > 0 && in.past_end > 0) {
        in.past_end--;
        count--;
    }
    in.next -= count;
}

uint16_t output_crc()
{
    OutputFile& out = output_file;
    crc_register = crc16_update_block(crc_register, out.buffer + out.folded, out.fill - out.folded);
    out.folded = out.fill;
    return crc_register;
}

void flush_output_buffer()
{
    OutputFile& out = output_file;
    output_crc();
    if (out.fill > 0 && !out.failed && out.file != nullptr && fwrite(out.buffer, 1, out.fill, out.file) != out.fill)
        out.failed = true;
    out.fill = 0;
    out.folded = 0;
}

bool open_output_file(const char* folder, const char* name)
{
    output_file.file = open_file_in(folder, name, "wb");
    output_file.fill = 0;
    output_file.folded = 0;
    output_file.failed = false;
    return output_file.file != nullptr;
}

void open_output_discard()
{
    output_file.file = nullptr;
    output_file.fill = 0;
    output_file.folded = 0;
    output_file.failed = false;
}

bool close_output_file()
{
    OutputFile& out = output_file;
    flush_output_buffer();
    FILE* file = out.file;
    out.file = nullptr;
    if (file == nullptr)
        return !out.failed;
    // A file that could not be written whole is not put in place at all.
    if (out.failed) {
        discard_file(file);
        return false;
    }
    out.failed = !finish_file(file);
    return !out.failed;
}
