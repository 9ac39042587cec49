// lha/lh1_model.cpp: the bit input of -lh1- members and the adaptive
// Huffman model of their symbols.
//
// Module state (the layouts are drawn in lha/lh1_model.h):
//   model_freq, model_child, model_parent  the code tree, in positions
//                        ordered by frequency. Between calls: frequencies
//                        never fall with position, the two children of a
//                        node stand side by side and sum to its frequency,
//                        the root is at ROOT, every leaf has a frequency of
//                        at least 1.
//   bit_buffer, bit_count  the bit input: up to 64 bits read ahead of need,
//                        next bit at bit 63. Whole bytes read ahead go back
//                        to the archive stream at the end of each member.
//   walk_path            the positions the last walk from the root passed
//                        through, first the root's child, last the leaf;
//                        meaningful only inside decode_char. A tree of
//                        SYMBOL_COUNT leaves is at most SYMBOL_COUNT - 1
//                        levels deep.
//   top_table, top_mark, top_generation, top_stale
//                        the first TOP_BITS levels of the tree walked in
//                        advance for every value of the next TOP_BITS bits
//                        (layout at TopStep). Valid while top_stale is
//                        false: a rebuild, a fresh model, or a trade of a
//                        position the table read (top_mark[position] ==
//                        top_generation) makes it stale, and decode_char
//                        walks it again before its next use.
//
// Nothing here detects or reports anything: every bit sequence walks to a
// leaf, and past the end of the archive every bit is 1.
#include "lha/lh1_model.h"

#include <cstring>

uint32_t model_freq[NODE_COUNT + 1];
int32_t model_child[NODE_COUNT];
int32_t model_parent[PARENT_COUNT];

uint64_t bit_buffer;
int32_t bit_count;

// Bits made available before a walk from the root. A walk that goes deeper
// refills on the way, so this only sets how often refills happen.
constexpr int WALK_BITS = 24;
static_assert(WALK_BITS <= BIT_REFILL_GUARANTEE, "one refill covers a walk");

static uint32_t walk_path[SYMBOL_COUNT];

// Levels walked in advance. Trades at depth TOP_BITS or less make the table
// stale; they are rare at 4 (one symbol in 800 to 2,500 on the bench
// data), while at 5 some text trades there every 20 symbols and the
// rewalks cost more than the table saves.
constexpr int TOP_BITS = 4;
constexpr int TOP_ENTRIES = 1 << TOP_BITS;
static_assert(TOP_BITS <= WALK_BITS, "the table is read from the bits of one refill");

// One entry of top_table: the walk from the root that the next TOP_BITS
// bits choose, as far as it goes in TOP_BITS levels.
//   path[i]  the position reached by the first i + 1 bits (i < used)
//   used     bits the walk takes: TOP_BITS, or fewer when it ends at a leaf
//   next     model_child[path[used - 1]]: the symbol + NODE_COUNT when the walk
//            ended at a leaf, otherwise the first child to go on from
struct TopStep {
    uint32_t path[TOP_BITS];
    uint32_t used;
    uint32_t next;
};
static TopStep top_table[TOP_ENTRIES];
static uint32_t top_mark[NODE_COUNT];
static uint32_t top_generation;
static bool top_stale = true;

// A refill takes whole bytes while bit_count is at most 56, so end_bit_input
// gives back at most 8 bytes; the archive stream keeps that many.
static_assert(ARCHIVE_KEEP >= 64 / 8, "the stream must take back a whole bit buffer");

void refill_bit_buffer_slow()
{
    while (bit_count <= BIT_REFILL_GUARANTEE) {
        bit_buffer |= static_cast<uint64_t>(read_archive_byte()) << (BIT_REFILL_GUARANTEE - bit_count);
        bit_count += 8;
    }
}

void reset_bit_input()
{
    bit_buffer = 0;
    bit_count = 0;
}

void end_bit_input()
{
    unread_archive_bytes(static_cast<unsigned>(bit_count >> 3));
    bit_count &= 7;
}

