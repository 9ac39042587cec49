// lha/stream.h: the archive stream that members are read from, and the
// output file that extracted bytes go to, with its CRC register.
//
// Both live only while one archive is read: an extraction, or a walk of
// the packer's over an archive it lists or tests.
//
// Reading past the end. Every read of the archive stream yields its next
// byte; at the end of the file, and after a read error, every read yields
// 0xFF. Nothing else tests for the end of the archive: a truncated header
// fails its checksum, truncated data fails its CRC, and an -lh1- member
// decodes on from all-ones bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Bytes read from the file at a time.
constexpr size_t ARCHIVE_BUFFER_SIZE = 64 * 1024;
// Bytes that stay in front of the buffer when it is refilled, so that a
// reader that took bytes ahead of its need can give up to this many back.
constexpr size_t ARCHIVE_KEEP = 8;

// The archive stream.
//   file      the open archive, or nullptr between calls.
//   next      the next byte to deliver, inside buffer.
//   end       one past the last byte read from the file into buffer.
//   past_end  how many 0xFF bytes have been delivered beyond the end of
//             the file (or after a read error) and not given back.
//   exhausted the file has ended or failed: no more reads are tried.
//   failed    a read of the file failed (rather than found its end).
//   file_read how many bytes have been read from the file into buffer,
//             over all refills: what archive_position counts from.
//   buffer    ARCHIVE_KEEP bytes kept from the last refill, then the bytes
//             of the current refill.
struct ArchiveStream {
    FILE* file;
    const uint8_t* next;
    const uint8_t* end;
    uint32_t past_end;
    bool exhausted;
    bool failed;
    uint64_t file_read;
    uint8_t buffer[ARCHIVE_KEEP + ARCHIVE_BUFFER_SIZE];
};
extern ArchiveStream archive_stream;

// Opens the archive by its (Windows) name; false when it cannot be opened.
bool open_archive_stream(const char* archive_name);
// Reads the archive from `file`, opened by the caller; the stream closes
// it.
void take_archive_stream(FILE* file);
void close_archive_stream();

// Refills the buffer once next has reached end and returns the next byte,
// or 0xFF past the end.
unsigned read_archive_byte_slow();

// Moves `count` bytes of the archive stream into the output file, in
// blocks; past the end of the archive, 0xFF bytes, as reading them one at
// a time would give.
void copy_archive_bytes(uint32_t count);

// Reads `count` bytes of the archive stream and drops them, in blocks.
void skip_archive_bytes(uint32_t count);

// The next byte of the archive stream, or 0xFF past its end.
inline unsigned read_archive_byte()
{
    if (archive_stream.next != archive_stream.end)
        return *archive_stream.next++;
    return read_archive_byte_slow();
}

// How many bytes have been delivered, the 0xFF bytes past the end
// included: the offset in the archive of the next byte read.
inline uint64_t archive_position()
{
    const ArchiveStream& in = archive_stream;
    return in.file_read - static_cast<uint64_t>(in.end - in.next) + in.past_end;
}

// Gives back the last `count` bytes read, count at most ARCHIVE_KEEP: the
// next reads deliver them again.
void unread_archive_bytes(unsigned count);

// Bytes put into the output file's buffer before it is written out.
constexpr size_t OUTPUT_BUFFER_SIZE = 64 * 1024;

// The output file of the member being extracted.
//   file    the open file, or nullptr (no file, or bytes written nowhere).
//   fill    bytes waiting in buffer.
//   folded  how many of them crc_register covers already.
//   failed  a write of this file has failed; it is reported when the file
//           is closed.
struct OutputFile {
    FILE* file;
    size_t fill;
    size_t folded;
    bool failed;
    uint8_t buffer[OUTPUT_BUFFER_SIZE];
};
extern OutputFile output_file;

// The CRC-16/ARC of the bytes written to the current output file, up to
// the first output_file.folded bytes of the buffer; output_crc() brings it
// up to date. Set to 0 before a member's first byte.
extern uint16_t crc_register;

// Folds the buffered bytes into the CRC register and writes them to the
// file.
void flush_output_buffer();

// The CRC-16/ARC of every byte put out since crc_register was set to 0.
uint16_t output_crc();

// Writes the low eight bits of `value` to the output file. Bytes reach an
// output file only through its buffer: one at a time here, in blocks from
// the archive stream (copy_archive_bytes). The CRC register takes each
// buffer's bytes in one block (output_crc, flush_output_buffer), eight at
// a time, which costs less than a table step per byte.
inline void put_output_byte(unsigned value)
{
    output_file.buffer[output_file.fill++] = static_cast<uint8_t>(value);
    if (output_file.fill == OUTPUT_BUFFER_SIZE)
        flush_output_buffer();
}

// Opens the output file `name` (a relative Windows path) in the folder
// `folder`, as open_file_in does; false when it cannot be created.
bool open_output_file(const char* folder, const char* name);

// Starts a member whose bytes only go into the CRC register, written
// nowhere: a test of the archive.
void open_output_discard();
// Flushes and closes the output file and puts it in place; false when any
// write, the flush or the close failed, and then the file is not put in
// place and its path keeps what it had.
bool close_output_file();
