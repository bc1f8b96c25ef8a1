#ifndef VELLMARK_LR_ITEM_GROUPS_H
#define VELLMARK_LR_ITEM_GROUPS_H

#include <cstddef>
#include <cstdint>

#include "lr/lookahead_set.h"
#include "text/hash_index.h"

// Items gathered by core (rule and mark), each core with the set of its
// lookaheads: the compact form in which the construction keeps a state's
// kernel and its completed items. One block holds the record and both arrays.
struct item_groups {
  uint64_t hash;          // of cores and sets, filled by item_groups_rehash
  size_t count;           // cores held
  size_t words;           // words of one lookahead set
  size_t* cores;          // count core numbers
  lookahead_word* sets;   // count sets of words words, in the order of cores
};

// Groups with room for count cores, all sets empty; null when memory is exhausted.
item_groups* item_groups_new(size_t count, size_t words);

// Releases the block; accepts null.
void item_groups_free(item_groups* groups);

// The lookahead set of group k.
inline lookahead_word* item_groups_set(const item_groups* groups, size_t k) {
  return groups->sets + k * groups->words;
}

// Recomputes hash from the cores and sets: item_groups_hash_end of
// item_groups_hash_group over the groups in order, so that a kernel whose
// sets' hashes are known already hashes in a step per group.
void item_groups_rehash(item_groups* groups);

// The hash of one lookahead set of words words, the part its group adds to a kernel's hash.
uint64_t lookahead_set_hash(const lookahead_word* set, size_t words);

// A kernel's hash so far with one more group: its core and the hash of its set.
inline uint64_t item_groups_hash_group(uint64_t hash, size_t core, uint64_t set_hash) {
  return hash_mix(hash_mix(hash, core), set_hash);
}

// A kernel's hash from the hash of its count groups.
inline uint64_t item_groups_hash_end(uint64_t hash, size_t count) { return hash_mix(hash, count); }

#endif
