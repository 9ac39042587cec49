// lha/lh1_encode.cpp: the -lh1- encoder.
//
// Module state, all of it for the member being encoded:
//   hash3_head           the newest position whose next three bytes hash
//                        to h, or NO_POSITION.
//   hash_head, hash_prev  the chains: hash_head[h] is the newest position
//                        whose next four bytes hash to h, or NO_POSITION;
//                        hash_prev[p & WINDOW_MASK] the position before p
//                        on the same chain. Positions
//                        count from the member's first byte, so a chain
//                        never leads before it; it is followed only while
//                        the distance fits the window.
//   symbol_price, distance_price  bits of each symbol in the model as it
//                        stood at the start of the current block, and of
//                        each distance's position code (fixed).
//   priced_at            where the prices were last taken.
//   path_cost, path_step the parse of the current block: the cheapest known
//                        cost in bits of reaching each offset in it, and the
//                        last item of that cheapest way.
//   block_items          the items of the chosen parse, last one first.
//   sink                 where packed bits go.
//
// The parse: the input is cut into blocks; within a block every way of
// covering it with literals and matches is priced with the model of the
// block's start, and the cheapest one is coded, each symbol with the model
// as it stands then (updated after every symbol, as the decoder does).
#include "lha/lh1_encode.h"

#include <cstring>

#include "lha/lh1_decode.h"
#include "lha/lh1_model.h"

// Symbol of the shortest match; a match of length n is symbol n + 253.
constexpr int FIRST_MATCH_SYMBOL = 256;
constexpr int LENGTH_SYMBOL_BASE = FIRST_MATCH_SYMBOL - MIN_MATCH;
static_assert(LENGTH_SYMBOL_BASE + MAX_MATCH == SYMBOL_COUNT - 1, "symbol 313 is the longest match");

// Bits of a position code: 3 to 8 for the upper six bits, then the lower six.
constexpr int POSITION_LOW_BITS = 6;
constexpr int POSITION_HIGH_VALUES = WINDOW_SIZE >> POSITION_LOW_BITS;
constexpr int POSITION_CODE_MAX = 8;
static_assert(POSITION_TABLE_SIZE == 1 << POSITION_CODE_MAX, "the tables are indexed by eight bits");

// The match finder: a table of the newest position of each hash of three
// bytes, and chains of positions by a hash of four. 2^13 entries each are
// plenty for a window of 4096 positions.
constexpr int HASH_BITS = 13;
constexpr int HASH_SIZE = 1 << HASH_BITS;
constexpr int32_t NO_POSITION = -1;
// Chain links followed at each position. On the bench data 40 links gain
// 0.15% over 24 and cost 5% more time; 12 lose 0.1%.
constexpr int CHAIN_DEPTH = 24;
// A match this long is taken at once and ends the block: on long repeats
// the exact parse gains next to nothing (0.02% at 48 against 16) and
// would cost up to MAX_MATCH steps per byte.
constexpr int TAKE_AT_ONCE = 16;
static_assert(TAKE_AT_ONCE <= MAX_MATCH, "a match to take at once must be possible");

// Offsets a block spans before its parse is chosen and coded: longer
// blocks lose less at their ends (4096 gains 0.02% over 1024).
constexpr int BLOCK_SIZE = 2048;
// Bytes coded between two readings of the prices from the model: blocks
// cut short by a long match follow each other closely, and the model moves
// little in a few bytes.
constexpr int PRICE_INTERVAL = 512;
// path_cost of an offset that no parse reaches yet.
constexpr uint32_t UNREACHED = ~uint32_t{0};

// One step of a parse: a literal (length 1) or a match.
struct Step {
    uint16_t length;    // 1 for a literal, MIN_MATCH to MAX_MATCH for a match
    uint16_t distance;  // match: 0 is the byte just before
};

// A match found at a position: the longest at each distance, for lengths
// from the previous candidate's plus one to `length`.
struct Candidate {
    int length;
    int distance;
};

// Where the packed bits go: bits wait in `bits` (the first at the top of
// the `count` bits that count), whole bytes go to out.
struct BitSink {
    uint8_t* out;
    size_t capacity;
    size_t written;
    bool too_large;
    uint64_t bits;
    int count;
};

static int32_t hash_head[HASH_SIZE];
static int32_t hash3_head[HASH_SIZE];
static int32_t hash_prev[WINDOW_SIZE];
static uint32_t symbol_price[SYMBOL_COUNT];
static uint32_t distance_price[WINDOW_SIZE];
static uint32_t position_code[POSITION_HIGH_VALUES];
static int position_code_len[POSITION_HIGH_VALUES];
static uint32_t path_cost[BLOCK_SIZE + MAX_MATCH + 1];
static Step path_step[BLOCK_SIZE + MAX_MATCH + 1];
static Step block_items[BLOCK_SIZE + MAX_MATCH];
static BitSink sink;
static int32_t priced_at;

