// host/portable/name_table.h: the names of folders that a batch has read
// once, remembered by a 64-bit hash each, so that it can tell a name that
// nothing in such a folder matches ignoring letter case without another
// look at the folder.
//
// The caller hashes each name with its letter case folded as its system
// folds it, and with the number of its folder in the batch; one table holds
// the names of every folder of the batch. A name whose hash the table does
// not hold has no entry there, provided that every name found in its folder
// and every name looked up there since went in. One whose hash it holds
// may have one: its own, or, about once in 10^10 lookups of a batch of
// 10^5 names, another's of the same hash; the caller then looks at the
// folder itself.
#pragma once

#include <cstddef>
#include <cstdint>

// Names the table holds at most: past them remember_name fails, and the
// batch must go on without the table.
constexpr size_t MAX_REMEMBERED_NAMES = 98304;

// A name's hash: begun from the number of its folder, each unit of the name
// (a byte, or a UTF-16 unit) added in turn with its case folded, then
// finished. A finished hash is never 0.
uint64_t begin_name_hash(size_t folder);
uint64_t add_name_unit(uint64_t hash, uint32_t unit);
uint64_t finish_name_hash(uint64_t hash);

// Empties the table, for a new batch. Its memory is of fixed size, and a
// batch touches no more of it than its names need (name_table.cpp).
void forget_names();

// Remembers the name of hash `hash`; false, with nothing remembered, when
// the table holds MAX_REMEMBERED_NAMES names already.
bool remember_name(uint64_t hash);

// Whether a name of hash `hash` was remembered (or another of the same).
bool may_hold_name(uint64_t hash);
