#include "lr/item_set.h"

item_set* item_set_new() { return growable_new<item_set>(); }

void item_set_free(item_set* set) { growable_free(set); }

bool item_insert(item_set* set, item i, bool* inserted) {
  size_t lo = 0;
  size_t hi = set->count;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (item_less(set->items[mid], i)) {
      hi = mid;  // greater items stand to the left
    } else if (item_less(i, set->items[mid])) {
      lo = mid + 1;
    } else {
      if (inserted != nullptr) *inserted = false;
      return true;
    }
  }
  if (!growable_insert_at(set, lo, i)) return false;
  if (inserted != nullptr) *inserted = true;
  return true;
}

bool item_insert_set(item_set* set, const item_set* source) {
  for (size_t k = 0; k < source->count; ++k) {
    if (!item_insert(set, source->items[k], nullptr)) return false;
  }
  return true;
}

item item_set_pop(item_set* set) {
  if (set->count == 0) return item{nullptr, 0, symbol{nullptr, nullptr}};
  return set->items[--set->count];
}

bool item_set_same(const item_set* a, const item_set* b) {
  if (a->count != b->count) return false;
  for (size_t k = 0; k < a->count; ++k) {
    if (!item_equal(a->items[k], b->items[k])) return false;
  }
  return true;
}

void item_set_print(const item_set* set, FILE* stream) {
  for (size_t k = 0; k < set->count; ++k) {
    item_print(set->items[k], stream);
    std::fputc('\n', stream);
  }
}