static void put_bits(uint32_t value, int n)
{
    sink.bits = sink.bits << n | value;
    sink.count += n;
    while (sink.count >= 8) {
        sink.count -= 8;
        if (sink.written == sink.capacity) {
            sink.too_large = true;
            return;
        }
        sink.out[sink.written++] = static_cast<uint8_t>(sink.bits >> sink.count);
    }
}

// The code of each upper value u, read off the decoder's tables: the top
// pos_code_len bits of the first entry that gives u.
static void make_position_codes()
{
    for (int b = POSITION_TABLE_SIZE - 1; b >= 0; b--) {
        const int u = pos_high[static_cast<size_t>(b)];
        const int length = pos_code_len[static_cast<size_t>(b)];
        position_code[u] = static_cast<uint32_t>(b >> (POSITION_CODE_MAX - length));
        position_code_len[u] = length;
    }
    for (int d = 0; d < WINDOW_SIZE; d++)
        distance_price[d] = static_cast<uint32_t>(position_code_len[d >> POSITION_LOW_BITS] + POSITION_LOW_BITS);
}

// The depth of every leaf is the length of its symbol's code. A parent's
// frequency exceeds each child's and frequencies never fall with position,
// so every parent stands above its children: one pass from the root down
// gives every depth.
static void take_symbol_prices()
{
    static uint32_t depth[NODE_COUNT];
    depth[ROOT] = 0;
    for (int p = ROOT - 1; p >= 0; p--)
        depth[p] = depth[parent[p]] + 1;
    for (int s = 0; s < SYMBOL_COUNT; s++)
        symbol_price[s] = depth[parent[NODE_COUNT + s]];
}

// Writes the code of `symbol` and adds the symbol to the model, as
// decode_char does after reading it.
static void put_symbol(int symbol)
{
    uint64_t code = 0;
    int length = encode_char(symbol, &code);
    // At most 23 bits (lha/lh1_model.h); split only to keep put_bits' limit.
    if (length > 32) {
        put_bits(static_cast<uint32_t>(code >> 32), length - 32);
        length = 32;
    }
    put_bits(static_cast<uint32_t>(code & 0xFFFFFFFFu), length);
}

static void put_distance(int distance)
{
    const int u = distance >> POSITION_LOW_BITS;
    put_bits(position_code[u] << POSITION_LOW_BITS | (static_cast<uint32_t>(distance) & 0x3F),
             position_code_len[u] + POSITION_LOW_BITS);
}

