#include "lr/row_draft.h"

#include <cstring>

#include "lr/item_groups.h"
#include "text/array_block.h"
#include "text/growable.h"
#include "text/hash_index.h"

namespace {

lookahead_word* set_at(const row_draft* d, size_t position) { return d->sets + position * d->table->words; }

void remove_member(lookahead_word* set, size_t bit) {
  set[bit / lookahead_word_bits] &= ~(lookahead_word{1} << (bit % lookahead_word_bits));
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
  array_block_take(b, &d->unshifted, words);
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
    size_t members = lookahead_set_count(set_at(d, position), d->table->words);
    if (members == 0) continue;
    if (members > most || (members == most && d->rules[position]->id < d->rules[chosen]->id)) {
      chosen = position;
      most = members;
    }
  }
  return chosen;
}

// Calls visit(terminal, target) for every shift the row keeps, in key order:
// the state's transitions less those settled otherwise.
template <typename Visit>
bool each_shift(const row_draft* d, Visit visit) {
  const state* st = d->st;
  for (size_t k = 0; k < state_transition_count(st); ++k) {
    const term_transition& move = term_transitions_items(st->transitions)[k];
    if (d->any_unshifted && lookahead_set_has(d->unshifted, d->table->bit_of_term[move.term->id])) continue;
    if (!visit(symbol_for_term(move.term), move.target)) return false;
  }
  return true;
}

// Calls visit(lookahead, rule) for every reduction entry the row keeps, in key order.
template <typename Visit>
bool each_reduction(const row_draft* d, Visit visit) {
  const core_table* t = d->table;
  for (size_t bit = lookahead_set_next(d->taken, 0, t->words); bit != SIZE_MAX;
       bit = lookahead_set_next(d->taken, bit + 1, t->words)) {
    if (!visit(core_table_bit_symbol(t, bit), d->owner[bit])) return false;
  }
  return true;
}

uint64_t symbol_bits(symbol s) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(s.term)) ^
         (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(s.nonterm)) << 1);
}

uint64_t mix_entry(uint64_t hash, symbol key, const void* target) {
  return hash_mix(hash_mix(hash, symbol_bits(key)), reinterpret_cast<uintptr_t>(target));
}

uint64_t mix_map(uint64_t hash, const rule_map* map) {
  for (; map != nullptr; map = map->next) hash = mix_entry(hash, map->symbol, map->rule);
  return hash;
}

// True when the map walked from *node next holds key -> target; moves *node on.
template <typename V>
bool next_is(const symbol_map<V>** node, symbol key, const V* target) {
  if (*node == nullptr || !symbol_equals((*node)->symbol, key) || symbol_map_target(*node) != target) return false;
  *node = (*node)->next;
  return true;
}

}  // namespace

row_draft* row_draft_new(const core_table* table) {
  row_draft* d = memory_new_record<row_draft>();
  if (d == nullptr) return nullptr;
  d->table = table;
  if (!row_draft_begin(d, nullptr, 1)) {
    row_draft_free(d);
    return nullptr;
  }
  return d;
}

void row_draft_free(row_draft* d) {
  if (d == nullptr) return;
  rule_map_free(d->accepts);
  rule_map_free(d->errors);
  memory_release(d->arrays);
  memory_release(d);
}

bool row_draft_begin(row_draft* d, const state* st, size_t count) {
  d->st = st;
  d->count = 0;
  d->accepts = rule_map_free(d->accepts);
  d->errors = rule_map_free(d->errors);
  d->default_rule = nullptr;
  d->any_unshifted = false;
  if (d->arrays != nullptr && count <= d->capacity) {
    std::memset(d->taken, 0, d->table->words * sizeof(lookahead_word));
    std::memset(d->unshifted, 0, d->table->words * sizeof(lookahead_word));
    return true;
  }
  size_t capacity = grown_capacity(d->capacity, count, count, SIZE_MAX);
  void* arrays = array_block_new([d, capacity](array_block* b) { lay_out(d, b, capacity); });
  if (arrays == nullptr) return false;
  memory_release(d->arrays);
  d->arrays = arrays;
  d->capacity = capacity;
  return true;
}

