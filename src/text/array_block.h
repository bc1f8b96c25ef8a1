#ifndef VELLMARK_TEXT_ARRAY_BLOCK_H
#define VELLMARK_TEXT_ARRAY_BLOCK_H

#include <cstddef>
#include <cstdint>

#include "text/memory.h"

// Several zeroed arrays laid out in one allocation, so that a record of
// parallel arrays is allocated, checked and released once. A layout names
// every array with its length; array_block_new runs it twice, first to
// measure the block, then to point each array into it.
struct array_block {
  char* base;   // null while measuring
  size_t size;  // bytes laid out so far; SIZE_MAX once they overflow
};

// Lays out count elements of T (at least one, so that no array is empty) and, once the block exists, points array at them.
template <typename T>
void array_block_take(array_block* block, T** array, size_t count) {
  if (block->size == SIZE_MAX) return;
  size_t length = count == 0 ? 1 : count;
  size_t start = (block->size + alignof(T) - 1) / alignof(T) * alignof(T);
  if (start < block->size || length > (SIZE_MAX - 1 - start) / sizeof(T)) {
    block->size = SIZE_MAX;
    return;
  }
  if (block->base != nullptr) *array = reinterpret_cast<T*>(block->base + start);
  block->size = start + length * sizeof(T);
}

// The zeroed block of every array that lay_out(array_block*) takes, each pointed into it; null, no array set, when the sizes overflow or memory is exhausted.
template <typename F>
void* array_block_new(F lay_out) {
  array_block measured{nullptr, 0};
  lay_out(&measured);
  if (measured.size == SIZE_MAX) return nullptr;
  auto* base = static_cast<char*>(memory_alloc_zero(1, measured.size == 0 ? 1 : measured.size));
  if (base == nullptr) return nullptr;
  array_block placed{base, 0};
  lay_out(&placed);
  return base;
}

#endif
