// lha/pack/lh1_encode.cpp: the -lh1- encoder.
//
// Module state, all of it for the member being encoded:
//   hash3_head, hash3_prev  the chains of three bytes: hash3_head[h] is
//                        the newest position whose next three bytes hash
//                        to h, or NO_POSITION; hash3_prev[p & WINDOW_MASK]
//                        the position before p on the same chain.
//   hash_head, hash_prev  the chains of four bytes, kept the same way.
//                        Positions count from the member's first byte, so
//                        a chain never leads before it; it is followed
//                        only while the distance fits the window.
//   symbol_price, distance_price  the price of each symbol in the model as
//                        it stood when the prices were last taken, and of
//                        each distance's position code (fixed), in
//                        PRICE_UNITs; log_units[f] is log2(f) in them.
//   price_log, log_state  the prices logged along the first pass of a
//                        member that is parsed again (PriceLog).
//   position_code, position_code_len  the code of each upper six bits of
//                        a distance, read off the decoder's tables.
//   priced_at            where the prices were last taken.
//   path_cost, path_step the parse of the current block: the cheapest known
//                        cost in PRICE_UNITs of reaching each offset in it, and the
//                        last item of that cheapest way.
//   block_items          the items of the chosen parse, last one first.
//   effort               how hard the current member is searched.
//   sink                 where packed bits go.
//   code_path            the way from the root to the leaf of the symbol
//                        being coded.
//   scratch              the packed data of a later parse, kept when it
//                        is the smaller.
//
// The parse: the input is cut into blocks; within a block every way of
// covering it with the literals and matches found is priced with the
// symbol frequencies of the model as it stood a little earlier, and the
// cheapest one is coded, each symbol with the model as it stands then
// (updated after every symbol, as the decoder does). Members up to
// REPRICE_INPUT bytes are parsed a second time, priced by the first pass,
// and small ones also lazily (Effort); the smallest result is kept.
#include "lha/pack/lh1_encode.h"

#include <cmath>
#include <cstring>

#include "lha/lh1_decode.h"
#include "lha/lh1_model.h"

// The match finder: chains of positions by a hash of three bytes and by a
// hash of four. 2^13 heads each are plenty for a window of 4096 positions.
constexpr int HASH_BITS = 13;
constexpr int HASH_SIZE = 1 << HASH_BITS;
constexpr int32_t NO_POSITION = -1;
// Links of the chain of three bytes followed for the nearest position whose
// three bytes are really the same: other trigrams of the same hash stand
// before it on the chain. Only the nearest one counts (a match of three is
// worth its cost only close by, and longer ones come from the other chain).
constexpr int HASH3_LINKS = 8;
// How hard the encoder searches. Large inputs take the fast way; small
// ones, where time does not count, the thorough one, and are also parsed
// lazily, the smaller result kept: on small inputs the adaptive model
// changes much while a block's prices stay fixed, and a plain lazy parse
// sometimes comes out ahead by a byte or two in a few hundred.
//   chain_depth   chain links followed at each position
//   take_at_once  a match this long is taken at once and ends the block:
//                 on long repeats the exact parse gains little and would
//                 cost up to MAX_MATCH steps per byte
//   skip_within   after a match this long is found, the positions inside
//                 it are not searched, only entered, up to skip_tail
//   skip_tail     bytes before its end, from where searching goes on
//   chain_runs    positions inside runs are entered into the chains too
struct Effort {
    int chain_depth;
    int take_at_once;
    int skip_within;
    int skip_tail;
    bool chain_runs;
};
// Measured on the bench data (bench/lh1_pack_bench.sh) against searching
// everything with 24 links: skipping inside matches of 12 or more costs
// 0.1% of the packed size and saves a sixth of the time on text (of 10 or
// more: 0.2%, a fifth), 16 links cost 0.1%, taking matches of 16 at once
// 0.02%. On small structured data (a map, an icon, relocation tables)
// searching the whole window, runs included, and exact parses gain a few
// per cent.
constexpr Effort FAST = {16, 16, 12, 3, false};
constexpr Effort THOROUGH = {WINDOW_SIZE, MAX_MATCH, MAX_MATCH + 1, 0, true};
constexpr size_t SMALL_INPUT = 64 * 1024;
static_assert(FAST.take_at_once >= MIN_MATCH && THOROUGH.take_at_once <= MAX_MATCH, "takes must be matches");
static_assert(FAST.skip_tail < FAST.skip_within, "searching goes on inside the match");

