#include "output/lookup_table.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

#include "text/hash_index.h"
#include "text/memory.h"

namespace {

// One entry of a row on its way into the comb.
struct row_slot {
  int column;
  int value;
  size_t written;  // its place in the written row, which decides between entries of one column
};

// Every state's entries, deduplicated and in column order: state k's are
// slots[first[k] .. first[k + 1]).
struct row_set {
  row_slot* slots;
  size_t* first;
  size_t states;
};

void release_rows(row_set* rows) {
  memory_release(rows->slots);
  memory_release(rows->first);
  *rows = row_set{};
}

// What a written entry becomes in the comb; false when it does not fit in an int.
using entry_value = bool (*)(const table_rows* rows, size_t i, int* value);

// A written shift to state d is d + 1 already; a written reduction by rule r is -(r + 1).
bool action_value(const table_rows* rows, size_t i, int* value) {
  long long entry = rows->table[i];
  if (entry > 0) {
    *value = lookup_shift_value(static_cast<int>(entry - 1));
    return true;
  }
  long long rule = -entry - 1;
  if (rule < 0 || rule > (INT_MAX - 2) / 2) return false;
  *value = lookup_reduce_value(static_cast<int>(rule), rows->accept[i] == 1);
  return true;
}

bool goto_value(const table_rows* rows, size_t i, int* value) {
  if (rows->table[i] < 0 || rows->table[i] == INT_MAX) return false;
  *value = rows->table[i] + 1;
  return true;
}

// The column of entry i: through map for actions, the nonterminal itself for gotos.
long entry_column(const table_rows* rows, const column_map* map, size_t i) {
  if (map != nullptr) return lookup_column(map, rows->check[i]);
  return rows->check[i] >= 0 ? rows->check[i] : -1;
}

// Sorts one state's slots by column, keeping for each column the entry
// written first, which is the one a scan of the written row finds.
size_t keep_first_per_column(row_slot* slots, size_t count) {
  std::sort(slots, slots + count, [](const row_slot& a, const row_slot& b) {
    return a.column != b.column ? a.column < b.column : a.written < b.written;
  });
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    if (kept > 0 && slots[kept - 1].column == slots[i].column) continue;
    slots[kept++] = slots[i];
  }
  return kept;
}

// Drops the gotos that the default of their nonterminal (the column) decides
// already; returns the number kept.
size_t drop_default_gotos(row_slot* slots, size_t count, const int* defaults) {
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    if (defaults != nullptr && slots[i].value - 1 == defaults[slots[i].column]) continue;
    slots[kept++] = slots[i];
  }
  return kept;
}

// Gathers the rows of the written arrays into set, without the gotos that
// defaults (when given) decide; false when memory is exhausted or an entry
// has no column or does not fit.
bool gather_rows(const table_rows* rows, const column_map* map, entry_value to_value, const int* defaults,
                 row_set* set) {
  size_t total = static_cast<size_t>(rows->start[rows->states]);
  set->states = rows->states;
  set->slots = static_cast<row_slot*>(memory_alloc_zero(total == 0 ? 1 : total, sizeof(row_slot)));
  set->first = static_cast<size_t*>(memory_alloc_zero(rows->states + 1, sizeof(size_t)));
  if (set->slots == nullptr || set->first == nullptr) return false;
  size_t next = 0;
  for (size_t k = 0; k < rows->states; ++k) {
    set->first[k] = next;
    row_slot* row = set->slots + next;
    size_t count = 0;
    for (size_t i = static_cast<size_t>(rows->start[k]); i < static_cast<size_t>(rows->start[k + 1]); ++i) {
      long column = entry_column(rows, map, i);
      if (column < 0 || column > INT_MAX || !to_value(rows, i, &row[count].value)) return false;
      row[count].column = static_cast<int>(column);
      row[count].written = count;
      ++count;
    }
    next += drop_default_gotos(row, keep_first_per_column(row, count), defaults);
  }
  set->first[rows->states] = next;
  return true;
}

