// host/portable/name_table.cpp: names remembered by their hashes, in open
// addressing with linear probing.
//
// The table grows in stages, each a region of its own in name_table: the
// names go into the first stage until it is three quarters full, then all
// of them move on into the next, and so on. So a batch of few names touches
// a few pages of memory, and one of many touches the last stage's pages
// once: a page that is first touched costs the system a fault, and clearing
// the whole table for every batch would cost every batch all of them.
//
// State:
//   name_table        the stages one after the other, each holding the
//                     hashes remembered in it, every hash in the first
//                     free slot from its own slot on (0: a free slot).
//   stage             the stage that holds the names; the ones before it
//                     hold stale copies of some of them.
//   remembered_names  how many names it holds.
//   stage_touched     which stages hold anything since they were last
//                     cleared.
#include "host/portable/name_table.h"

#include <cstring>

// Slots of each stage: 32 KiB, 128 KiB and 1 MiB. At most three quarters
// of a stage's slots hold a name, so that a probe meets a free slot within
// a few.
constexpr unsigned STAGE_SLOTS_LOG2[] = {12, 14, 17};
constexpr size_t STAGES = sizeof STAGE_SLOTS_LOG2 / sizeof STAGE_SLOTS_LOG2[0];
constexpr size_t all_stage_slots()
{
    size_t slots = 0;
    for (const unsigned log2 : STAGE_SLOTS_LOG2)
        slots += size_t{1} << log2;
    return slots;
}
constexpr size_t TABLE_SLOTS = all_stage_slots();
static_assert(MAX_REMEMBERED_NAMES == (size_t{1} << STAGE_SLOTS_LOG2[STAGES - 1]) / 4 * 3,
              "the last stage holds MAX_REMEMBERED_NAMES names, three quarters of its slots");
// FNV-1a's basis and prime, then a finalizer that spreads every bit over
// the whole word, so that the low bits alone choose the slot.
constexpr uint64_t HASH_BASIS = 0xCBF29CE484222325u;
constexpr uint64_t HASH_PRIME = 0x100000001B3u;
constexpr uint64_t HASH_MIX = 0xFF51AFD7ED558CCDu;

static uint64_t name_table[TABLE_SLOTS];
static size_t stage;
static size_t remembered_names;
static bool stage_touched[STAGES];

uint64_t begin_name_hash(size_t folder)
{
    return HASH_BASIS ^ folder;
}

uint64_t add_name_unit(uint64_t hash, uint32_t unit)
{
    return (hash ^ unit) * HASH_PRIME;
}

uint64_t finish_name_hash(uint64_t hash)
{
    hash ^= hash >> 33;
    hash *= HASH_MIX;
    hash ^= hash >> 33;
    return hash != 0 ? hash : 1;
}

static size_t stage_slots(size_t of)
{
    return size_t{1} << STAGE_SLOTS_LOG2[of];
}

static uint64_t* stage_start(size_t of)
{
    uint64_t* start = name_table;
    for (size_t before = 0; before < of; before++)
        start += stage_slots(before);
    return start;
}

// The slot of the stage `of` that holds `hash`, or the free slot where it
// would go.
static uint64_t* slot_of(size_t of, uint64_t hash)
{
    uint64_t* const start = stage_start(of);
    const size_t mask = stage_slots(of) - 1;
    size_t slot = static_cast<size_t>(hash) & mask;
    while (start[slot] != 0 && start[slot] != hash)
        slot = (slot + 1) & mask;
    return start + slot;
}

// Moves every name into the next stage.
static void move_on()
{
    const uint64_t* const from = stage_start(stage);
    const size_t slots = stage_slots(stage);
    stage++;
    stage_touched[stage] = true;
    for (size_t slot = 0; slot < slots; slot++)
        if (from[slot] != 0)
            *slot_of(stage, from[slot]) = from[slot];
}

void forget_names()
{
    for (size_t of = 0; of < STAGES; of++) {
        if (stage_touched[of])
            memset(stage_start(of), 0, stage_slots(of) * sizeof name_table[0]);
        stage_touched[of] = false;
    }
    stage = 0;
    remembered_names = 0;
}

bool remember_name(uint64_t hash)
{
    uint64_t* slot = slot_of(stage, hash);
    if (*slot == hash)
        return true;
    if (remembered_names == stage_slots(stage) / 4 * 3) {
        if (stage + 1 == STAGES)
            return false;
        move_on();
        slot = slot_of(stage, hash);
    }
    *slot = hash;
    stage_touched[stage] = true;
    remembered_names++;
    return true;
}

bool may_hold_name(uint64_t hash)
{
    return *slot_of(stage, hash) == hash;
}
