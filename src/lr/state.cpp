#include "lr/state.h"

#include "grammar/nonterm.h"
#include "lr/first_follow.h"

namespace {

// The scratch objects of one closure, made once and reused for every item.
struct closure_scratch {
  item_set* worklist;
  symbols* rest;
  symbol_set* lookaheads;
};

void release_scratch(closure_scratch* scratch) {
  item_set_free(scratch->worklist);
  symbols_free(scratch->rest);
  symbol_set_free(scratch->lookaheads);
}

// The rest of the rule after the nonterminal at the dot, followed by the lookahead.
bool fill_rest(symbols* rest, item i) {
  rest->count = 0;
  const symbols* rhs = i.rule->symbols;
  for (size_t k = i.mark + 1; k < rhs->count; ++k) {
    if (!growable_push(rest, rhs->items[k])) return false;
  }
  return growable_push(rest, i.lookahead);
}

// Adds the items of every rule of b with each lookahead, queueing those new to the state.
bool add_rule_items(state* s, item_set* worklist, const nonterm* b, const symbol_set* lookaheads) {
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

bool close_items(state* s, closure_scratch* scratch) {
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

}  // namespace

state* state_new() {
  state* s = memory_new_record<state>();
  if (s == nullptr) return nullptr;
  s->items = item_set_new();
  if (s->items == nullptr) {
    memory_release(s);
    return nullptr;
  }
  return s;
}

void state_free(state* s) {
  if (s == nullptr) return;
  item_set_free(s->items);
  state_map_free(s->transitions);
  state_map_free(s->gotos);
  item_groups_free(s->kernel);
  item_groups_free(s->reductions);
  memory_release(s);
}

bool state_solve_closure(state* s) {
  closure_scratch scratch{item_set_new(), symbols_new(), symbol_set_new()};
  bool made = scratch.worklist != nullptr && scratch.rest != nullptr && scratch.lookaheads != nullptr;
  bool closed = made && close_items(s, &scratch);
  release_scratch(&scratch);
  return closed;
}

state* state_new_after_symbol(const state* s, symbol x) {
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

bool state_solve_gotos(state* s) {
  for (const state_map* node = s->transitions; node != nullptr; node = node->next) {
    if (node->symbol.nonterm == nullptr) continue;
    if (!state_map_insert(&s->gotos, node->symbol, node->state, nullptr)) return false;
  }
  return true;
}

void state_print(const state* s, FILE* stream) {
  std::fputs("State {\n", stream);
  item_set_print(s->items, stream);
  std::fputc('}', stream);
}

states* states_new() { return growable_new<states>(); }

void states_free(states* array) { growable_free(array); }

void states_clear(states* array) {
  if (array == nullptr) return;
  for (size_t k = 0; k < array->count; ++k) state_free(array->items[k]);
  array->count = 0;
}

bool state_push(states* array, state* s) { return growable_push(array, s); }

state* state_pop(states* array) {
  if (array->count == 0) return nullptr;  // an empty stack has nothing to hand out
  return array->items[--array->count];
}

void states_print(const states* array, FILE* stream) {
  for (size_t k = 0; k < array->count; ++k) {
    state_print(array->items[k], stream);
    std::fputc('\n', stream);
  }
}
