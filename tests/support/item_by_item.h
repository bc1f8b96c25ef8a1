#ifndef VELLMARK_TESTS_SUPPORT_ITEM_BY_ITEM_H
#define VELLMARK_TESTS_SUPPORT_ITEM_BY_ITEM_H

// The construction of states and rows exactly as first described, one item
// at a time with sorted sets: slow and plain, so that the fast construction
// of the solver can be checked against it.

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "lr/action.h"
#include "text/memory.h"
#include "lr/first_follow.h"
#include "lr/state.h"

namespace item_by_item_detail {

// The scratch objects of one closure, made once and reused for every item.
struct closure_scratch {
  item_set* worklist;
  symbols* rest;
  symbol_set* lookaheads;
};

inline void release_scratch(closure_scratch* scratch) {
  item_set_free(scratch->worklist);
  symbols_free(scratch->rest);
  symbol_set_free(scratch->lookaheads);
}

// The rest of the rule after the nonterminal at the dot, followed by the lookahead.
inline bool fill_rest(symbols* rest, item i) {
  rest->count = 0;
  const symbols* rhs = i.rule->symbols;
  for (size_t k = i.mark + 1; k < rhs->count; ++k) {
    if (!growable_push(rest, rhs->items[k])) return false;
  }
  return growable_push(rest, i.lookahead);
}

// Adds the items of every rule of b with each lookahead, queueing those new to the state.
inline bool add_rule_items(state* s, item_set* worklist, const nonterm* b, const symbol_set* lookaheads) {
  for (size_t r = 0; r < b->rules->count; ++r) {
    for (size_t k = 0; k < lookaheads->count; ++k) {
      item added = item_make(b->rules->items[r], 0, lookaheads->items[k]);
      bool inserted = false;
      if (!item_insert(s->items, added, &inserted)) return false;
      if (inserted && !item_insert(worklist, added, nullptr)) return false;
    }
  }
  return true;
}

inline bool close_items(state* s, closure_scratch* scratch) {
  if (!item_insert_set(scratch->worklist, s->items)) return false;
  while (scratch->worklist->count > 0) {
    item i = item_set_pop(scratch->worklist);
    nonterm* b = item_next_nonterm(i);
    if (b == nullptr) continue;
    if (!fill_rest(scratch->rest, i)) return false;
    if (!solve_firsts_for_symbols(scratch->rest, scratch->lookaheads)) return false;
    if (!add_rule_items(s, scratch->worklist, b, scratch->lookaheads)) return false;
  }
  return true;
}

}  // namespace item_by_item_detail

inline bool state_solve_closure(state* s) {
  item_by_item_detail::closure_scratch scratch{item_set_new(), symbols_new(), symbol_set_new()};
  bool made = scratch.worklist != nullptr && scratch.rest != nullptr && scratch.lookaheads != nullptr;
  bool closed = made && item_by_item_detail::close_items(s, &scratch);
  item_by_item_detail::release_scratch(&scratch);
  return closed;
}

inline state* state_new_after_symbol(const state* s, symbol x) {
  state* next = state_new();
  if (next == nullptr) return nullptr;
  for (size_t k = 0; k < s->items->count; ++k) {
    item i = s->items->items[k];
    if (!item_has_next(i) || !symbol_equals(item_next_symbol(i), x)) continue;
    if (!item_insert(next->items, item_advance_mark(i), nullptr)) {
      state_free(next);
      return nullptr;
    }
  }
  if (!state_solve_closure(next)) {
    state_free(next);
    return nullptr;
  }
  return next;
}