void init_model()
{
    for (int s = 0; s < SYMBOL_COUNT; s++) {
        model_freq[s] = 1;
        model_child[s] = s + NODE_COUNT;
        model_parent[s + NODE_COUNT] = s;
    }
    for (int j = SYMBOL_COUNT; j < NODE_COUNT; j++) {
        const int i = 2 * (j - SYMBOL_COUNT);
        model_freq[j] = model_freq[i] + model_freq[i + 1];
        model_child[j] = i;
        model_parent[i] = j;
        model_parent[i + 1] = j;
    }
    model_parent[ROOT] = 0;
    model_freq[NODE_COUNT] = FREQ_SENTINEL;
    top_stale = true;
}

void rebuild_model()
{
    top_stale = true;
    // The leaves, in their order, to positions 0 to 313 with halved
    // frequencies (rounded up, so none falls to 0).
    int j = 0;
    for (int i = 0; i < NODE_COUNT; i++) {
        if (model_child[i] >= NODE_COUNT) {
            model_freq[j] = (model_freq[i] + 1) / 2;
            model_child[j] = model_child[i];
            j++;
        }
    }
    // Join positions i and i + 1, in pairs from the bottom, and insert each
    // sum above every node of the same or a lower frequency. The sum is
    // above model_freq[i + 1], so the insertion never moves a pair not yet joined.
    for (j = SYMBOL_COUNT; j < NODE_COUNT; j++) {
        const int i = 2 * (j - SYMBOL_COUNT);
        const uint32_t f = model_freq[i] + model_freq[i + 1];
        int k = j - 1;
        while (model_freq[k] > f)
            k--;
        k++;
        const size_t moved = static_cast<size_t>(j - k);
        memmove(&model_freq[k + 1], &model_freq[k], moved * sizeof model_freq[0]);
        memmove(&model_child[k + 1], &model_child[k], moved * sizeof model_child[0]);
        model_freq[k] = f;
        model_child[k] = i;
    }
    for (int i = 0; i < NODE_COUNT; i++) {
        const int v = model_child[i];
        model_parent[v] = i;
        if (v < NODE_COUNT)
            model_parent[v + 1] = i;
    }
}

// performance-critical; rerun bench/lh1_bench.sh.
//
// Walk up from position p to the root, adding 1 to each node. A node whose
// frequency rises above the next position's trades places with the last
// node of the run that still has its old frequency f - 1, so the order
// holds again. Cost per level: a load of the parent, an increment and a
// comparison; a trade adds a scan over the run and six stores. On exit
// model_freq[ROOT] has risen by exactly 1.
static inline void update_upwards(size_t p)
{
    do {
        const uint32_t f = model_freq[p] + 1;
        if (model_freq[p + 1] >= f) {
            model_freq[p] = f;
        } else {
            // model_freq[p + 1] is f - 1 (the order held before), so every node
            // from p to q has f - 1 and the one at p keeps that value.
            size_t q = p + 1;
            while (model_freq[q + 1] < f)
                q++;
            model_freq[q] = f;
            if (top_mark[p] == top_generation || top_mark[q] == top_generation)
                top_stale = true;
            const size_t a = static_cast<uint32_t>(model_child[p]);
            const size_t b = static_cast<uint32_t>(model_child[q]);
            model_parent[a] = static_cast<int32_t>(q);
            if (a < NODE_COUNT)
                model_parent[a + 1] = static_cast<int32_t>(q);
            model_parent[b] = static_cast<int32_t>(p);
            if (b < NODE_COUNT)
                model_parent[b + 1] = static_cast<int32_t>(p);
            model_child[q] = static_cast<int32_t>(a);
            model_child[p] = static_cast<int32_t>(b);
            p = q;
        }
        p = static_cast<uint32_t>(model_parent[p]);
    } while (p != 0);
}

