// packer/member_names.cpp: the members' names remembered by their keys.
//
// State:
//   slots       a table of the names by the hash of their keys, open
//               addressing: 1 + where a name's record begins in
//               name_text, 0 for a free slot. At most half of it is used.
//   name_text   the records, one after another: the member's index (two
//               units, low half first), the key, and a 0.
//   text_used, name_count  how much of name_text is used, by how many.
#include "packer/member_names.h"

#include <cstdint>
#include <cstring>

#include "host/packer_names.h"
#include "shared/installed_files.h"

namespace {

constexpr uint32_t NAME_SLOTS = 2 * MAX_MEMBER_NAMES;
static_assert((NAME_SLOTS & (NAME_SLOTS - 1)) == 0, "a power of two, for the slot's mask");
// Room for the records: 32 units a name, on average.
constexpr size_t NAME_TEXT_UNITS = 32 * size_t{MAX_MEMBER_NAMES};
constexpr size_t INDEX_UNITS = 2;

uint32_t slots[NAME_SLOTS];
uint16_t name_text[NAME_TEXT_UNITS];
size_t text_used;
int name_count;

// FNV-1a, 64 bits, over a key's units.
uint64_t hash_of(const uint16_t* key)
{
    uint64_t hash = 0xcbf29ce484222325u;
    for (; *key != 0; key++)
        hash = (hash ^ *key) * 0x100000001b3u;
    return hash;
}

bool same_key(const uint16_t* a, const uint16_t* b)
{
    for (; *a == *b; a++, b++)
        if (*a == 0)
            return true;
    return false;
}

size_t key_length(const uint16_t* key)
{
    size_t length = 0;
    while (key[length] != 0)
        length++;
    return length;
}

// The slot of `key`: the one that holds it, or the free one where it
// belongs.
uint32_t slot_of(const uint16_t* key)
{
    uint32_t slot = static_cast<uint32_t>(hash_of(key)) & (NAME_SLOTS - 1);
    while (slots[slot] != 0 && !same_key(name_text + slots[slot] - 1 + INDEX_UNITS, key))
        slot = (slot + 1) & (NAME_SLOTS - 1);
    return slot;
}

int index_at(uint32_t slot)
{
    const uint16_t* record = name_text + slots[slot] - 1;
    return static_cast<int>(record[0] | static_cast<uint32_t>(record[1]) << 16);
}

}  // namespace

void forget_member_names()
{
    memset(slots, 0, sizeof slots);
    text_used = 0;
    name_count = 0;
}

NameMemory remember_member_name(const char* name, int index, int* earlier)
{
    uint16_t key[NAME_KEY_SIZE];
    if (!windows_name_key(name, key))
        return NAME_NO_KEY;
    const uint32_t slot = slot_of(key);
    const bool twin = slots[slot] != 0;
    if (twin) {
        *earlier = index_at(slot);
    } else {
        const size_t record_size = INDEX_UNITS + key_length(key) + 1;
        if (name_count == MAX_MEMBER_NAMES || text_used + record_size > NAME_TEXT_UNITS)
            return NAME_NO_ROOM;
        memcpy(name_text + text_used + INDEX_UNITS, key, (record_size - INDEX_UNITS) * sizeof key[0]);
        slots[slot] = static_cast<uint32_t>(text_used + 1);
        text_used += record_size;
        name_count++;
    }
    uint16_t* record = name_text + slots[slot] - 1;
    record[0] = static_cast<uint16_t>(index);
    record[1] = static_cast<uint16_t>(static_cast<uint32_t>(index) >> 16);
    return twin ? NAME_TWIN : NAME_NEW;
}

int member_named(const char* name)
{
    uint16_t key[NAME_KEY_SIZE];
    if (!windows_name_key(name, key))
        return -1;
    const uint32_t slot = slot_of(key);
    return slots[slot] == 0 ? -1 : index_at(slot);
}

bool is_installer_written(const char* name)
{
    uint16_t key[NAME_KEY_SIZE];
    if (!windows_name_key(name, key))
        return false;
    for (const char* written : INSTALLER_WRITTEN_FILES) {
        uint16_t written_key[NAME_KEY_SIZE];
        if (windows_name_key(written, written_key) && same_key(written_key, key))
            return true;
    }
    return false;
}