// Adds the successor of s on x, terminal or nonterminal, unless s has one
// already, by making its successors again with the one more: a state's
// successors are otherwise made all at once. False when memory is exhausted.
inline bool state_add_transition(state* s, symbol x, state* target) {
  std::vector<std::pair<symbol, state*>> successors;
  for (size_t k = 0; k < state_transition_count(s); ++k) {
    const term_transition& move = term_transitions_items(s->transitions)[k];
    successors.emplace_back(symbol_for_term(move.term), move.target);
  }
  for (const state_map* node = s->gotos; node != nullptr; node = node->next) successors.emplace_back(node->symbol, node->state);
  auto place = std::lower_bound(successors.begin(), successors.end(), x,
                                [](const std::pair<symbol, state*>& a, symbol key) { return symbol_less(a.first, key); });
  if (place != successors.end() && symbol_equals(place->first, x)) return true;
  successors.insert(place, {x, target});
  std::vector<symbol> symbols;
  std::vector<state*> targets;
  for (const auto& [key, to] : successors) {
    symbols.push_back(key);
    targets.push_back(to);
  }
  return state_set_transitions(s, symbols.data(), targets.data(), successors.size());
}

// The row built entry by entry, one map node per lookahead.

// Records a shift on terminal t to target; false after "Shift conflict on terminal 't'" when t already shifts elsewhere, or silently when memory is exhausted.
inline bool action_add_shift(action* row, symbol t, state* target) {
  if (!state_map_insert(&row->shifts, t, target, nullptr)) return false;
  if (state_map_find(row->shifts, t) == target) return true;
  std::fputs("Shift conflict on terminal '", stderr);
  ustring_print(t.term->name, stderr);
  std::fputs("'\n", stderr);
  return false;
}

// Records the complete item i as an accept (when accepting) or a reduction; false after the conflict report (then *conflicted becomes true) when its lookahead already has another rule, or silently when memory is exhausted.
inline bool action_add_completion(action* row, item i, bool accepting, bool* conflicted) {
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

// Settles every terminal that is both shifted and reduced on, by precedence and associativity (resolve_shift_reduce), keeping one entry or making it an error, and appends one record per such terminal of state s to found; false when found cannot grow or memory is exhausted.
inline bool action_resolve_conflicts(action* row, const state* s, conflicts* found) {
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

// Makes the rule with the most reductions whose lookahead no shift takes (on a tie the smallest id) the default rule and removes its entries; no default when every reduction is shifted over or the row has errors; false, row unchanged, when memory is exhausted.
inline bool action_select_any_rule(action* row) {
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

// True when the complete item i accepts: it is accept_item or, when every_alternative_of is given, any of its rules at the end of input.
inline bool item_by_item_accepts(item i, item accept_item, const nonterm* every_alternative_of) {
  if (every_alternative_of == nullptr) return item_equal(i, accept_item);
  return i.rule->nonterm == every_alternative_of && i.lookahead.term == nullptr && i.lookahead.nonterm == nullptr;
}

// The row of a state from its items and transitions, accepting as item_by_item_accepts says: shifts, completions,
// the conflicts settled by precedence into found (when given), and the default rule; null after a reduce conflict
// report or when memory is exhausted.
inline action* actions_new_for_state(const state* s, item accept_item, conflicts* found = nullptr,
                                     const nonterm* every_alternative_of = nullptr) {
  action* row = action_new();
  if (row == nullptr) return nullptr;
  for (size_t k = 0; k < s->items->count; ++k) {
    item i = s->items->items[k];
    bool added = true;
    bool conflicted = false;
    if (!item_has_next(i)) {
      added = action_add_completion(row, i, item_by_item_accepts(i, accept_item, every_alternative_of), &conflicted);
    } else if (item_next_symbol(i).nonterm == nullptr) {
      symbol t = item_next_symbol(i);
      state* target = state_transition(s, t);
      if (target != nullptr) added = action_add_shift(row, t, target);
    }
    if (!added) return action_free(row);
  }
  conflicts* scratch = found != nullptr ? found : conflicts_new();
  bool resolved = scratch != nullptr && action_resolve_conflicts(row, s, scratch);
  if (found == nullptr) conflicts_free(scratch);
  if (!resolved || !action_select_any_rule(row)) return action_free(row);
  return row;
}

#endif