bool row_draft_add(row_draft* d, rule* r, const lookahead_word* set, bool accepting, symbol* clash, bool* conflicted) {
  const core_table* t = d->table;
  if (d->count == d->capacity) return false;
  lookahead_word* part = set_at(d, d->count);
  std::memcpy(part, set, t->words * sizeof(lookahead_word));
  // The end marker is the greatest lookahead, so an accept entry is met before any reduction of r.
  if (accepting && lookahead_set_has(part, t->end_marker_bit)) {
    remove_member(part, t->end_marker_bit);
    if (d->accepts != nullptr) {
      print_reduce_conflict(d->accepts->rule, r);
      *clash = symbol_for_endmark();
      *conflicted = true;
      return false;
    }
    if (!rule_map_insert(&d->accepts, symbol_for_endmark(), r, nullptr)) return false;
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

bool row_draft_settle(row_draft* d, conflicts* found) {
  const core_table* t = d->table;
  if (lookahead_set_is_empty(d->taken, t->words)) return true;  // nothing to settle: most states only shift
  for (size_t k = 0; k < state_transition_count(d->st); ++k) {
    symbol x = symbol_for_term(term_transitions_items(d->st->transitions)[k].term);
    size_t bit = t->bit_of_term[x.term->id];
    if (!lookahead_set_has(d->taken, bit)) continue;
    size_t position = position_of(d, bit);
    rule* r = d->rules[position];
    resolution how = resolve_shift_reduce(x.term, r);
    if (!conflict_push(found, conflict{d->st, x, r, how})) return false;
    bool shifts = false;
    bool reduces = false;
    sides_kept(how, &shifts, &reduces);
    if (!shifts && !reduces && !rule_map_insert(&d->errors, x, r, nullptr)) return false;
    if (!reduces) {
      remove_member(set_at(d, position), bit);
      remove_member(d->taken, bit);
    }
    if (!shifts) {
      lookahead_set_add(d->unshifted, bit);
      d->any_unshifted = true;
    }
  }
  return true;
}

void row_draft_choose_default(row_draft* d) {
  const core_table* t = d->table;
  // A default would reduce where nonassociativity demands an error, so a
  // row with errors keeps every reduction as an entry of its own.
  size_t chosen = d->errors == nullptr ? most_reductions(d) : SIZE_MAX;
  d->default_rule = chosen != SIZE_MAX ? d->rules[chosen] : nullptr;
  std::memset(d->taken, 0, t->words * sizeof(lookahead_word));
  for (size_t position = 0; position < d->count; ++position) {
    if (position == chosen) continue;
    const lookahead_word* set = set_at(d, position);
    for (size_t bit = lookahead_set_next(set, 0, t->words); bit != SIZE_MAX;
         bit = lookahead_set_next(set, bit + 1, t->words)) {
      d->owner[bit] = d->rules[position];
    }
    lookahead_set_union(d->taken, set, t->words);
  }
}

uint64_t row_draft_hash(const row_draft* d) {
  // The shifts are the state's transitions less those settled otherwise,
  // and a list's hash is the sum of its moves': the moves taken away are
  // subtracted, and the list, shared by many states, is not read at all
  // when none is. Equal rows are confirmed entry by entry.
  const term_transitions* moves = d->st->transitions;
  uint64_t shifts = moves == nullptr ? 0 : moves->hash;
  for (size_t k = 0; d->any_unshifted && k < moves->count; ++k) {
    const term_transition& move = term_transitions_items(moves)[k];
    if (lookahead_set_has(d->unshifted, d->table->bit_of_term[move.term->id])) {
      shifts -= term_transition_hash(move.term, move.target);
    }
  }
  // A rule owns the same lookaheads in equal drafts, whatever the order the
  // rules came in: each rule other than the default is hashed with its whole
  // set, a few word operations where a wide grammar has hundreds of entries.
  uint64_t reductions = 0;
  for (size_t position = 0; position < d->count; ++position) {
    const lookahead_word* set = set_at(d, position);
    if (d->rules[position] == d->default_rule || lookahead_set_is_empty(set, d->table->words)) continue;
    reductions += hash_mix(hash_mix(0, reinterpret_cast<uintptr_t>(d->rules[position])),
                           lookahead_set_hash(set, d->table->words));
  }
  uint64_t hash = hash_mix(hash_mix(hash_mix(0, shifts), 1), reductions);
  hash = mix_map(hash_mix(hash, 2), d->accepts);
  hash = mix_map(hash_mix(hash, 3), d->errors);
  return hash_mix(hash, reinterpret_cast<uintptr_t>(d->default_rule));
}

bool row_draft_matches(const row_draft* d, const action* row) {
  if (row->default_rule != d->default_rule || !rule_map_is_same(row->accepts, d->accepts) ||
      !rule_map_is_same(row->errors, d->errors)) {
    return false;
  }
  const state_map* shift = row->shifts;
  const rule_map* reduce = row->reduces;
  return each_shift(d, [&shift](symbol x, const state* target) { return next_is(&shift, x, target); }) &&
         shift == nullptr &&
         each_reduction(d, [&reduce](symbol x, const rule* r) { return next_is(&reduce, x, r); }) &&
         reduce == nullptr;
}

action* row_draft_build(row_draft* d) {
  action* row = action_new();
  if (row == nullptr) return nullptr;
  // A row is never changed once built: each map is one block.
  bool built = symbol_map_pack(&row->shifts, [d](auto add) {
                 each_shift(d, [&add](symbol x, state* target) {
                   add(x, target);
                   return true;
                 });
               }) &&
               symbol_map_pack(&row->reduces, [d](auto add) {
                 each_reduction(d, [&add](symbol x, rule* r) {
                   add(x, r);
                   return true;
                 });
               });
  if (!built) return action_free(row);
  row->accepts = d->accepts;
  row->errors = d->errors;
  row->default_rule = d->default_rule;
  d->accepts = nullptr;
  d->errors = nullptr;
  return row;
}