size_t row_size(const row_set* set, size_t k) { return set->first[k + 1] - set->first[k]; }

// Orders rows widest first (the hardest to place go in while the comb is
// sparse), identical rows next to each other, then by state.
int compare_rows(const row_set* set, size_t a, size_t b) {
  size_t na = row_size(set, a);
  size_t nb = row_size(set, b);
  if (na != nb) return na > nb ? -1 : 1;
  const row_slot* ra = set->slots + set->first[a];
  const row_slot* rb = set->slots + set->first[b];
  for (size_t i = 0; i < na; ++i) {
    if (ra[i].column != rb[i].column) return ra[i].column < rb[i].column ? -1 : 1;
    if (ra[i].value != rb[i].value) return ra[i].value < rb[i].value ? -1 : 1;
  }
  return 0;
}

// The comb while it is filled: slots and the displacements taken so far. A
// displacement may be negative, down to minus the widest column, so that a
// row of high columns can fill low slots; taken is indexed by displacement +
// offset.
struct comb {
  int* check;
  int* value;
  bool* taken;
  size_t* open;       // by displacement + offset: one at or after it that may be untaken; one more than taken
  size_t* next_free;  // a free slot is its own entry; a slot in use points to a later slot, no further than the next free one
  size_t capacity;  // slots of check, value and next_free; taken has offset more
  size_t offset;    // the widest column
  size_t length;    // one past the last slot in use
  size_t first_free;
};

// Makes room for slots [0, size); false when memory is exhausted.
bool comb_reserve(comb* c, size_t size) {
  if (size <= c->capacity) return true;
  size_t capacity = std::max(size, c->capacity * 2);
  auto* check = static_cast<int*>(memory_resize(c->check, capacity * sizeof(int)));
  if (check != nullptr) c->check = check;
  auto* value = static_cast<int*>(memory_resize(c->value, capacity * sizeof(int)));
  if (value != nullptr) c->value = value;
  auto* taken = static_cast<bool*>(memory_resize(c->taken, (capacity + c->offset) * sizeof(bool)));
  if (taken != nullptr) c->taken = taken;
  auto* open = static_cast<size_t*>(memory_resize(c->open, (capacity + c->offset + 1) * sizeof(size_t)));
  if (open != nullptr) c->open = open;
  auto* next_free = static_cast<size_t*>(memory_resize(c->next_free, capacity * sizeof(size_t)));
  if (next_free != nullptr) c->next_free = next_free;
  if (check == nullptr || value == nullptr || taken == nullptr || open == nullptr || next_free == nullptr) return false;
  for (size_t i = c->capacity == 0 ? 0 : c->capacity + c->offset + 1; i <= capacity + c->offset; ++i) c->open[i] = i;
  for (size_t i = c->capacity; i < capacity; ++i) {
    c->check[i] = -1;
    c->value[i] = 0;
    c->next_free[i] = i;
  }
  std::fill(c->taken + (c->capacity == 0 ? 0 : c->capacity + c->offset), c->taken + capacity + c->offset, false);
  c->capacity = capacity;
  return true;
}

bool row_fits(const comb* c, long long base, const row_slot* row, size_t count) {
  if (c->taken[base + static_cast<long long>(c->offset)]) return false;
  for (size_t i = 0; i < count; ++i) {
    if (c->check[base + row[i].column] != -1) return false;
  }
  return true;
}

// The first free slot at or after slot; every slot from capacity on is free.
// The walk leaves each slot it passed pointing at the answer, so that runs of
// slots in use are crossed in one step the next time.
size_t free_slot_from(comb* c, size_t slot) {
  size_t found = slot;
  while (found < c->capacity && c->next_free[found] != found) found = c->next_free[found];
  while (slot < found) {
    size_t next = c->next_free[slot];
    c->next_free[slot] = found;
    slot = next;
  }
  return found;
}

