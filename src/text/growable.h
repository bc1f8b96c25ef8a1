#ifndef VELLMARK_TEXT_GROWABLE_H
#define VELLMARK_TEXT_GROWABLE_H

#include <cstdint>
#include <cstring>

#include "text/memory.h"

// The one growth rule of the system's arrays, strings and tables: an empty
// one gets first, a full one doubles until it holds needed, and doubling
// past limit stops at limit. 0 when needed is beyond limit, so that the
// caller fails before allocating anything. A power of two first and limit
// keep every capacity a power of two.
constexpr size_t grown_capacity(size_t capacity, size_t first, size_t needed, size_t limit) {
  if (needed > limit) return 0;
  size_t grown = capacity == 0 ? first : capacity;
  while (grown < needed) grown = grown > limit / 2 ? limit : grown * 2;
  return grown;
}

// The one growable array of the system. Named arrays derive from it
// (struct terms : growable<term*> {}), so every array shares the same fields
// and the same growth: 8 elements at the first push, then doubling until the
// capacity exceeds the count, capped at the largest count whose byte size
// fits in a size_t.
template <typename T>
struct growable {
  T* items;
  size_t capacity;
  size_t count;
};

// The largest element count whose byte size fits in a size_t.
template <typename T>
constexpr size_t growable_limit = SIZE_MAX / sizeof(T);

// Ensures room for one more element; false (array unchanged) when it cannot grow.
template <typename T>
bool growable_make_room(growable<T>* array) {
  if (array->count < array->capacity) return true;
  if (array->count >= growable_limit<T>) return false;
  size_t capacity = grown_capacity(array->capacity, 8, array->count + 1, growable_limit<T>);
  void* storage = memory_resize(array->items, capacity * sizeof(T));
  if (storage == nullptr) return false;
  array->items = static_cast<T*>(storage);
  array->capacity = capacity;
  return true;
}

// Appends value; false (array unchanged) when the array cannot grow.
template <typename T>
bool growable_push(growable<T>* array, T value) {
  if (!growable_make_room(array)) return false;
  array->items[array->count++] = value;
  return true;
}

// Inserts value before position (0 <= position <= count); false (array unchanged) when it cannot grow.
template <typename T>
bool growable_insert_at(growable<T>* array, size_t position, T value) {
  if (!growable_make_room(array)) return false;
  std::memmove(static_cast<void*>(array->items + position + 1), array->items + position,
               (array->count - position) * sizeof(T));
  array->items[position] = value;
  ++array->count;
  return true;
}

// Allocates an empty array record of a named array type; null on failure.
template <typename A>
A* growable_new() {
  return memory_new_record<A>();
}

// Releases the storage and the record, not the elements; accepts null.
template <typename T>
void growable_free(growable<T>* array) {
  if (array == nullptr) return;
  memory_release(array->items);
  memory_release(array);
}

#endif
