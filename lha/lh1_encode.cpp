// lha/lh1_encode.cpp: the -lh1- encoder.
//
// Module state, all of it for the member being encoded:
//   hash_head, hash_prev  the match finder: hash_head[h] is the newest
//                        position whose next MIN_MATCH bytes hash to h, or
//                        NO_POSITION; hash_prev[p & WINDOW_MASK] the
//                        position before p on the same chain. Positions
//                        count from the member's first byte, so a chain
//                        never leads before it; it is followed only while
//                        the distance fits the window.
//   symbol_price, distance_price  bits of each symbol in the model as it
//                        stood at the start of the current block, and of
//                        each distance's position code (fixed).
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

// The match finder. A hash of the next MIN_MATCH bytes picks the chain.
constexpr int HASH_BITS = 15;
constexpr int HASH_SIZE = 1 << HASH_BITS;
constexpr int32_t NO_POSITION = -1;
// Chain links followed at each position: deeper finds a little more and
// costs time in proportion.
constexpr int CHAIN_DEPTH = 48;
// A match this long is taken at once and ends the block: on long repeats
// the exact parse gains nothing and would cost up to MAX_MATCH steps per
// byte.
constexpr int TAKE_AT_ONCE = 48;
static_assert(TAKE_AT_ONCE <= MAX_MATCH, "a match to take at once must be possible");

// Offsets a block spans before its parse is chosen and coded; the prices
// follow the adaptive model from one block to the next.
constexpr int BLOCK_SIZE = 1024;
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
static int32_t hash_prev[WINDOW_SIZE];
static uint32_t symbol_price[SYMBOL_COUNT];
static uint32_t distance_price[WINDOW_SIZE];
static uint32_t position_code[POSITION_HIGH_VALUES];
static int position_code_len[POSITION_HIGH_VALUES];
static uint32_t path_cost[BLOCK_SIZE + MAX_MATCH + 1];
static Step path_step[BLOCK_SIZE + MAX_MATCH + 1];
static Step block_items[BLOCK_SIZE + MAX_MATCH];
static BitSink sink;

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

// Writes the code of `symbol` (the way from the root down to its leaf,
// gathered from the leaf up) and adds the symbol to the model, as
// decode_char does after reading it.
static void put_symbol(int symbol)
{
    uint64_t code = 0;
    int length = 0;
    int p = parent[NODE_COUNT + symbol];
    while (p != ROOT) {
        const int up = parent[p];
        code |= static_cast<uint64_t>(p - child[up]) << length;
        length++;
        p = up;
    }
    // At most 23 bits (lha/lh1_encode.h); split only to keep put_bits' limit.
    if (length > 32) {
        put_bits(static_cast<uint32_t>(code >> 32), length - 32);
        length = 32;
    }
    put_bits(static_cast<uint32_t>(code & 0xFFFFFFFFu), length);
    update_model(symbol);
}

static void put_distance(int distance)
{
    const int u = distance >> POSITION_LOW_BITS;
    put_bits(position_code[u] << POSITION_LOW_BITS | (static_cast<uint32_t>(distance) & 0x3F),
             position_code_len[u] + POSITION_LOW_BITS);
}

static uint32_t hash_at(const uint8_t* at)
{
    const uint32_t v = static_cast<uint32_t>(at[0]) << 16 | static_cast<uint32_t>(at[1]) << 8 | at[2];
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

// Enters position `pos` (with at least MIN_MATCH bytes from it) into its
// chain, after hash_prev's slot for it has been read by any search.
static void insert_position(const uint8_t* data, int32_t pos)
{
    const uint32_t h = hash_at(data + pos);
    hash_prev[pos & WINDOW_MASK] = hash_head[h];
    hash_head[h] = pos;
}

// performance-critical; rerun bench/lh1_pack_bench.sh.
//
// The matches at `pos`, nearest first, each longer than the one before:
// for every length the nearest distance that gives it, which has the
// cheapest position code. `avail` is the bytes left from pos, at least
// MIN_MATCH. A chain is followed while the distance fits the window (at
// most WINDOW_SIZE bytes back, distance 4095) and for CHAIN_DEPTH links.
// Also enters pos into its chain. Returns the number of candidates.
static int find_matches(const uint8_t* data, int32_t pos, int avail, Candidate* found)
{
    const uint8_t* const here = data + pos;
    const uint32_t h = hash_at(here);
    int32_t at = hash_head[h];
    int best = MIN_MATCH - 1;
    int count = 0;
    for (int links = CHAIN_DEPTH; at != NO_POSITION && pos - at <= WINDOW_SIZE && links > 0; links--) {
        const uint8_t* const there = data + at;
        if (there[best] == here[best] && there[0] == here[0]) {
            int n = 1;
            while (n < avail && there[n] == here[n])
                n++;
            if (n > best) {
                best = n;
                found[count++] = Candidate{n, pos - at - 1};
                if (n == avail)
                    break;
            }
        }
        at = hash_prev[at & WINDOW_MASK];
    }
    hash_prev[pos & WINDOW_MASK] = hash_head[h];
    hash_head[h] = pos;
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
    take_symbol_prices();
    const int limit = size - start < BLOCK_SIZE ? size - start : BLOCK_SIZE;
    for (int i = 1; i <= limit + MAX_MATCH; i++)
        path_cost[i] = UNREACHED;
    path_cost[0] = 0;

    int end = limit;
    Candidate found[MAX_MATCH];
    for (int i = 0; i < end; i++) {
        const int32_t pos = start + i;
        const uint32_t here = path_cost[i];
        relax(i + 1, here + symbol_price[data[pos]], Step{1, 0});
        const int avail = size - pos < MAX_MATCH ? size - pos : MAX_MATCH;
        if (avail < MIN_MATCH)
            continue;
        const int count = find_matches(data, pos, avail, found);
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
                    insert_position(data, pos + k);
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
    const int32_t total = static_cast<int32_t>(size);
    for (int32_t pos = 0; pos < total && !sink.too_large;)
        pos = encode_block(data, pos, total);
    if (sink.count > 0)
        put_bits(0, 8 - sink.count);
    return sink.too_large ? LH1_TOO_LARGE : sink.written;
}