// The first untaken displacement (plus offset) at or after i, or the end of
// the comb; runs of taken displacements are skipped once and then jumped.
size_t first_untaken(comb* c, size_t i) {
  size_t root = i;
  while (c->open[root] != root) root = c->open[root];
  while (c->open[i] != root) {
    size_t next = c->open[i];
    c->open[i] = root;
    i = next;
  }
  return root;
}

// The row of state k in set, and its size.
const row_slot* row_of(const row_set* set, size_t k) { return set->slots + set->first[k]; }

constexpr size_t most_probes = 512;

// The generated parser finds the record of a comb slot (32 bytes) by a byte
// offset held in an int, so a comb stays below that many slots.
constexpr long long most_slots = INT_MAX / 32;

// The least displacement that puts state k's rows past the slots in use of
// every comb.
long long comb_end(const comb* combs, const row_set* const* sets, size_t count, size_t k) {
  long long end = LLONG_MIN;
  for (size_t n = 0; n < count; ++n) {
    if (row_size(sets[n], k) > 0)
      end = std::max(end, static_cast<long long>(combs[n].length) - row_of(sets[n], k)[0].column);
  }
  return end;
}

// Places state k's rows, one in each comb, at the first displacement where
// all their slots are free and no other state sits; false when memory is
// exhausted or a comb would outgrow most_slots. Only displacements that put the
// first column of each row on a free slot and are not taken can fit, so the
// search jumps over used slots in every comb and over taken displacements.
bool place_state(comb* combs, const row_set* const* sets, size_t count, size_t k, long long start, int* placed) {
  size_t widest = 0;
  for (size_t n = 1; n < count; ++n) {
    if (row_size(sets[n], k) > row_size(sets[widest], k)) widest = n;
  }
  comb* c = &combs[widest];  // every comb has the same displacements taken
  long long base = start;
  for (size_t n = 0; n < count; ++n) {
    if (row_size(sets[n], k) > 0)
      base = std::max(base, static_cast<long long>(combs[n].first_free) - row_of(sets[n], k)[0].column);
  }
  for (size_t probes = 0;; ++probes) {
    // Where the rows of two combs keep meeting used slots, the search gives
    // up on the holes and goes on from the end of the combs, so that
    // placement stays near linear; one comb alone never needs to.
    if (probes == most_probes && count > 1) base = std::max(base, comb_end(combs, sets, count, k));
    bool moved = false;
    for (size_t n = 0; n < count; ++n) {
      if (row_size(sets[n], k) == 0) continue;
      long long column = row_of(sets[n], k)[0].column;
      size_t free = free_slot_from(&combs[n], static_cast<size_t>(base + column));
      if (static_cast<long long>(free) != base + column) {
        base = static_cast<long long>(free) - column;
        moved = true;
      }
    }
    if (moved) continue;
    for (size_t n = 0; n < count; ++n) {
      size_t size = row_size(sets[n], k);
      long long end = std::max(1LL, base + (size > 0 ? row_of(sets[n], k)[size - 1].column : 0) + 1);
      if (end > most_slots || !comb_reserve(&combs[n], static_cast<size_t>(end))) return false;
    }
    size_t at = static_cast<size_t>(base + static_cast<long long>(c->offset));
    size_t untaken = first_untaken(c, at);
    if (untaken != at) {
      base += static_cast<long long>(untaken - at);
      continue;
    }
    bool fits = true;
    for (size_t n = 0; n < count && fits; ++n) {
      size_t size = row_size(sets[n], k);
      fits = size == 0 || row_fits(&combs[n], base, row_of(sets[n], k), size);
    }
    if (fits) break;
    ++base;
  }
  size_t at = static_cast<size_t>(base + static_cast<long long>(c->offset));
  for (size_t n = 0; n < count; ++n) {
    comb* into = &combs[n];
    into->taken[at] = true;
    into->open[at] = at + 1;
    size_t size = row_size(sets[n], k);
    const row_slot* row = row_of(sets[n], k);
    for (size_t i = 0; i < size; ++i) {
      size_t slot = static_cast<size_t>(base + row[i].column);
      into->check[slot] = row[i].column;
      into->value[slot] = row[i].value;
      into->next_free[slot] = slot + 1;
    }
    if (size > 0) into->length = std::max(into->length, static_cast<size_t>(base + row[size - 1].column + 1));
    into->first_free = free_slot_from(into, into->first_free);
  }
  *placed = static_cast<int>(base);
  return true;
}

