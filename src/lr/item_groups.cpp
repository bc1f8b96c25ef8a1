#include "lr/item_groups.h"

#include <cstring>

#include "text/hash_index.h"
#include "text/memory.h"

namespace {

size_t block_size(size_t count, size_t words) {
  return sizeof(item_groups) + count * sizeof(size_t) + count * words * sizeof(lookahead_word);
}

void lay_out(item_groups* groups, size_t count, size_t words) {
  groups->count = count;
  groups->words = words;
  groups->cores = reinterpret_cast<size_t*>(groups + 1);
  groups->sets = reinterpret_cast<lookahead_word*>(groups->cores + count);
}

}  // namespace

item_groups* item_groups_new(size_t count, size_t words) {
  if (count > (SIZE_MAX - sizeof(item_groups)) / ((words + 1) * sizeof(size_t))) return nullptr;
  auto* groups = static_cast<item_groups*>(memory_alloc_zero(1, block_size(count, words)));
  if (groups == nullptr) return nullptr;
  lay_out(groups, count, words);
  return groups;
}

void item_groups_free(item_groups* groups) { memory_release(groups); }

uint64_t lookahead_set_hash(const lookahead_word* set, size_t words) {
  // Equal kernels are confirmed word by word anyway, so the words are only
  // folded into four lanes, each offset by its position so that moving bits
  // between words changes the fold, and only the lanes are mixed.
  lookahead_word lanes[4] = {0, 0, 0, 0};
  size_t w = 0;
  for (; w + 4 <= words; w += 4) {
    for (size_t lane = 0; lane < 4; ++lane) lanes[lane] ^= set[w + lane] + (w + lane) * 0x9e3779b97f4a7c15u;
  }
  for (; w < words; ++w) lanes[w % 4] ^= set[w] + w * 0x9e3779b97f4a7c15u;
  uint64_t hash = 0;
  for (lookahead_word lane : lanes) hash = hash_mix(hash, lane);
  return hash;
}

void item_groups_rehash(item_groups* groups) {
  uint64_t hash = 0;
  for (size_t k = 0; k < groups->count; ++k) {
    hash = item_groups_hash_group(hash, groups->cores[k], lookahead_set_hash(item_groups_set(groups, k), groups->words));
  }
  groups->hash = item_groups_hash_end(hash, groups->count);
}
