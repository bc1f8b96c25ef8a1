#include "lr/row_draft.h"

#include <algorithm>
#include <cstring>

#include "text/array_block.h"

namespace {

lookahead_word* set_at(const row_draft* d, size_t position) { return d->sets + position * d->table->words; }

size_t member_count(const lookahead_word* set, size_t words) {
  size_t members = 0;
  for (size_t w = 0; w < words; ++w) members += static_cast<size_t>(__builtin_popcountll(set[w]));
  return members;
}

// The greatest lookahead in both sets; SIZE_MAX when they share none.
size_t greatest_shared(const lookahead_word* a, const lookahead_word* b, size_t words) {
  for (size_t w = words; w-- > 0;) {
    lookahead_word shared = a[w] & b[w];
    if (shared != 0) return w * lookahead_word_bits + (lookahead_word_bits - 1 - __builtin_clzll(shared));
  }
  return SIZE_MAX;
}

// The position of the rule that reduces on bit; the draft must hold one.
size_t position_of(const row_draft* d, size_t bit) {
  size_t position = 0;
  while (!lookahead_set_has(set_at(d, position), bit)) ++position;
  return position;
}

void lay_out(row_draft* d, array_block* b, size_t capacity) {
  size_t words = d->table->words;
  array_block_take(b, &d->rules, capacity);
  array_block_take(b, &d->sets, capacity * words);
  array_block_take(b, &d->taken, words);
  array_block_take(b, &d->owner, words * lookahead_word_bits);
}

// Whether the resolution keeps the shift, and whether it keeps the reduction.
void sides_kept(resolution how, bool* shifts, bool* reduces) {
  *shifts = how == resolution::shift || how == resolution::shift_by_precedence ||
            how == resolution::shift_by_associativity;
  *reduces = how == resolution::reduce_by_precedence || how == resolution::reduce_by_associativity;
}

// The position of the rule with the most lookaheads, the smallest id on a tie; SIZE_MAX when no rule has any.
size_t most_reductions(const row_draft* d) {
  size_t chosen = SIZE_MAX;
  size_t most = 0;
  for (size_t position = 0; position < d->count; ++position) {
    size_t members = member_count(set_at(d, position), d->table->words);
    if (members == 0) continue;
    if (members > most || (members == most && d->rules[position]->id < d->rules[chosen]->id)) {
      chosen = position;
      most = members;
    }
  }
  return chosen;
}

}  // namespace

row_draft* row_draft_new(const core_table* table) {
  row_draft* d = memory_new_record<row_draft>();
  if (d == nullptr) return nullptr;
  d->table = table;
  if (!row_draft_begin(d, 1)) {
    row_draft_free(d);
    return nullptr;
  }
  return d;
}

void row_draft_free(row_draft* d) {
  if (d == nullptr) return;
  memory_release(d->arrays);
  memory_release(d);
}

bool row_draft_begin(row_draft* d, size_t count) {
  d->count = 0;
  if (d->arrays != nullptr && count <= d->capacity) {
    std::memset(d->taken, 0, d->table->words * sizeof(lookahead_word));
    return true;
  }
  size_t capacity = std::max(count, d->capacity * 2);
  void* arrays = array_block_new([d, capacity](array_block* b) { lay_out(d, b, capacity); });
  if (arrays == nullptr) return false;
  memory_release(d->arrays);
  d->arrays = arrays;
  d->capacity = capacity;
  return true;
}

bool row_draft_add(row_draft* d, action* row, rule* r, const lookahead_word* set, bool accepting, symbol* clash,
                   bool* conflicted) {
  const core_table* t = d->table;
  if (d->count == d->capacity) return false;
  lookahead_word* part = set_at(d, d->count);
  std::memcpy(part, set, t->words * sizeof(lookahead_word));
  // The end marker is the greatest lookahead, so an accept entry is met before any reduction of r.
  if (accepting && lookahead_set_has(part, t->end_marker_bit)) {
    part[t->end_marker_bit / lookahead_word_bits] &= ~(lookahead_word{1} << (t->end_marker_bit % lookahead_word_bits));
    if (const rule* stored = rule_map_find(row->accepts, symbol_for_endmark())) {
      print_reduce_conflict(stored, r);
      *clash = symbol_for_endmark();
      *conflicted = true;
      return false;
    }
    if (!rule_map_insert(&row->accepts, symbol_for_endmark(), r, nullptr)) return false;
  }
  // Lookaheads are met in descending order: the greatest shared one is the first clash.
  size_t bit = greatest_shared(part, d->taken, t->words);
  if (bit != SIZE_MAX) {
    print_reduce_conflict(d->rules[position_of(d, bit)], r);
    *clash = core_table_bit_symbol(t, bit);
    *conflicted = true;
    return false;
  }
  lookahead_set_union(d->taken, part, t->words);
  d->rules[d->count++] = r;
  return true;
}

bool row_draft_settle(row_draft* d, action* row, const state* s, conflicts* found) {
  const core_table* t = d->table;
  for (const state_map* shift = row->shifts; shift != nullptr;) {
    const state_map* following = shift->next;  // read before the shift may go
    symbol x = shift->symbol;
    size_t bit = t->bit_of_term[x.term->id];
    if (lookahead_set_has(d->taken, bit)) {
      size_t position = position_of(d, bit);
      rule* r = d->rules[position];
      resolution how = resolve_shift_reduce(x.term, r);
      if (!conflict_push(found, conflict{s, x, r, how})) return false;
      bool shifts = false;
      bool reduces = false;
      sides_kept(how, &shifts, &reduces);
      if (!shifts && !reduces && !rule_map_insert(&row->errors, x, r, nullptr)) return false;
      if (!reduces) {
        lookahead_word mask = ~(lookahead_word{1} << (bit % lookahead_word_bits));
        set_at(d, position)[bit / lookahead_word_bits] &= mask;
        d->taken[bit / lookahead_word_bits] &= mask;
      }
      if (!shifts) symbol_map_remove(&row->shifts, x);
    }
    shift = following;
  }
  return true;
}

bool row_draft_finish(row_draft* d, action* row) {
  const core_table* t = d->table;
  // A default would reduce where nonassociativity demands an error, so a
  // row with errors keeps every reduction as an entry of its own.
  size_t chosen = row->errors == nullptr ? most_reductions(d) : SIZE_MAX;
  std::memset(d->taken, 0, t->words * sizeof(lookahead_word));
  for (size_t position = 0; position < d->count; ++position) {
    if (position == chosen) continue;
    const lookahead_word* set = set_at(d, position);
    for (size_t bit = lookahead_set_next(set, 0, t->words); bit != SIZE_MAX; bit = lookahead_set_next(set, bit + 1, t->words)) {
      d->owner[bit] = d->rules[position];
    }
    lookahead_set_union(d->taken, set, t->words);
  }
  symbol_map_tail<rule> tail = symbol_map_tail_of_empty(&row->reduces);
  for (size_t bit = lookahead_set_next(d->taken, 0, t->words); bit != SIZE_MAX;
       bit = lookahead_set_next(d->taken, bit + 1, t->words)) {
    if (!symbol_map_append(&tail, core_table_bit_symbol(t, bit), d->owner[bit])) return false;
  }
  if (chosen != SIZE_MAX) row->default_rule = d->rules[chosen];
  return true;
}