// The widest column of set; 0 when it has no entries.
size_t widest_column(const row_set* set) {
  size_t widest = 0;
  for (size_t k = 0; k < set->states; ++k) {
    if (row_size(set, k) > 0) widest = std::max(widest, static_cast<size_t>(set->slots[set->first[k + 1] - 1].column));
  }
  return widest;
}

// Where the search for a state's rows may start: slots only fill up and
// displacements are only taken, so a displacement that did not fit rows of
// the same columns will not fit them later either. One hint per shape.
struct shape_hint {
  size_t state;  // the last state placed with this shape
  long long next;
};

struct shape_hints {
  shape_hint* hints;
  size_t count;
  hash_index<shape_hint> index;
};

// The hash of the columns of state k's rows in every set.
uint64_t shape_hash(const row_set* const* sets, size_t count, size_t k) {
  uint64_t hash = 0;
  for (size_t n = 0; n < count; ++n) {
    for (size_t i = 0; i < row_size(sets[n], k); ++i) hash = hash_mix(hash, static_cast<uint64_t>(row_of(sets[n], k)[i].column));
    hash = hash_mix(hash, UINT64_MAX);
  }
  return hash;
}

bool same_shape(const row_set* const* sets, size_t count, size_t a, size_t b) {
  for (size_t n = 0; n < count; ++n) {
    if (row_size(sets[n], a) != row_size(sets[n], b)) return false;
    for (size_t i = 0; i < row_size(sets[n], a); ++i) {
      if (row_of(sets[n], a)[i].column != row_of(sets[n], b)[i].column) return false;
    }
  }
  return true;
}

// Places state k from its shape's hint and moves the hint past it; false
// when memory is exhausted or a comb outgrows most_slots.
bool place_from_hint(comb* combs, const row_set* const* sets, size_t count, size_t k, shape_hints* h, int* placed) {
  uint64_t hash = shape_hash(sets, count, k);
  shape_hint* hint = hash_index_find(&h->index, hash, [&](const shape_hint* s) { return same_shape(sets, count, s->state, k); });
  if (!place_state(combs, sets, count, k, hint != nullptr ? hint->next : LLONG_MIN, placed)) return false;
  if (hint == nullptr) {
    hint = &h->hints[h->count];
    if (!hash_index_add(&h->index, hash, hint)) return false;
    ++h->count;
  }
  *hint = shape_hint{k, static_cast<long long>(*placed) + 1};
  return true;
}

// Orders states by the rows they have in each set: the most entries first,
// identical rows next to each other, then by state.
int compare_states(const row_set* const* sets, size_t count, size_t a, size_t b) {
  size_t na = 0, nb = 0;
  for (size_t n = 0; n < count; ++n) {
    na += row_size(sets[n], a);
    nb += row_size(sets[n], b);
  }
  if (na != nb) return na > nb ? -1 : 1;
  for (size_t n = 0; n < count; ++n) {
    int by_row = compare_rows(sets[n], a, b);
    if (by_row != 0) return by_row;
  }
  return 0;
}