// Offsets a block spans before its parse is chosen and coded: longer
// blocks lose less at their ends (4096 gains 0.02% over 1024).
constexpr int BLOCK_SIZE = 2048;
// Bytes coded between two readings of the prices from the model: blocks
// cut short by a long match follow each other closely, and the model moves
// little in a few bytes.
constexpr int PRICE_INTERVAL = 1024;
// The re-priced pass: members up to REPRICE_INPUT bytes are parsed again,
// searched thoroughly, each block priced offset by offset with the prices
// the model had near there in the pass before, which knows what the block
// itself does to the model; the smaller result is kept. Those prices are
// logged every 2^shift offsets, the shift the smallest from
// PRICE_LOG_MIN_SHIFT up that keeps the rows within PRICE_LOG_ROWS. A
// third pass, priced by the second, gains nothing more.
constexpr size_t REPRICE_INPUT = 512 * 1024;
constexpr int PRICE_LOG_ROWS = 1024;
constexpr int PRICE_LOG_MIN_SHIFT = 6;
// A pass after the first is kept only when smaller, so it is written aside:
// one that needs more room than this is dropped.
constexpr size_t SCRATCH_SIZE = REPRICE_INPUT;
static_assert(SCRATCH_SIZE >= lh1_packed_bound(SMALL_INPUT), "a small member's lazy parse fits aside");
// Prices are in eighths of a bit. A frequency is at most FREQ_LIMIT, so the
// price of a symbol, log2 of two of them, fits a byte.
constexpr int PRICE_UNIT = 8;
static_assert(PRICE_UNIT * 15 < 256 && FREQ_LIMIT <= 1u << 15, "a symbol's price fits a byte");
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