// The hash of the next three bytes (hash3_head) and of the next four (the
// chains).
static uint32_t hash3_at(const uint8_t* at)
{
    const uint32_t v = static_cast<uint32_t>(at[0]) << 16 | static_cast<uint32_t>(at[1]) << 8 | at[2];
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

static uint32_t hash4_at(const uint8_t* at)
{
    uint32_t v;
    memcpy(&v, at, sizeof v);
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

// Enters position `pos` into the tables, after any search from it. The
// chains take positions with four bytes from them, hash3_head those with
// three.
static void insert_position(const uint8_t* data, int32_t pos, int32_t size)
{
    hash3_head[hash3_at(data + pos)] = pos;
    if (size - pos >= 4) {
        const uint32_t h = hash4_at(data + pos);
        hash_prev[pos & WINDOW_MASK] = hash_head[h];
        hash_head[h] = pos;
    }
}

// How many of the first `avail` bytes at `here` and `there` agree; the
// first one is known to. With `whole_words`, eight bytes past avail may be
// read.
static inline int common_length(const uint8_t* here, const uint8_t* there, int avail, bool whole_words)
{
    int n = 1;
    if (whole_words) {
        for (;;) {
            uint64_t a;
            uint64_t b;
            memcpy(&a, here + n, sizeof a);
            memcpy(&b, there + n, sizeof b);
            if (a != b)
                break;
            n += 8;
            if (n >= avail)
                return avail;
        }
    }
    // Word by word to the first word that differs, then byte by byte.
    while (n < avail && there[n] == here[n])
        n++;
    return n;
}

// performance-critical; rerun bench/lh1_pack_bench.sh.
//
// The matches at `pos`, nearest first, each longer than the one before:
// for every length the nearest distance that gives it, which has the
// cheapest position code. `avail` is the bytes left from pos, at least
// MIN_MATCH. The nearest three equal bytes come from hash3_head; longer
// matches from the chain of four, which is followed while the distance
// fits the window (at most WINDOW_SIZE bytes back, distance 4095) and for
// CHAIN_DEPTH links. Every position found is checked byte by byte, so a
// collision of hashes costs time, never correctness. Also enters pos.
// Returns the number of candidates.
static int find_matches(const uint8_t* data, int32_t pos, int32_t size, int avail, Candidate* found)
{
    const bool whole_words = size - pos >= MAX_MATCH + 8;
    const uint8_t* const here = data + pos;
    int best = MIN_MATCH - 1;
    int count = 0;
    const int32_t near = hash3_head[hash3_at(here)];
    if (near != NO_POSITION && pos - near <= WINDOW_SIZE) {
        const uint8_t* const there = data + near;
        if (there[0] == here[0] && there[1] == here[1] && there[2] == here[2]) {
            best = common_length(here, there, avail, whole_words);
            found[count++] = Candidate{best, pos - near - 1};
        }
    }
    if (avail > best && avail >= 4) {
        int32_t at = hash_head[hash4_at(here)];
        for (int links = CHAIN_DEPTH; at != NO_POSITION && pos - at <= WINDOW_SIZE && links > 0; links--) {
            const uint8_t* const there = data + at;
            if (there[best] == here[best] && there[0] == here[0]) {
                const int n = common_length(here, there, avail, whole_words);
                if (n > best) {
                    best = n;
                    found[count++] = Candidate{n, pos - at - 1};
                    if (n == avail)
                        break;
                }
            }
            at = hash_prev[at & WINDOW_MASK];
        }
    }
    insert_position(data, pos, size);
    return count;
}

static void relax(int to, uint32_t cost, Step step)
{
    if (cost < path_cost[to]) {
        path_cost[to] = cost;
        path_step[to] = step;
    }
}

// performance-critical; rerun bench/lh1_pack_bench.sh.
//
// Chooses the cheapest parse of the block at `start` and codes it. Entry:
// every position before start is in its chain. Every offset up to the
// block's end is reached by literals, so the parse ends exactly there,
// except that a match of TAKE_AT_ONCE bytes or more ends the block with
// itself. Exit: every position before the returned end is in its chain.
static int32_t encode_block(const uint8_t* data, int32_t start, int32_t size)
{
    if (start == 0 || start - priced_at >= PRICE_INTERVAL) {
        take_symbol_prices();
        priced_at = start;
    }
    const int limit = size - start < BLOCK_SIZE ? size - start : BLOCK_SIZE;
    // Offsets are marked unreached MAX_MATCH ahead of the one whose items
    // are priced, so that a block cut short costs no more than its length.
    for (int i = 1; i <= MAX_MATCH; i++)
        path_cost[i] = UNREACHED;
    path_cost[0] = 0;

    int end = limit;
    Candidate found[MAX_MATCH];
    for (int i = 0; i < end; i++) {
        const int32_t pos = start + i;
        const uint32_t here = path_cost[i];
        path_cost[i + MAX_MATCH] = UNREACHED;
        relax(i + 1, here + symbol_price[data[pos]], Step{1, 0});
        const int avail = size - pos < MAX_MATCH ? size - pos : MAX_MATCH;
        if (avail < MIN_MATCH)
            continue;
        const int count = find_matches(data, pos, size, avail, found);
        int length = MIN_MATCH;
        for (int c = 0; c < count; c++) {
            const Candidate m = found[c];
            const uint32_t base = here + distance_price[m.distance];
            for (; length <= m.length; length++)
                relax(i + length, base + symbol_price[LENGTH_SYMBOL_BASE + length],
                      Step{static_cast<uint16_t>(length), static_cast<uint16_t>(m.distance)});
        }
        if (count > 0 && found[count - 1].length >= TAKE_AT_ONCE) {
            const Candidate m = found[count - 1];
            end = i + m.length;
            path_step[end] = Step{static_cast<uint16_t>(m.length), static_cast<uint16_t>(m.distance)};
            for (int k = 1; k < m.length; k++)
                if (size - (pos + k) >= MIN_MATCH)
                    insert_position(data, pos + k, size);
            break;
        }
    }

    int items = 0;
    for (int at = end; at > 0; at -= path_step[at].length)
        block_items[items++] = path_step[at];
    int32_t pos = start;
    while (items > 0) {
        const Step s = block_items[--items];
        if (s.length == 1) {
            put_symbol(data[pos]);
        } else {
            put_symbol(LENGTH_SYMBOL_BASE + s.length);
            put_distance(s.distance);
        }
        pos += s.length;
    }
    return start + end;
}

size_t encode_lh1(const uint8_t* data, size_t size, uint8_t* out, size_t capacity)
{
    sink = BitSink{out, capacity, 0, false, 0, 0};
    if (size == 0)
        return 0;
    make_position_codes();
    init_model();
    for (int32_t& head : hash_head)
        head = NO_POSITION;
    for (int32_t& head : hash3_head)
        head = NO_POSITION;
    const int32_t total = static_cast<int32_t>(size);
    for (int32_t pos = 0; pos < total && !sink.too_large;)
        pos = encode_block(data, pos, total);
    if (sink.count > 0)
        put_bits(0, 8 - sink.count);
    return sink.too_large ? LH1_TOO_LARGE : sink.written;
}
