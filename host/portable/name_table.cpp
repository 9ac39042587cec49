// host/portable/name_table.cpp: names remembered by their hashes, in open
// addressing with linear probing.
//
// State:
//   name_table        the hashes remembered, each in the first free slot
//                     from its own slot on (0: a free slot).
//   remembered_names  how many slots are in use.
#include "host/portable/name_table.h"

#include <cstring>

// Slots of the table: 1 MiB. At most three quarters of them hold a name, so
// that a probe meets a free slot within a few.
constexpr unsigned NAME_TABLE_SLOTS_LOG2 = 17;
constexpr size_t NAME_TABLE_SLOTS = size_t{1} << NAME_TABLE_SLOTS_LOG2;
static_assert(MAX_REMEMBERED_NAMES <= NAME_TABLE_SLOTS / 4 * 3, "a quarter of the slots must stay free");
// FNV-1a's basis and prime, then a finalizer that spreads every bit over
// the whole word, so that the low bits alone choose the slot.
constexpr uint64_t HASH_BASIS = 0xCBF29CE484222325u;
constexpr uint64_t HASH_PRIME = 0x100000001B3u;
constexpr uint64_t HASH_MIX = 0xFF51AFD7ED558CCDu;

static uint64_t name_table[NAME_TABLE_SLOTS];
static size_t remembered_names;

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

// The slot that holds `hash`, or the free slot where it would go.
static size_t slot_of(uint64_t hash)
{
    size_t slot = static_cast<size_t>(hash) & (NAME_TABLE_SLOTS - 1);
    while (name_table[slot] != 0 && name_table[slot] != hash)
        slot = (slot + 1) & (NAME_TABLE_SLOTS - 1);
    return slot;
}

void forget_names()
{
    memset(name_table, 0, sizeof name_table);
    remembered_names = 0;
}

bool remember_name(uint64_t hash)
{
    const size_t slot = slot_of(hash);
    if (name_table[slot] == hash)
        return true;
    if (remembered_names == MAX_REMEMBERED_NAMES)
        return false;
    name_table[slot] = hash;
    remembered_names++;
    return true;
}

bool may_hold_name(uint64_t hash)
{
    return name_table[slot_of(hash)] == hash;
}
