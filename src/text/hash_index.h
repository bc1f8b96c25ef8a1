#ifndef VELLMARK_TEXT_HASH_INDEX_H
#define VELLMARK_TEXT_HASH_INDEX_H

#include <bit>
#include <cstddef>
#include <cstdint>

#include "text/growable.h"
#include "text/memory.h"

// An open-addressing table of references keyed by a 64-bit hash. It only
// finds candidates: equality of the records behind equal hashes is the
// caller's to decide, so what the table finds is what a full search would.

// Folds value into hash: the one mixing step of the hashes that index records.
inline uint64_t hash_mix(uint64_t hash, uint64_t value) {
  hash ^= value + 0x9e3779b97f4a7c15u + (hash << 6) + (hash >> 2);
  return hash * 0xff51afd7ed558ccdu;
}

// One slot of the table.
template <typename T>
struct hash_slot {
  uint64_t hash;
  T* value;  // null for a free slot; not owned
};

// The table; all zero is an empty table.
template <typename T>
struct hash_index {
  hash_slot<T>* slots;
  size_t capacity;  // a power of two, or 0 before the first insertion
  size_t count;
};

// The first record with this hash for which same(record) holds; null when there is none.
template <typename T, typename Same>
T* hash_index_find(const hash_index<T>* index, uint64_t hash, Same same) {
  if (index->capacity == 0) return nullptr;
  size_t mask = index->capacity - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const hash_slot<T>& slot = index->slots[i];
    if (slot.value == nullptr) return nullptr;
    if (slot.hash == hash && same(slot.value)) return slot.value;
  }
}

// Puts value in the first free slot from its hash onwards; the table must have a free slot.
template <typename T>
void hash_index_place(hash_slot<T>* slots, size_t capacity, uint64_t hash, T* value) {
  size_t mask = capacity - 1;
  size_t i = hash & mask;
  while (slots[i].value != nullptr) i = (i + 1) & mask;
  slots[i] = hash_slot<T>{hash, value};
}

// The most slots a table may have: a power of two, so that masks keep working.
template <typename T>
constexpr size_t hash_index_limit = std::bit_floor(SIZE_MAX / 2 / sizeof(hash_slot<T>));

// Keeps the table at most half full; false (table unchanged) when it cannot grow.
template <typename T>
bool hash_index_make_room(hash_index<T>* index) {
  if ((index->count + 1) * 2 <= index->capacity) return true;
  size_t capacity = grown_capacity(index->capacity, 64, (index->count + 1) * 2, hash_index_limit<T>);
  if (capacity == 0) return false;
  auto* slots = static_cast<hash_slot<T>*>(memory_alloc_zero(capacity, sizeof(hash_slot<T>)));
  if (slots == nullptr) return false;
  for (size_t i = 0; i < index->capacity; ++i) {
    if (index->slots[i].value != nullptr) hash_index_place(slots, capacity, index->slots[i].hash, index->slots[i].value);
  }
  memory_release(index->slots);
  index->slots = slots;
  index->capacity = capacity;
  return true;
}

// Adds value under hash; false (table unchanged) when the table cannot grow.
template <typename T>
bool hash_index_add(hash_index<T>* index, uint64_t hash, T* value) {
  if (!hash_index_make_room(index)) return false;
  hash_index_place(index->slots, index->capacity, hash, value);
  ++index->count;
  return true;
}

// Releases the slots and empties the table; the records are not touched.
template <typename T>
void hash_index_clear(hash_index<T>* index) {
  memory_release(index->slots);
  index->slots = nullptr;
  index->capacity = 0;
  index->count = 0;
}

#endif
