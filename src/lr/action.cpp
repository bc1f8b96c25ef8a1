#include "lr/action.h"

#include <algorithm>
#include <cstdio>

#include "grammar/term.h"
#include "text/hash_index.h"
#include "text/memory.h"

namespace {

uint64_t symbol_bits(symbol s) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(s.term)) ^
         (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(s.nonterm)) << 1);
}

}  // namespace

action* action_new() { return memory_new_record<action>(); }

action* action_free(action* row) {
  if (row == nullptr) return nullptr;
  state_map_free(row->shifts);
  rule_map_free(row->reduces);
  rule_map_free(row->accepts);
  rule_map_free(row->errors);
  memory_release(row);
  return nullptr;
}

bool action_add_shift(action* row, symbol t, state* target) {
  if (!state_map_insert(&row->shifts, t, target, nullptr)) return false;
  if (state_map_find(row->shifts, t) == target) return true;
  std::fputs("Shift conflict on terminal '", stderr);
  ustring_print(t.term->name, stderr);
  std::fputs("'\n", stderr);
  return false;
}

bool action_add_completion(action* row, item i, bool accepting, bool* conflicted) {
  bool inserted = false;
  rule_map** entries = accepting ? &row->accepts : &row->reduces;
  if (!rule_map_insert(entries, i.lookahead, i.rule, &inserted)) return false;
  if (inserted) return true;
  const rule* stored = rule_map_find(*entries, i.lookahead);
  if (stored == i.rule) {
    std::fputs("Accept conflict on lookahead symbol\n", stderr);
  } else {
    print_reduce_conflict(stored, i.rule);
    *conflicted = true;
  }
  return false;
}

bool action_resolve_conflicts(action* row, const state* s, conflicts* found) {
  // Both maps ascend in symbol order: one walk meets every terminal they share.
  const state_map* shift = row->shifts;
  for (const rule_map* reduction = row->reduces; reduction != nullptr;) {
    const rule_map* following = reduction->next;  // read before the reduction may go
    symbol t = reduction->symbol;
    rule* r = reduction->rule;
    while (shift != nullptr && symbol_less(shift->symbol, t)) shift = shift->next;
    if (shift != nullptr && symbol_equals(shift->symbol, t)) {
      resolution how = resolve_shift_reduce(t.term, r);
      if (!conflict_push(found, conflict{s, t, r, how})) return false;
      bool shifts = how == resolution::shift || how == resolution::shift_by_precedence ||
                    how == resolution::shift_by_associativity;
      bool reduces = how == resolution::reduce_by_precedence || how == resolution::reduce_by_associativity;
      if (!shifts && !reduces && !rule_map_insert(&row->errors, t, r, nullptr)) return false;
      if (!reduces) symbol_map_remove(&row->reduces, t);  // the shift alone stays, or neither
      if (!shifts) {
        shift = shift->next;
        symbol_map_remove(&row->shifts, t);
      }
    }
    reduction = following;
  }
  return true;
}

bool action_select_any_rule(action* row) {
  // A default would reduce where nonassociativity demands an error, so a
  // row with errors keeps every reduction as an entry of its own.
  if (row->reduces == nullptr || row->errors != nullptr) return true;
  size_t entries = 0;
  for (const rule_map* node = row->reduces; node != nullptr; node = node->next) ++entries;
  auto* votes = static_cast<rule**>(memory_alloc_zero(entries, sizeof(rule*)));
  if (votes == nullptr) return false;
  // A reduction whose lookahead a shift takes never happens, so it does not
  // vote: a default made of such votes would reduce on lookaheads where it
  // is never right, and the parser could reduce forever. Both maps ascend
  // by key, so one forward walk over the shifts finds every such lookahead.
  size_t count = 0;
  const state_map* shift = row->shifts;
  for (const rule_map* node = row->reduces; node != nullptr; node = node->next) {
    while (shift != nullptr && symbol_less(shift->symbol, node->symbol)) shift = shift->next;
    if (shift != nullptr && symbol_equals(shift->symbol, node->symbol)) continue;
    votes[count++] = node->rule;
  }
  // Sorted by id, each rule's votes stand together; a count wins only when
  // strictly greater, so the smallest id wins a tie.
  std::sort(votes, votes + count, [](const rule* a, const rule* b) { return a->id < b->id; });
  rule* chosen = nullptr;
  size_t most = 0;
  for (size_t i = 0, j = 0; i < count; i = j) {
    while (j < count && votes[j] == votes[i]) ++j;
    if (j - i > most) most = j - i, chosen = votes[i];
  }
  memory_release(votes);
  if (chosen == nullptr) return true;  // every reduction is taken by a shift
  rule_map_erase(&row->reduces, chosen);
  row->default_rule = chosen;
  return true;
}

bool action_is_same(const action* a, const action* b) {
  return state_map_is_same(a->shifts, b->shifts) &&
         rule_map_is_same(a->reduces, b->reduces) && rule_map_is_same(a->accepts, b->accepts) &&
         rule_map_is_same(a->errors, b->errors) && a->default_rule == b->default_rule;
}

uint64_t action_hash(const action* row) {
  uint64_t hash = 0;
  for (const state_map* node = row->shifts; node != nullptr; node = node->next) {
    hash = hash_mix(hash_mix(hash, symbol_bits(node->symbol)), reinterpret_cast<uintptr_t>(node->state));
  }
  hash = hash_mix(hash, 1);
  for (const rule_map* node = row->reduces; node != nullptr; node = node->next) {
    hash = hash_mix(hash_mix(hash, symbol_bits(node->symbol)), reinterpret_cast<uintptr_t>(node->rule));
  }
  hash = hash_mix(hash, 2);
  for (const rule_map* node = row->accepts; node != nullptr; node = node->next) {
    hash = hash_mix(hash_mix(hash, symbol_bits(node->symbol)), reinterpret_cast<uintptr_t>(node->rule));
  }
  hash = hash_mix(hash, 3);
  for (const rule_map* node = row->errors; node != nullptr; node = node->next) {
    hash = hash_mix(hash_mix(hash, symbol_bits(node->symbol)), reinterpret_cast<uintptr_t>(node->rule));
  }
  return hash_mix(hash, reinterpret_cast<uintptr_t>(row->default_rule));
}

void print_reduce_conflict(const rule* stored, const rule* incoming) {
  std::fputs("Reduce Conflict\n", stderr);
  rule_print(stored, stderr);
  rule_print(incoming, stderr);
}

actions* actions_new() { return growable_new<actions>(); }

void actions_free(actions* array) { growable_free(array); }

void actions_clear(actions* array) {
  if (array == nullptr) return;
  for (size_t k = 0; k < array->count; ++k) action_free(array->items[k]);
  array->count = 0;
}

bool action_push(actions* array, action* row) { return growable_push(array, row); }
