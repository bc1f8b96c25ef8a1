#include "grammar/symbol.h"

#include <algorithm>
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

// The first position at or after from whose element is not below s: steps
// that double from from, then a bisection of the last step.
size_t position_from(const symbol_set* set, size_t from, symbol s) {
  size_t low = from;
  size_t high = from;
  for (size_t step = 1; high < set->count && symbol_less(set->items[high], s); step *= 2) {
    low = high + 1;
    high = low + step;
  }
  if (high > set->count) high = set->count;
  return static_cast<size_t>(std::lower_bound(set->items + low, set->items + high, s, symbol_less) - set->items);
}

}  // namespace

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
  if (source == nullptr || source == destination) return true;
  // Both ascend, so each element is sought from where the last one stood:
  // once the sets have settled, a pass costs about one comparison per element.
  size_t at = 0;  // the position after the last element sought
  for (size_t i = 0; i < source->count; ++i) {
    symbol s = source->items[i];
    if (at >= destination->count || !symbol_equals(destination->items[at], s)) {
      at = position_from(destination, at, s);
      bool present = at < destination->count && symbol_equals(destination->items[at], s);
      if (!present && !growable_insert_at(destination, at, s)) return false;
    }
    ++at;
  }
  return true;
}

void symbol_set_print(const symbol_set* set, FILE* stream) {
  for (size_t i = 0; i < set->count; ++i) {
    symbol_print(&set->items[i], stream);
    std::fputc(' ', stream);
  }
}