// Lays the rows of every state, one in each of count sets, into the tables
// of the same number, each state at one displacement in all of them; false
// when memory is exhausted or a comb outgrows most_slots.
bool pack_rows(const row_set* const* sets, size_t count, lookup_table* const* tables) {
  size_t states = sets[0]->states;
  auto* order = static_cast<size_t*>(memory_alloc_zero(states == 0 ? 1 : states, sizeof(size_t)));
  auto* base = static_cast<int*>(memory_alloc_zero(states == 0 ? 1 : states, sizeof(int)));
  comb combs[2]{};
  shape_hints hints{};
  hints.hints = static_cast<shape_hint*>(memory_alloc_zero(states == 0 ? 1 : states, sizeof(shape_hint)));
  size_t offset = 0;
  for (size_t n = 0; n < count; ++n) offset = std::max(offset, widest_column(sets[n]));
  bool packed = order != nullptr && base != nullptr && hints.hints != nullptr;
  for (size_t n = 0; n < count; ++n) {
    combs[n].offset = offset;
    packed = packed && comb_reserve(&combs[n], 1);
    // Displacement 0 is kept for the states without entries: no state sits
    // there, so no slot confirms a column for them.
    if (packed) {
      combs[n].taken[offset] = true;
      combs[n].open[offset] = offset + 1;
    }
  }
  if (packed) {
    for (size_t k = 0; k < states; ++k) order[k] = k;
    std::sort(order, order + states, [sets, count](size_t a, size_t b) {
      int by_rows = compare_states(sets, count, a, b);
      return by_rows != 0 ? by_rows < 0 : a < b;
    });
  }
  for (size_t i = 0; packed && i < states; ++i) {
    size_t k = order[i];
    bool empty = true;
    for (size_t n = 0; n < count; ++n) empty = empty && row_size(sets[n], k) == 0;
    if (empty) continue;
    if (i > 0 && compare_states(sets, count, order[i - 1], k) == 0) {
      base[k] = base[order[i - 1]];
      continue;
    }
    packed = place_from_hint(combs, sets, count, k, &hints, &base[k]);
  }
  memory_release(order);
  memory_release(hints.hints);
  hash_index_clear(&hints.index);
  for (size_t n = 0; n < count; ++n) {
    memory_release(combs[n].taken);
    memory_release(combs[n].next_free);
    memory_release(combs[n].open);
    tables[n]->check = combs[n].check;
    tables[n]->value = combs[n].value;
    tables[n]->states = states;
    tables[n]->length = combs[n].length;
  }
  // Each table owns its base array; states share their displacements.
  tables[0]->base = base;
  for (size_t n = 1; n < count && packed; ++n) {
    tables[n]->base = static_cast<int*>(memory_alloc_zero(states == 0 ? 1 : states, sizeof(int)));
    packed = tables[n]->base != nullptr;
    if (packed) std::copy(base, base + states, tables[n]->base);
  }
  return packed;
}

bool build(const table_rows* rows, const column_map* map, entry_value to_value, const int* defaults,
           lookup_table* table) {
  *table = lookup_table{};
  row_set set{};
  const row_set* sets[] = {&set};
  lookup_table* tables[] = {table};
  bool built = gather_rows(rows, map, to_value, defaults, &set) && pack_rows(sets, 1, tables);
  release_rows(&set);
  if (!built) lookup_table_release(table);
  return built;
}

}  // namespace

int lookup_shift_value(int state) { return state + 1; }

int lookup_reduce_value(int rule, bool accepting) { return -(2 * rule + (accepting ? 2 : 1)); }

column_map lookup_columns(const table_rows* rows, int first_high) {
  column_map map{1, first_high};
  size_t total = static_cast<size_t>(rows->start[rows->states]);
  for (size_t i = 0; i < total; ++i) {
    int token = rows->check[i];
    if (token < first_high && token >= -1 && token + 2 > map.low_columns) map.low_columns = token + 2;
  }
  return map;
}

long lookup_column(const column_map* map, int token) {
  if (token >= -1 && token + 1 < map->low_columns) return static_cast<long>(token) + 1;
  if (token >= map->first_high) return static_cast<long>(token) - map->first_high + map->low_columns;
  return -1;
}

bool lookup_table_build_actions(const table_rows* rows, const column_map* map, lookup_table* table) {
  return build(rows, map, action_value, nullptr, table);
}

