// tests/lha/lh1_test_support.h: what the -lh1- tests share: a bit writer,
// a plain step-by-step rendering of the bit input, model and decoder to
// compare the fast one against, an encoder of hand-made items built on it,
// and harnesses that run the product decoder over bytes in a real file.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lha/lh1_decode.h"
#include "lha/lh1_model.h"
#include "lha/stream.h"
#include "tests/support/test_support.h"

namespace lh1_test {

// ---------------------------------------------------------------------------
// The bit input and the model driven one step at a time, as the tests need
// them, through the product's own primitives.

// The next bit of the packed data, 0 or 1.
inline int get_bit()
{
    need_bits(1);
    const int bit = static_cast<int>(peek_bits(1));
    drop_bits(1);
    return bit;
}

// Starting from `start`, n times replaces the value by value * 2 + the next
// bit. With n of 0 or less reads nothing and returns start.
inline int get_bits(int start, int n)
{
    uint32_t value = static_cast<uint32_t>(start);
    for (; n > 0; n--)
        value = value << 1 | static_cast<uint32_t>(get_bit());
    return static_cast<int>(value);
}

// Adds one occurrence of `symbol`, as decode_char does after its walk: the
// way from the root to the symbol's leaf found upwards, then the product's
// update along it (rebuilding first at FREQ_LIMIT).
inline void update_model(int symbol)
{
    const int32_t* parent = model_parent;
    uint32_t upwards[SYMBOL_COUNT];
    int depth = 0;
    for (int32_t p = parent[NODE_COUNT + symbol]; p != ROOT; p = parent[p])
        upwards[depth++] = static_cast<uint32_t>(p);
    uint32_t path[SYMBOL_COUNT];
    for (int level = 0; level < depth; level++)
        path[level] = upwards[depth - 1 - level];
    update_model_along(path, depth, symbol);
}

// ---------------------------------------------------------------------------
// Bits, most significant first, packed into bytes; the last byte is padded
// with zeros.
struct BitWriter {
    Bytes bytes;
    int used = 8;  // bits used in the last byte; 8 when a new byte is due
};

inline void put_bit(BitWriter& w, int bit)
{
    if (w.used == 8) {
        w.bytes.push_back(0);
        w.used = 0;
    }
    if (bit != 0)
        w.bytes.back() = static_cast<uint8_t>(w.bytes.back() | 0x80 >> w.used);
    w.used++;
}

inline void put_bits(BitWriter& w, uint32_t value, int n)
{
    for (int i = n - 1; i >= 0; i--)
        put_bit(w, static_cast<int>(value >> i & 1));
}

// "0110": one bit per character; other characters are ignored.
inline void put_bit_string(BitWriter& w, const std::string& bits)
{
    for (char c : bits)
        if (c == '0' || c == '1')
            put_bit(w, c - '0');
}

inline Bytes bytes_of_bits(const std::string& bits)
{
    BitWriter w;
    put_bit_string(w, bits);
    return w.bytes;
}

// ---------------------------------------------------------------------------
// The bit input, the model and the decoder step by step, one bit at a time,
// exactly as the format describes them: the yardstick for every input.
constexpr int REF_SYMBOLS = 314;
constexpr int REF_NODES = 627;
constexpr int REF_ROOT = 626;
constexpr int REF_WINDOW = 4096;
constexpr int REF_WINDOW_START = 4036;

struct Reference {
    Bytes input;
    size_t bytes_read = 0;  // bytes taken, those past the end (0xFF) included
    uint8_t bit_buffer = 0;
    int bit_count = 0;
    uint32_t freq[REF_NODES + 1] = {};
    int32_t child[REF_NODES] = {};
    int32_t parent[REF_NODES + REF_SYMBOLS] = {};
    uint8_t window[REF_WINDOW] = {};
    int window_pos = 0;
    long rebuilds = 0;
};

inline int ref_get_bit(Reference& r)
{
    if (r.bit_count == 0) {
        r.bit_buffer = r.bytes_read < r.input.size() ? r.input[r.bytes_read] : 0xFF;
        r.bytes_read++;
        r.bit_count = 8;
    }
    const int bit = r.bit_buffer >> 7 & 1;
    r.bit_buffer = static_cast<uint8_t>((r.bit_buffer & 0x7F) * 2);
    r.bit_count--;
    return bit;
}

inline int ref_get_bits(Reference& r, int start, int n)
{
    int value = start;
    for (int i = 0; i < n; i++)
        value = value * 2 + ref_get_bit(r);
    return value;
}

inline void ref_init_model(Reference& r)
{
    for (int s = 0; s < REF_SYMBOLS; s++) {
        r.freq[s] = 1;
        r.child[s] = s + REF_NODES;
        r.parent[s + REF_NODES] = s;
    }
    for (int j = REF_SYMBOLS; j < REF_NODES; j++) {
        const int i = 2 * (j - REF_SYMBOLS);
        r.freq[j] = r.freq[i] + r.freq[i + 1];
        r.child[j] = i;
        r.parent[i] = j;
        r.parent[i + 1] = j;
    }
    r.parent[REF_ROOT] = 0;
    r.freq[REF_NODES] = 0xFFFF;
}

inline void ref_rebuild_model(Reference& r)
{
    r.rebuilds++;
    int j = 0;
    for (int i = 0; i < REF_NODES; i++) {
        if (r.child[i] >= REF_NODES) {
            r.freq[j] = (r.freq[i] + 1) / 2;
            r.child[j] = r.child[i];
            j++;
        }
    }
    for (j = REF_SYMBOLS; j < REF_NODES; j++) {
        const int i = 2 * (j - REF_SYMBOLS);
        const uint32_t f = r.freq[i] + r.freq[i + 1];
        int k = j - 1;
        while (r.freq[k] > f)
            k--;
        k++;
        for (int m = j; m > k; m--) {
            r.freq[m] = r.freq[m - 1];
            r.child[m] = r.child[m - 1];
        }
        r.freq[k] = f;
        r.child[k] = i;
    }
    for (int i = 0; i < REF_NODES; i++) {
        const int v = r.child[i];
        if (v >= REF_NODES) {
            r.parent[v] = i;
        } else {
            r.parent[v] = i;
            r.parent[v + 1] = i;
        }
    }
}

inline void ref_update_model(Reference& r, int symbol)
{
    if (r.freq[REF_ROOT] == 0x8000)
        ref_rebuild_model(r);
    int p = r.parent[REF_NODES + symbol];
    do {
        r.freq[p]++;
        const uint32_t f = r.freq[p];
        if (r.freq[p + 1] < f) {
            int q = p + 1;
            while (r.freq[q + 1] < f)
                q++;
            r.freq[p] = r.freq[q];
            r.freq[q] = f;
            const int a = r.child[p];
            const int b = r.child[q];
            r.parent[a] = q;
            if (a < REF_NODES)
                r.parent[a + 1] = q;
            r.parent[b] = p;
            if (b < REF_NODES)
                r.parent[b + 1] = p;
            r.child[q] = a;
            r.child[p] = b;
            p = q;
        }
        p = r.parent[p];
    } while (p != 0);
}

inline int ref_decode_char(Reference& r)
{
    int x = r.child[REF_ROOT];
    while (x < REF_NODES)
        x = r.child[x + ref_get_bit(r)];
    const int symbol = x - REF_NODES;
    ref_update_model(r, symbol);
    return symbol;
}

// The position code of the upper six bits, by the rows of its definition:
// entries `first` to `last` of the 8-bit index, values `u_first` onwards,
// each with a code of `length` bits.
struct PositionRow {
    int first;
    int last;
    int u_first;
    int u_last;
    int length;
};
constexpr PositionRow POSITION_ROWS[] = {
    {0, 31, 0, 0, 3},
    {32, 79, 1, 3, 4},
    {80, 143, 4, 11, 5},
    {144, 191, 12, 23, 6},
    {192, 239, 24, 47, 7},
    {240, 255, 48, 63, 8},
};

// The row of an 8-bit index.
inline const PositionRow& position_row(int b)
{
    for (const PositionRow& row : POSITION_ROWS)
        if (b >= row.first && b <= row.last)
            return row;
    return POSITION_ROWS[0];
}

// Upper value of an 8-bit index: entries of one row are shared out in
// order, 2^(8 - length) to each value.
inline int ref_pos_high(int b)
{
    const PositionRow& row = position_row(b);
    return row.u_first + (b - row.first) / (1 << (8 - row.length));
}

inline int ref_decode_position(Reference& r)
{
    const int b = ref_get_bits(r, 0, 8);
    const int x = ref_get_bits(r, b, position_row(b).length - 2);
    return ref_pos_high(b) * 64 + (x & 0x3F);
}

// Decodes one member of `size` bytes from where the input stands, the
// first window positions set to `preset` (spaces, as the format has it).
inline Bytes ref_decode_member(Reference& r, uint32_t size, uint8_t preset = 0x20)
{
    Bytes out;
    uint32_t remaining = size;
    ref_init_model(r);
    r.window_pos = REF_WINDOW_START;
    r.bit_count = 0;
    for (int i = 0; i < REF_WINDOW_START; i++)
        r.window[i] = preset;
    while (remaining > 0) {
        const int s = ref_decode_char(r);
        if (s < 256) {
            out.push_back(static_cast<uint8_t>(s));
            r.window[r.window_pos] = static_cast<uint8_t>(s);
            r.window_pos = (r.window_pos + 1) & 0xFFF;
            remaining--;
        } else {
            const int length = s - 253;
            const int d = ref_decode_position(r);
            int copy_pos = (r.window_pos - d - 1) & 0xFFF;
            for (int i = 0; i < length; i++) {
                const uint8_t byte = r.window[copy_pos];
                copy_pos = (copy_pos + 1) & 0xFFF;
                out.push_back(byte);
                r.window[r.window_pos] = byte;
                r.window_pos = (r.window_pos + 1) & 0xFFF;
                remaining--;
                if (remaining == 0)
                    break;
            }
        }
    }
    return out;
}

// The code of `symbol` in a tree given by its child and parent tables,
// first bit first: the path from the root down to the symbol's leaf.
inline std::string code_of(const int32_t* child_table, const int32_t* parent_table, int symbol)
{
    std::string code;
    int p = parent_table[REF_NODES + symbol];
    while (p != REF_ROOT) {
        const int up = parent_table[p];
        code.insert(code.begin(), static_cast<char>('0' + (p - child_table[up])));
        p = up;
    }
    return code;
}

// ---------------------------------------------------------------------------
// Hand-made members: literals and matches, coded with the adaptive model of
// the reference.
struct Item {
    int literal;   // 0 to 255, or -1 for a match
    int length;    // match: 3 to 60
    int distance;  // match: 0 to 4095
};

inline Item literal(int byte)
{
    return Item{byte, 0, 0};
}
inline Item match(int length, int distance)
{
    return Item{-1, length, distance};
}
inline std::vector<Item> literals(const std::string& text)
{
    std::vector<Item> items;
    for (unsigned char c : text)
        items.push_back(literal(c));
    return items;
}

inline void put_position(BitWriter& w, int distance)
{
    const int u = distance >> 6;
    for (const PositionRow& row : POSITION_ROWS) {
        if (u >= row.u_first && u <= row.u_last) {
            const int first_entry = row.first + (u - row.u_first) * (1 << (8 - row.length));
            put_bits(w, static_cast<uint32_t>(first_entry >> (8 - row.length)), row.length);
        }
    }
    put_bits(w, static_cast<uint32_t>(distance & 0x3F), 6);
}

// The packed data of one member holding `items`, padded to a whole byte.
inline Bytes encode_items(const std::vector<Item>& items)
{
    Reference model;
    ref_init_model(model);
    BitWriter w;
    for (const Item& item : items) {
        const int symbol = item.literal >= 0 ? item.literal : item.length + 253;
        put_bit_string(w, code_of(model.child, model.parent, symbol));
        ref_update_model(model, symbol);
        if (item.literal < 0)
            put_position(w, item.distance);
    }
    return w.bytes;
}

// What `items` stand for, by the window rules alone, given the last
// MAX_MATCH window positions left by the previous member.
inline Bytes expand_items(const std::vector<Item>& items, const uint8_t* tail)
{
    uint8_t ring[REF_WINDOW];
    memset(ring, 0x20, REF_WINDOW_START);
    memcpy(ring + REF_WINDOW_START, tail, REF_WINDOW - REF_WINDOW_START);
    int pos = REF_WINDOW_START;
    Bytes out;
    for (const Item& item : items) {
        if (item.literal >= 0) {
            out.push_back(static_cast<uint8_t>(item.literal));
            ring[pos] = static_cast<uint8_t>(item.literal);
            pos = (pos + 1) & 0xFFF;
            continue;
        }
        for (int i = 0; i < item.length; i++) {
            const uint8_t byte = ring[(pos - item.distance - 1) & 0xFFF];
            out.push_back(byte);
            ring[pos] = byte;
            pos = (pos + 1) & 0xFFF;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The product decoder over bytes in a real file.

// The archive stream open over `bytes` (written to "input.bin" in the
// current directory) for the life of the scope.
struct StreamOver {
    explicit StreamOver(const Bytes& bytes)
    {
        write_file("input.bin", bytes);
        EXPECT_TRUE(open_archive_stream("input.bin"));
        reset_bit_input();
    }
    ~StreamOver() { close_archive_stream(); }
    StreamOver(const StreamOver&) = delete;
    StreamOver& operator=(const StreamOver&) = delete;
};

// How many bytes the archive stream has delivered, those past the end of
// the file included.
inline uint64_t stream_position()
{
    const long file_position = ftell(archive_stream.file);
    return static_cast<uint64_t>(file_position) - static_cast<uint64_t>(archive_stream.end - archive_stream.next) +
           archive_stream.past_end;
}

// One member as the product decoded it.
struct MemberRun {
    Bytes output;
    uint16_t crc;
    uint64_t position;  // stream position after the member
};

// Decodes members of the given sizes one after the other from the open
// archive stream, each into "member.out" through put_output_byte.
inline std::vector<MemberRun> decode_open_stream(const std::vector<uint32_t>& sizes)
{
    std::vector<MemberRun> runs;
    for (uint32_t size : sizes) {
        EXPECT_TRUE(open_output_file("", "member.out"));
        crc_register = 0;
        decode_lh1(size);
        const uint16_t crc = output_crc();
        EXPECT_TRUE(close_output_file());
        runs.push_back(MemberRun{read_file("member.out"), crc, stream_position()});
    }
    return runs;
}

// Decodes `input` as members of the given sizes in a row.
inline std::vector<MemberRun> decode_members(const Bytes& input, const std::vector<uint32_t>& sizes)
{
    TempWorkspace workspace;
    StreamOver stream(input);
    return decode_open_stream(sizes);
}

// The reference over the same input, starting from the window tail that the
// product decoder has now.
inline std::vector<MemberRun> ref_decode_members(const Bytes& input, const std::vector<uint32_t>& sizes)
{
    Reference r;
    r.input = input;
    memcpy(r.window + REF_WINDOW_START, decoder_window + REF_WINDOW_START, REF_WINDOW - REF_WINDOW_START);
    std::vector<MemberRun> runs;
    for (uint32_t size : sizes) {
        Bytes out = ref_decode_member(r, size);
        const uint16_t crc = reference_crc16(out);
        runs.push_back(MemberRun{std::move(out), crc, r.bytes_read});
    }
    return runs;
}

}  // namespace lh1_test