// The update after a symbol whose leaf was reached by the way `path`
// (path[0] the root's child, path[depth - 1] the leaf) in the tree as it
// stood: until the first trade the way up is that path, so the positions
// come from it instead of a chain of parent loads. A rebuild or a trade
// changes the tree, and from there update_upwards follows the parents.
static inline void update_along(const uint32_t* path, int depth, int symbol)
{
    if (model_freq[ROOT] == FREQ_LIMIT) {
        rebuild_model();
        update_upwards(static_cast<uint32_t>(model_parent[NODE_COUNT + symbol]));
        return;
    }
    for (int level = depth - 1; level >= 0; level--) {
        const size_t p = path[level];
        const uint32_t f = model_freq[p] + 1;
        if (model_freq[p + 1] < f) {
            update_upwards(p);
            return;
        }
        model_freq[p] = f;
    }
    model_freq[ROOT]++;
}

// Walks the first levels of the tree for every value of the next TOP_BITS
// bits, from the positions below `x` at `depth` (0 at the root's child),
// `prefix` holding the bits that led there, `path` the positions.
static void walk_top(uint32_t prefix, int depth, size_t x, uint32_t* path)
{
    for (uint32_t bit = 0; bit < 2; bit++) {
        const size_t node = x + bit;
        const size_t next = static_cast<uint32_t>(model_child[node]);
        const uint32_t bits = prefix << 1 | bit;
        path[depth] = static_cast<uint32_t>(node);
        top_mark[node] = top_generation;
        if (next < NODE_COUNT && depth + 1 < TOP_BITS) {
            walk_top(bits, depth + 1, next, path);
            continue;
        }
        // Every entry whose first depth + 1 bits are `bits` ends here.
        const int free_bits = TOP_BITS - depth - 1;
        for (uint32_t e = bits << free_bits; e < (bits + 1) << free_bits; e++) {
            TopStep& step = top_table[e];
            memcpy(step.path, path, sizeof step.path);
            step.used = static_cast<uint32_t>(depth + 1);
            step.next = static_cast<uint32_t>(next);
        }
    }
}

static void refresh_top_table()
{
    if (++top_generation == 0) {
        memset(top_mark, 0, sizeof top_mark);
        top_generation = 1;
    }
    uint32_t path[TOP_BITS] = {};
    walk_top(0, 0, static_cast<uint32_t>(model_child[ROOT]), path);
    top_stale = false;
}

// performance-critical; rerun bench/lh1_bench.sh.
//
// The first TOP_BITS levels come from top_table in one step, then one step
// per level: model_child[x] is the first child, model_child[x] + 1 the
// second, and the bit chooses. Entry: WALK_BITS bits are made available; a
// deeper walk refills on the way. Exit: x is a leaf, x - NODE_COUNT its
// symbol.
//
// The update then follows the walk back up (update_along).
int decode_char()
{
    need_bits(WALK_BITS);
    if (top_stale)
        refresh_top_table();
    uint64_t bits = bit_buffer;
    int count = bit_count;
    const TopStep& top = top_table[bits >> (64 - TOP_BITS)];
    memcpy(walk_path, top.path, sizeof top.path);
    int depth = static_cast<int>(top.used);
    bits <<= depth;
    count -= depth;
    size_t x = top.next;
    while (x < NODE_COUNT) {
        if (count == 0) {
            bit_buffer = bits;
            bit_count = 0;
            refill_bit_buffer();
            bits = bit_buffer;
            count = bit_count;
        }
        const size_t bit = static_cast<size_t>(bits >> 63);
        walk_path[depth++] = static_cast<uint32_t>(x + bit);
        const int32_t* const row = model_child + bit;
        x = static_cast<uint32_t>(row[x]);
        bits <<= 1;
        count--;
    }
    bit_buffer = bits;
    bit_count = count;
    const int symbol = static_cast<int>(x) - NODE_COUNT;

    update_along(walk_path, depth, symbol);
    return symbol;
}

void update_model_along(const uint32_t* path, int depth, int symbol)
{
    update_along(path, depth, symbol);
}
