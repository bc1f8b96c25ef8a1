#include "grammar/symbol.h"

#include <cstdint>

#include "grammar/nonterm.h"
#include "grammar/term.h"

namespace {

// The position at which s belongs in the sorted set, and whether it is already there.
size_t bisect(const symbol_set* set, symbol s, bool* present) {
  size_t lo = 0;
  size_t hi = set->count;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (symbol_less(s, set->items[mid])) {
      hi = mid;
    } else if (symbol_equals(set->items[mid], s)) {
      *present = true;
      return mid;
    } else {
      lo = mid + 1;
    }
  }
  *present = false;
  return lo;
}

}  // namespace

symbol symbol_for_term(struct term* t) { return symbol{t, nullptr}; }

symbol symbol_for_nonterm(struct nonterm* n) { return symbol{nullptr, n}; }

symbol symbol_for_endmark() { return symbol{nullptr, nullptr}; }

void symbol_print(const symbol* s, FILE* stream) {
  if (s->term != nullptr) {
    ustring_print(s->term->name, stream);
  } else if (s->nonterm != nullptr) {
    ustring_print(s->nonterm->name, stream);
  } else {
    std::fputc('$', stream);
  }
}

symbols* symbols_new() { return growable_new<symbols>(); }

void symbols_free(symbols* array) { growable_free(array); }

bool symbol_push(symbols* array, struct term* t, struct nonterm* n) {
  return growable_push(array, symbol{t, n});
}

bool symbol_push_term(symbols* array, struct term* t) { return symbol_push(array, t, nullptr); }

bool symbol_push_nonterm(symbols* array, struct nonterm* n) { return symbol_push(array, nullptr, n); }

void symbols_print(const symbols* array, FILE* stream) {
  for (size_t i = 0; i < array->count; ++i) {
    if (i > 0) std::fputc(' ', stream);
    symbol_print(&array->items[i], stream);
  }
}

symbol_set* symbol_set_new() { return growable_new<symbol_set>(); }

void symbol_set_free(symbol_set* set) { growable_free(set); }

bool symbol_insert(symbol_set* set, symbol s, bool* added) {
  if (set == nullptr) return false;
  bool present = false;
  size_t position = bisect(set, s, &present);
  if (present) {
    if (added != nullptr) *added = false;
    return true;
  }
  if (!growable_insert_at(set, position, s)) return false;
  if (added != nullptr) *added = true;
  return true;
}

bool symbol_insert_set(symbol_set* destination, const symbol_set* source) {
  if (destination == nullptr) return false;
  if (source == nullptr) return true;
  // Indexing (not a saved pointer) keeps a set inserted into itself safe.
  for (size_t i = 0; i < source->count; ++i) {
    if (!symbol_insert(destination, source->items[i], nullptr)) return false;
  }
  return true;
}

void symbol_set_print(const symbol_set* set, FILE* stream) {
  for (size_t i = 0; i < set->count; ++i) {
    symbol_print(&set->items[i], stream);
    std::fputc(' ', stream);
  }
}