// The log of prices: the first pass of a member that is re-priced takes
// (`taking`) one row of price_log every 2^shift offsets, each when an item
// starts at or after the row's offset, `rows` of them; the second pass
// reads them (`reading`) instead of symbol_price.
struct PriceLog {
    bool taking;
    bool reading;
    int shift;
    int rows;
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
static int32_t hash3_prev[WINDOW_SIZE];
static int32_t hash_prev[WINDOW_SIZE];
static uint8_t log_units[FREQ_LIMIT + 1];
static uint8_t symbol_price[SYMBOL_COUNT];
static uint8_t price_log[PRICE_LOG_ROWS][SYMBOL_COUNT];
static uint32_t distance_price[WINDOW_SIZE];
static uint32_t position_code[POSITION_HIGH_VALUES];
static int position_code_len[POSITION_HIGH_VALUES];
static uint32_t path_cost[BLOCK_SIZE + MAX_MATCH + 1];
static Step path_step[BLOCK_SIZE + MAX_MATCH + 1];
static Step block_items[BLOCK_SIZE + MAX_MATCH];
static BitSink sink;
static uint32_t code_path[SYMBOL_COUNT];
static Effort effort;
static uint8_t scratch[SCRATCH_SIZE];
static PriceLog log_state;
static int32_t priced_at;

// Once the output is too large, bits are still gathered (and dropped) but
// nothing more is stored; the parse stops at the end of its block.
static void put_bits(uint32_t value, int n)
{
    sink.bits = sink.bits << n | value;
    sink.count += n;
    while (sink.count >= 8) {
        sink.count -= 8;
        if (sink.written == sink.capacity) {
            sink.too_large = true;
            sink.count = 0;
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
        distance_price[d] =
            PRICE_UNIT * static_cast<uint32_t>(position_code_len[d >> POSITION_LOW_BITS] + POSITION_LOW_BITS);
    if (log_units[2] == 0)
        for (uint32_t f = 1; f <= FREQ_LIMIT; f++)
            log_units[f] = static_cast<uint8_t>(std::lround(PRICE_UNIT * std::log2(static_cast<double>(f))));
}

// The price of each symbol: the information of its frequency, log2 of the
// root's frequency over its leaf's, in PRICE_UNITs. The length of its code
// would do too, but it is whole bits, and the parse then often cannot tell
// two ways apart that the model will not code alike for long: the
// frequencies say better what a symbol costs over the next few hundred
// (0.2% smaller on a short text, 0.02% on the bench data).
static void take_symbol_prices(uint8_t* price)
{
    const uint32_t* const freq = model_freq;
    const int32_t* const parent = model_parent;
    const uint32_t root = log_units[freq[ROOT]];
    for (int s = 0; s < SYMBOL_COUNT; s++)
        price[s] = static_cast<uint8_t>(root - log_units[freq[parent[NODE_COUNT + s]]]);
}

// Before the item at `pos` is coded: logs the prices for every row whose
// offset pos has reached.
static void log_prices(int32_t pos)
{
    PriceLog& g = log_state;
    if (!g.taking || g.rows >= PRICE_LOG_ROWS || pos < g.rows << g.shift)
        return;
    uint8_t* const first = price_log[g.rows];
    take_symbol_prices(first);
    for (g.rows++; g.rows < PRICE_LOG_ROWS && g.rows << g.shift <= pos; g.rows++)
        memcpy(price_log[g.rows], first, SYMBOL_COUNT);
}

// The prices of the items that start at `pos`: symbol_price, or in the
// second pass the row of the first that was taken at or after pos (the
// last one past the last row).
static inline const uint8_t* prices_at(int32_t pos)
{
    const PriceLog& g = log_state;
    if (!g.reading)
        return symbol_price;
    const int row = ((pos - 1) >> g.shift) + 1;
    return price_log[row < g.rows ? row : g.rows - 1];
}

// performance-critical; rerun bench/lh1_pack_bench.sh.
//
// The encoding side of decode_char: the code of `symbol` is the way from
// the root down to its leaf, gathered here from the leaf up, the bit of
// each level being the node's place among its parent's two children. A
// first child always stands at an even position (init_model and
// rebuild_model join positions 2k and 2k + 1, and a trade moves nodes,
// not the places of children), so that place is the position's low bit.
// The update then follows the same way up, as decode_char's does.
static int encode_char(int symbol, uint64_t* code)
{
    uint64_t bits = 0;
    int length = 0;
    const int32_t* const parent = model_parent;
    size_t p = static_cast<uint32_t>(parent[NODE_COUNT + symbol]);
    // The way is stored from the end of code_path backwards, so that it
    // ends up root first, as decode_char leaves it.
    while (p != ROOT) {
        code_path[SYMBOL_COUNT - 1 - length] = static_cast<uint32_t>(p);
        bits |= static_cast<uint64_t>(p & 1) << length;
        length++;
        p = static_cast<uint32_t>(parent[p]);
    }
    *code = bits;
    update_model_along(code_path + SYMBOL_COUNT - length, length, symbol);
    return length;
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
// chains). find_matches loads four bytes at once, the one at the lowest
// address into the lowest bits, and takes the three from the low 24 bits.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "bytes are loaded as little-endian words");
static uint32_t hash3_at(const uint8_t* at)
{
    const uint32_t v = static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[1]) << 8 | at[0];
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

static uint32_t hash4_at(const uint8_t* at)
{
    uint32_t v;
    memcpy(&v, at, sizeof v);
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

// Whether the four bytes at `at` and the one before are all one value: a
// position inside a run, which the chains leave out (see find_matches)
// unless effort.chain_runs.
// Needs four bytes from at.
static bool inside_run(const uint8_t* at, int32_t pos)
{
    return !effort.chain_runs && pos > 0 && at[-1] == at[0] && at[0] == at[1] && at[1] == at[2] && at[2] == at[3];
}

// Enters position `pos` into the tables, after any search from it. The
// chains take positions with four bytes from them, but no position inside
// a run; the chains of three take every position with three.
static void insert_position(const uint8_t* data, int32_t pos, int32_t size)
{
    const uint8_t* const at = data + pos;
    const uint32_t h3 = hash3_at(at);
    hash3_prev[pos & WINDOW_MASK] = hash3_head[h3];
    hash3_head[h3] = pos;
    if (size - pos >= 4 && !inside_run(at, pos)) {
        const uint32_t h = hash4_at(at);
        hash_prev[pos & WINDOW_MASK] = hash_head[h];
        hash_head[h] = pos;
    }
}

// How many of the first `avail` bytes at `here` and `there` agree; the
// first one is known to. With `whole_words`, eight bytes past avail may be
// read: then eight bytes are compared at a time, and the first byte that
// differs is the lowest set byte of their difference (little-endian).
static inline int common_length(const uint8_t* here, const uint8_t* there, int avail, bool whole_words)
{
    int n = 1;
    if (whole_words) {
        for (;;) {
            uint64_t a;
            uint64_t b;
            memcpy(&a, here + n, sizeof a);
            memcpy(&b, there + n, sizeof b);
            if (a != b) {
                n += __builtin_ctzll(a ^ b) >> 3;
                return n < avail ? n : avail;
            }
            n += 8;
            if (n >= avail)
                return avail;
        }
    }
    while (n < avail && there[n] == here[n])
        n++;
    return n;
}

// The state of one search from a position: what find_matches has found.
struct Search {
    const uint8_t* data;
    int32_t pos;
    int avail;
    bool whole_words;
    int best;
    int count;
    Candidate* found;
};

// Follows a chain from `at`, trying at + shift for each position on it,
// from the nearest, while the candidate lies inside the window and the
// member and for `links` links. Links within the window are never
// stale: a slot is taken over only by a position WINDOW_SIZE later, so the
// chain leads back.
__attribute__((always_inline)) static inline void follow_chain(Search& s, int32_t at, int32_t shift, int links)
{
    const uint8_t* const here = s.data + s.pos;
    const int32_t lowest = (s.pos > WINDOW_SIZE ? s.pos - WINDOW_SIZE : 0) - shift;
    for (; at >= lowest && links > 0; links--) {
        const uint8_t* const there = s.data + at + shift;
        if (there[s.best] == here[s.best] && there[0] == here[0]) {
            const int n = common_length(here, there, s.avail, s.whole_words);
            if (n > s.best) {
                s.best = n;
                s.found[s.count++] = Candidate{n, s.pos - (at + shift) - 1};
                if (n == s.avail)
                    return;
            }
        }
        at = hash_prev[at & WINDOW_MASK];
    }
}

// performance-critical; rerun bench/lh1_pack_bench.sh.
//
// The matches at `pos`, each longer than the one before, the nearest
// first: for every length the nearest distance found that gives it, which
// has the cheapest position code. `avail` is the bytes left from pos, at
// least MIN_MATCH. Every position found is checked byte by byte, so a
// collision of hashes or a stale link costs time, never correctness.
//
// The nearest three equal bytes come from the chain of three, followed for
// HASH3_LINKS links; longer matches from the chain of the next four bytes,
// followed while the distance fits the window (at most WINDOW_SIZE bytes
// back, distance 4095), while it leads back, and for effort.chain_depth
// links. The oldest position of the window, at distance 4095, is the last
// on its chain and out of reach of a short walk, so it is tried on its own:
// a text that comes again after exactly WINDOW_SIZE bytes matches only
// there. Positions inside runs are not in the
// chains, or a run would fill them and hide every older match. From the
// start of a run, or inside one, the chain of the run's last byte is
// followed instead, which holds the last bytes of earlier runs of the same
// byte followed by the same three: the match lies as far before such a one
// as here lies before the end of this run (a wall in a map a row above,
// say).
// Then enters pos, as insert_position does. Returns the number of
// candidates.
static int find_matches(const uint8_t* data, int32_t pos, int32_t size, int avail, Candidate* found)
{
    const uint8_t* const here = data + pos;
    Search s{data, pos, avail, size - pos >= MAX_MATCH + 8, MIN_MATCH - 1, 0, found};
    uint32_t h3 = 0;
    uint32_t h4 = 0;
    if (avail >= 4) {
        // One load for both hashes; the three bytes are the low 24 bits.
        uint32_t v;
        memcpy(&v, here, sizeof v);
        h3 = ((v & 0xFFFFFF) * 2654435761u) >> (32 - HASH_BITS);
        h4 = (v * 2654435761u) >> (32 - HASH_BITS);
    } else {
        h3 = hash3_at(here);
    }
    const int32_t lowest = pos > WINDOW_SIZE ? pos - WINDOW_SIZE : 0;
    int32_t near = hash3_head[h3];
    for (int links = HASH3_LINKS; near >= lowest && links > 0; links--) {
        const uint8_t* const there = data + near;
        if (there[0] == here[0] && there[1] == here[1] && there[2] == here[2]) {
            s.best = common_length(here, there, avail, s.whole_words);
            found[s.count++] = Candidate{s.best, pos - near - 1};
            break;
        }
        near = hash3_prev[near & WINDOW_MASK];
    }
    const bool four_equal = avail >= 4 && here[1] == here[0] && here[2] == here[0] && here[3] == here[0];
    if (s.best < avail && avail >= 4) {
        follow_chain(s, hash_head[h4], 0, effort.chain_depth);
        if (pos >= WINDOW_SIZE && s.best < avail)
            follow_chain(s, pos - WINDOW_SIZE, 0, 1);
        if (four_equal && s.best < avail) {
            // A run of four or more, which ends at run_end. The chain above
            // held the starts of earlier runs of the same byte. When this
            // one ends short of avail, the position before run_end is on a
            // chain as any other, and so is the last byte of every earlier
            // run of the same byte followed by the same three.
            int run_end = 4;
            while (run_end < avail && here[run_end] == here[0])
                run_end++;
            const uint8_t* const last = here + run_end - 1;
            if (run_end < avail && run_end + 3 <= size - pos)
                follow_chain(s, hash_head[hash4_at(last)], -(run_end - 1), effort.chain_depth);
            // And the nearest such run followed by the same two bytes.
            if (run_end < avail && run_end + 2 <= size - pos && s.best < avail)
                follow_chain(s, hash3_head[hash3_at(last)], -(run_end - 1), 1);
        }
    }
    hash3_prev[pos & WINDOW_MASK] = hash3_head[h3];
    hash3_head[h3] = pos;
    if (avail >= 4 && !(four_equal && inside_run(here, pos))) {
        hash_prev[pos & WINDOW_MASK] = hash_head[h4];
        hash_head[h4] = pos;
    }
    return s.count;
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
// Chooses the cheapest parse of the block at `start` into path_step and
// returns the block's length. Entry: every position before start is in its
// chain. Every offset up to the block's end is reached by literals, so the
// parse ends exactly there, except that a match of effort.take_at_once
// bytes or more ends the block with itself. Positions inside a match of
// effort.skip_within bytes offer literals only, up to its last
// effort.skip_tail. Exit: every position before the block's end is in its
// chain.
static int choose_block_parse(const uint8_t* data, int32_t start, int32_t size)
{
    if (start == 0 || start - priced_at >= PRICE_INTERVAL) {
        take_symbol_prices(symbol_price);
        priced_at = start;
    }
    const int limit = size - start < BLOCK_SIZE ? size - start : BLOCK_SIZE;
    // Offsets are marked unreached MAX_MATCH ahead of the one whose items
    // are priced, so that a block cut short costs no more than its length.
    for (int i = 1; i <= MAX_MATCH; i++)
        path_cost[i] = UNREACHED;
    path_cost[0] = 0;

    int end = limit;
    int search_from = 0;
    Candidate found[MAX_MATCH];
    for (int i = 0; i < end; i++) {
        const int32_t pos = start + i;
        const uint32_t here = path_cost[i];
        const uint8_t* const price = prices_at(pos);
        path_cost[i + MAX_MATCH] = UNREACHED;
        relax(i + 1, here + price[data[pos]], Step{1, 0});
        const int avail = size - pos < MAX_MATCH ? size - pos : MAX_MATCH;
        if (avail < MIN_MATCH)
            continue;
        if (i < search_from) {
            insert_position(data, pos, size);
            continue;
        }
        const int count = find_matches(data, pos, size, avail, found);
        if (count > 0 && found[count - 1].length >= effort.skip_within)
            search_from = i + found[count - 1].length - effort.skip_tail;
        int length = MIN_MATCH;
        for (int c = 0; c < count; c++) {
            const Candidate m = found[c];
            const uint32_t base = here + distance_price[m.distance];
            for (; length <= m.length; length++)
                relax(i + length, base + price[LENGTH_SYMBOL_BASE + length],
                      Step{static_cast<uint16_t>(length), static_cast<uint16_t>(m.distance)});
        }
        if (count > 0 && found[count - 1].length >= effort.take_at_once) {
            const Candidate m = found[count - 1];
            end = i + m.length;
            path_step[end] = Step{static_cast<uint16_t>(m.length), static_cast<uint16_t>(m.distance)};
            for (int k = 1; k < m.length; k++)
                if (size - (pos + k) >= MIN_MATCH)
                    insert_position(data, pos + k, size);
            break;
        }
    }
    return end;
}

// Codes the block at `start`, `end` offsets long, by the parse that
// path_step holds: the way back from its end gives the items last first.
static void code_block_parse(const uint8_t* data, int32_t start, int end)
{
    int items = 0;
    for (int at = end; at > 0; at -= path_step[at].length)
        block_items[items++] = path_step[at];
    int32_t pos = start;
    while (items > 0) {
        const Step s = block_items[--items];
        log_prices(pos);
        if (s.length == 1) {
            put_symbol(data[pos]);
        } else {
            put_symbol(LENGTH_SYMBOL_BASE + s.length);
            put_distance(s.distance);
        }
        pos += s.length;
    }
}

// Chooses the parse of the block at `start` and codes it; returns where
// the next block starts.
static int32_t encode_block(const uint8_t* data, int32_t start, int32_t size)
{
    const int end = choose_block_parse(data, start, size);
    code_block_parse(data, start, end);
    return start + end;
}

// The longest match at `pos`, or a length below MIN_MATCH when there is
// none; enters pos.
static Candidate longest_match(const uint8_t* data, int32_t pos, int32_t size)
{
    Candidate found[MAX_MATCH];
    const int avail = size - pos < MAX_MATCH ? size - pos : MAX_MATCH;
    if (avail < MIN_MATCH)
        return Candidate{0, 0};
    const int count = find_matches(data, pos, size, avail, found);
    return count > 0 ? found[count - 1] : Candidate{0, 0};
}

// The other parse: the longest match at each step, unless the next position
// has a longer one, in which case a literal goes first.
static void encode_lazily(const uint8_t* data, int32_t size)
{
    int32_t pos = 0;
    Candidate current = longest_match(data, pos, size);
    while (pos < size && !sink.too_large) {
        if (current.length < MIN_MATCH) {
            put_symbol(data[pos++]);
            current = pos < size ? longest_match(data, pos, size) : Candidate{0, 0};
            continue;
        }
        const Candidate next = pos + 1 < size ? longest_match(data, pos + 1, size) : Candidate{0, 0};
        if (next.length > current.length) {
            put_symbol(data[pos++]);
            current = next;
            continue;
        }
        put_symbol(LENGTH_SYMBOL_BASE + current.length);
        put_distance(current.distance);
        for (int k = 2; k < current.length; k++)
            if (size - (pos + k) >= MIN_MATCH)
                insert_position(data, pos + k, size);
        pos += current.length;
        current = pos < size ? longest_match(data, pos, size) : Candidate{0, 0};
    }
}

enum Parse { PARSE_CHEAPEST, PARSE_LAZY };

// One encoding of the whole member by one way of parsing it.
static size_t encode_by(Parse parse, const uint8_t* data, int32_t size, uint8_t* out, size_t capacity)
{
    sink = BitSink{out, capacity, 0, false, 0, 0};
    init_model();
    for (int32_t& head : hash_head)
        head = NO_POSITION;
    for (int32_t& head : hash3_head)
        head = NO_POSITION;
    if (parse == PARSE_LAZY)
        encode_lazily(data, size);
    else
        for (int32_t pos = 0; pos < size && !sink.too_large;)
            pos = encode_block(data, pos, size);
    if (sink.too_large)
        return LH1_TOO_LARGE;
    if (sink.count > 0)
        put_bits(0, 8 - sink.count);
    return sink.too_large ? LH1_TOO_LARGE : sink.written;
}

size_t encode_lh1(const uint8_t* data, size_t size, uint8_t* out, size_t capacity)
{
    if (size == 0)
        return 0;
    make_position_codes();
    const int32_t total = static_cast<int32_t>(size);
    effort = size <= SMALL_INPUT ? THOROUGH : FAST;
    int shift = PRICE_LOG_MIN_SHIFT;
    while ((size - 1) >> shift >= PRICE_LOG_ROWS)
        shift++;
    const bool reprice = size <= REPRICE_INPUT;
    log_state = PriceLog{reprice, false, shift, 0};
    size_t best = encode_by(PARSE_CHEAPEST, data, total, out, capacity);
    // The second pass is only of use when smaller. It searches thoroughly:
    // on a member of this size that costs little, and the prices of the
    // first pass let the parse make use of what it finds (0.6% smaller on
    // text, where a faster search re-priced gains 0.01%).
    effort = THOROUGH;
    if (reprice && best != LH1_TOO_LARGE) {
        log_state.taking = false;
        log_state.reading = true;
        const size_t room = best - 1;
        const size_t other =
            encode_by(PARSE_CHEAPEST, data, total, scratch, room < sizeof scratch ? room : sizeof scratch);
        if (other != LH1_TOO_LARGE) {
            memcpy(out, scratch, other);
            best = other;
        }
    }
    if (size <= SMALL_INPUT) {
        const size_t room = best == LH1_TOO_LARGE ? capacity : best - 1;
        const size_t other = encode_by(PARSE_LAZY, data, total, scratch, room < sizeof scratch ? room : sizeof scratch);
        if (other != LH1_TOO_LARGE) {
            memcpy(out, scratch, other);
            best = other;
        }
    }
    return best;
}
