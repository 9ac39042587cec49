// lha/extract.cpp: the archive reader and member extraction.
//
// An archive is a sequence of members, each a level-0 header followed at
// once by its packed data, ended by a single byte 0. It is read strictly
// forward, once per call, whatever the pattern: skipping is reading.
//
// State, alive during one call of extract_archive:
//   member_header  the current header's fields; valid from a successful
//                  read_member_header until the next call of it.
//   header_buffer  the current header's bytes as read: H, the checksum and
//                  H more bytes.
// The archive stream, the output file and the CRC register are in
// lha/stream.cpp.
//
// Every fault is one line on the console, in English, and the reading goes
// on where it safely can: a bad header ends the archive, a bad member is
// skipped or reported after it was written. Only an archive that cannot be
// opened ends the program.
#include "lha/extract.h"

#include <cstdlib>
#include <cstring>

#include "host/console.h"
#include "lha/lh1_decode.h"
#include "lha/stream.h"
#include "shared/buffers.h"
#include "shared/messages.h"
#include "shared/sjis.h"

MemberHeader member_header;

static uint8_t header_buffer[HEADER_BUFFER_SIZE];

// Header offsets of a level-0 header.
constexpr int OFFSET_METHOD = 2;
constexpr int OFFSET_METHOD_DIGIT = 5;
constexpr int OFFSET_PACKED_SIZE = 7;
constexpr int OFFSET_UNPACKED_SIZE = 11;
constexpr int OFFSET_NAME_LENGTH = 21;
static_assert(OFFSET_NAME_LENGTH + 1 == HEADER_NAME_OFFSET, "the name follows its length");
static_assert(HEADER_BUFFER_SIZE == 2 + 255, "H is one byte");

enum HeaderResult { HEADER_READ, HEADER_END };

// Sizes are three little-endian bytes; the fourth byte of the field has no
// effect, so a member is at most 2^24 - 1 bytes.
static uint32_t size_at(int offset)
{
    return header_buffer[offset] | header_buffer[offset + 1] << 8 |
           static_cast<uint32_t>(header_buffer[offset + 2]) << 16;
}

// Reads the next header into header_buffer and member_header. HEADER_END at
// the end marker, after a checksum error and for a header too short to hold
// its own fields; each prints its line.
static HeaderResult read_member_header()
{
    const unsigned size = read_archive_byte();
    if (size == 0) {
        console_print("[ EOF ]\n");
        return HEADER_END;
    }
    header_buffer[0] = static_cast<uint8_t>(size);
    header_buffer[1] = static_cast<uint8_t>(read_archive_byte());
    uint8_t sum = 0;
    for (unsigned i = 2; i < size + 2; i++) {
        header_buffer[i] = static_cast<uint8_t>(read_archive_byte());
        sum = static_cast<uint8_t>(sum + header_buffer[i]);
    }
    if (sum != header_buffer[1]) {
        console_print("Error: Header sum error\n");
        installation_failed = true;
        return HEADER_END;
    }
    // The fixed fields, the name and its CRC must lie inside the H bytes
    // that were read: H >= 22 + N. Byte 21 itself needs H >= 20.
    const unsigned name_length = size + 1 >= OFFSET_NAME_LENGTH ? header_buffer[OFFSET_NAME_LENGTH] : 0;
    if (size + 1 < OFFSET_NAME_LENGTH || size < HEADER_NAME_OFFSET + name_length) {
        console_print("Error: Header damaged\n");
        installation_failed = true;
        return HEADER_END;
    }

    MemberHeader& h = member_header;
    h.header_size = header_buffer[0];
    h.header_sum = header_buffer[1];
    memcpy(h.method, header_buffer + OFFSET_METHOD, METHOD_ID_SIZE);
    h.packed_size = size_at(OFFSET_PACKED_SIZE);
    h.unpacked_size = size_at(OFFSET_UNPACKED_SIZE);
    h.name_length = static_cast<uint8_t>(name_length);
    memcpy(h.name, header_buffer + HEADER_NAME_OFFSET, name_length);
    h.name[name_length] = '\0';
    const unsigned crc_offset = HEADER_NAME_OFFSET + name_length;
    h.crc = static_cast<uint16_t>(header_buffer[crc_offset] | header_buffer[crc_offset + 1] << 8);
    return HEADER_READ;
}