bool lookup_goto_defaults(const table_rows* rows, size_t nonterms, int* defaults) {
  size_t total = static_cast<size_t>(rows->start[rows->states]);
  auto* pairs = static_cast<long long*>(memory_alloc_zero(total == 0 ? 1 : total, sizeof(long long)));
  auto* best = static_cast<size_t*>(memory_alloc_zero(nonterms == 0 ? 1 : nonterms, sizeof(size_t)));
  if (pairs == nullptr || best == nullptr) {
    memory_release(pairs);
    memory_release(best);
    return false;
  }
  size_t count = 0;
  for (size_t i = 0; i < total; ++i) {
    if (rows->check[i] >= 0 && static_cast<size_t>(rows->check[i]) < nonterms)
      pairs[count++] = static_cast<long long>(rows->check[i]) << 32 | static_cast<unsigned int>(rows->table[i]);
  }
  std::fill(defaults, defaults + nonterms, -1);
  // Sorted, the gotos of one nonterminal to one target form a run; the
  // longest run of each nonterminal wins, the smallest target on a tie.
  std::sort(pairs, pairs + count);
  for (size_t i = 0; i < count;) {
    size_t j = i;
    while (j < count && pairs[j] == pairs[i]) ++j;
    size_t nonterm = static_cast<size_t>(pairs[i] >> 32);
    if (j - i > best[nonterm]) {
      best[nonterm] = j - i;
      defaults[nonterm] = static_cast<int>(pairs[i] & 0xFFFFFFFF);
    }
    i = j;
  }
  memory_release(pairs);
  memory_release(best);
  return true;
}

bool lookup_table_build_gotos(const table_rows* rows, const int* defaults, lookup_table* table) {
  return build(rows, nullptr, goto_value, defaults, table);
}

bool lookup_table_build_shared(const table_rows* action_rows, const column_map* map, const table_rows* goto_rows,
                               const int* defaults, lookup_table* actions, lookup_table* gotos) {
  *actions = lookup_table{};
  *gotos = lookup_table{};
  row_set action_set{};
  row_set goto_set{};
  const row_set* sets[] = {&action_set, &goto_set};
  lookup_table* tables[] = {actions, gotos};
  bool built = gather_rows(action_rows, map, action_value, nullptr, &action_set) &&
               gather_rows(goto_rows, nullptr, goto_value, defaults, &goto_set) && pack_rows(sets, 2, tables);
  release_rows(&action_set);
  release_rows(&goto_set);
  if (!built) {
    lookup_table_release(actions);
    lookup_table_release(gotos);
  }
  return built;
}

bool lookup_tables_build(const table_rows* action_rows, const column_map* map, const table_rows* goto_rows,
                         const int* defaults, lookup_table* actions, lookup_table* gotos, bool* shared) {
  *shared = false;
  if (!lookup_table_build_actions(action_rows, map, actions)) return false;
  if (!lookup_table_build_gotos(goto_rows, defaults, gotos)) {
    lookup_table_release(actions);
    return false;
  }
  size_t states = action_rows->states;
  if (actions->length + gotos->length >= 2 * states) return true;
  // Most states have few entries: the arrays of bases may outweigh the combs,
  // and one displacement per state for both combs may be smaller. Bases once
  // and the slots of both combs against bases twice: the smaller wins.
  lookup_table shared_actions{};
  lookup_table shared_gotos{};
  if (!lookup_table_build_shared(action_rows, map, goto_rows, defaults, &shared_actions, &shared_gotos)) {
    lookup_table_release(actions);
    lookup_table_release(gotos);
    return false;
  }
  *shared = shared_actions.length + shared_gotos.length < actions->length + gotos->length + states / 2;
  if (*shared) {
    std::swap(*actions, shared_actions);
    std::swap(*gotos, shared_gotos);
  }
  lookup_table_release(&shared_actions);
  lookup_table_release(&shared_gotos);
  return true;
}

void lookup_table_release(lookup_table* table) {
  memory_release(table->base);
  memory_release(table->check);
  memory_release(table->value);
  *table = lookup_table{};
}
