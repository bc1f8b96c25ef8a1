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

item_groups* item_groups_copy(const item_groups* source, size_t count) {
  auto* groups = static_cast<item_groups*>(memory_alloc(block_size(count, source->words)));
  if (groups == nullptr) return nullptr;
  lay_out(groups, count, source->words);
  groups->hash = source->hash;
  std::memcpy(groups->cores, source->cores, count * sizeof(size_t));
  std::memcpy(groups->sets, source->sets, count * source->words * sizeof(lookahead_word));
  return groups;
}

void item_groups_free(item_groups* groups) { memory_release(groups); }

void item_groups_rehash(item_groups* groups) {
  uint64_t hash = groups->count;
  for (size_t k = 0; k < groups->count; ++k) hash = hash_mix(hash, groups->cores[k]);
  // The sets are most of the words: four independent chains keep each
  // multiplication from waiting on the one before.
  uint64_t lanes[4] = {hash, 1, 2, 3};
  size_t words = groups->count * groups->words;
  size_t w = 0;
  for (; w + 4 <= words; w += 4) {
    for (size_t lane = 0; lane < 4; ++lane) lanes[lane] = hash_mix(lanes[lane], groups->sets[w + lane]);
  }
  for (; w < words; ++w) lanes[0] = hash_mix(lanes[0], groups->sets[w]);
  groups->hash = hash_mix(hash_mix(hash_mix(lanes[0], lanes[1]), lanes[2]), lanes[3]);
}

bool item_groups_same(const item_groups* a, const item_groups* b) {
  if (a->count != b->count || a->words != b->words || a->hash != b->hash) return false;
  if (std::memcmp(a->cores, b->cores, a->count * sizeof(size_t)) != 0) return false;
  return std::memcmp(a->sets, b->sets, a->count * a->words * sizeof(lookahead_word)) == 0;
}