static int fold_ascii_case(int c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// "*" and "*.*" select every member; any other pattern is a name, compared
// byte by byte with A-Z folded to a-z wherever they stand.
static bool is_selected(const char* pattern, const char* name)
{
    if (strcmp(pattern, "*") == 0 || strcmp(pattern, "*.*") == 0)
        return true;
    for (;; pattern++, name++) {
        if (fold_ascii_case(static_cast<unsigned char>(*pattern)) !=
            fold_ascii_case(static_cast<unsigned char>(*name)))
            return false;
        if (*pattern == '\0')
            return true;
    }
}

// True for "..", and for a name of dots and blanks with two dots or more,
// which Windows may make ".." by dropping the dots and blanks at its end.
static bool is_dots_and_blanks(const char* start, const char* end)
{
    int dots = 0;
    for (const char* p = start; p != end; p++) {
        if (*p != '.' && *p != ' ')
            return false;
        dots += *p == '.';
    }
    return dots >= 2;
}

// True for a name that Windows takes for a device wherever it stands,
// whatever follows a dot in it and in any letter case: "nul.txt" or
// "Com1.log" opens the device, not a file (as Wine showed for NUL, AUX and
// COM1). The part before the first dot counts, without its trailing blanks.
static bool is_device_name(const char* start, const char* end)
{
    static const char* const DEVICES[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    const char* stem_end = start;
    while (stem_end != end && *stem_end != '.')
        stem_end++;
    while (stem_end != start && stem_end[-1] == ' ')
        stem_end--;
    char stem[8] = "";
    const size_t length = static_cast<size_t>(stem_end - start);
    if (length >= sizeof stem)
        return false;
    for (size_t i = 0; i < length; i++)
        stem[i] = static_cast<char>(fold_ascii_case(static_cast<unsigned char>(start[i])));
    stem[length] = '\0';
    for (const char* device : DEVICES)
        if (strcmp(stem, device) == 0)
            return true;
    return length == 4 && (memcmp(stem, "com", 3) == 0 || memcmp(stem, "lpt", 3) == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

// A member's name must stay inside the install directory and name a file:
// no drive, no leading separator, no ".." component (nor one that may
// become ".."), no device name, no separator at the end (which would
// write a file under the folder's name). Shift_JIS double-byte characters are stepped over
// whole, so a trail byte 0x5C is not a separator.
static bool is_safe_member_name(const char* name)
{
    const auto is_separator = [](char c) { return c == '\\' || c == '/'; };
    if (is_separator(name[0]) || (name[0] != '\0' && name[1] == ':'))
        return false;
    const char* component = name;
    for (const char* p = name;; p++) {
        if (*p == '\0' || is_separator(*p)) {
            if (is_dots_and_blanks(component, p) || is_device_name(component, p))
                return false;
            if (*p == '\0')
                return p == name || p != component;
            component = p + 1;
        } else {
            p += sjis_character_length(p) - 1;
        }
    }
}

// Whether the member may be written as install directory + name: false
// when the name leads out of the install directory or the path would be
// longer than MAX_OUTPUT_PATH. The host composes the path when it opens
// the file. A name field with a NUL byte in it names the file by the bytes
// before the NUL: archivers of some systems keep a comment after it.
static bool may_write_member(const char* name)
{
    return is_safe_member_name(name) && strlen(install_directory) + strlen(name) <= MAX_OUTPUT_PATH;
}

static void skip_member_data()
{
    for (uint32_t i = 0; i < member_header.packed_size; i++)
        read_archive_byte();
}

static void copy_stored_member()
{
    for (uint32_t i = 0; i < member_header.packed_size; i++)
        put_output_byte(read_archive_byte());
}

// 0 for "-lh0-" and "-lh1-", letter case significant; -1 otherwise.
static int check_method()
{
    const char* m = member_header.method;
    const bool known = m[0] == '-' && m[1] == 'l' && m[2] == 'h' && (m[3] == '0' || m[3] == '1') && m[4] == '-';
    return known ? 0 : -1;
}

// Writes the current member into the open output file and checks its CRC.
static void extract_member()
{
    crc_register = 0;
    if (check_method() != 0) {
        console_print("Error: unknown method\n");
        installation_failed = true;
        skip_member_data();
    } else if (header_buffer[OFFSET_METHOD_DIGIT] == '0') {
        copy_stored_member();
    } else {
        decode_lh1();
    }
    if (output_crc() != member_header.crc) {
        console_print("Error: CRC mismatch.\n");
        installation_failed = true;
    }
}

void extract_archive(const char* archive_name, const char* pattern)
{
    if (!open_archive_stream(archive_name)) {
        console_printf("Error: File cannot open. (%s)\n", archive_name);
        console_end_early(MSG_PRESS_RETURN);
    }
    while (read_member_header() == HEADER_READ) {
        const char* name = member_header.name;
        if (!is_selected(pattern, name)) {
            skip_member_data();
            continue;
        }
        if (!may_write_member(name) || !open_output_file(install_directory, name)) {
            console_printf("Error: File cannot create. (%s)\n", name);
            installation_failed = true;
            skip_member_data();
            continue;
        }
        console_printf("\t%s\n", name);
        // Show the name while a long member is being written.
        console_flush();
        extract_member();
        if (!close_output_file()) {
            console_printf("Error: File cannot write. (%s)\n", name);
            installation_failed = true;
        }
    }
    close_archive_stream();
}
