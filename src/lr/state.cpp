#include "lr/state.h"

#include <algorithm>
#include <functional>

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

state* state_new_compact() { return memory_new_record<state>(); }

void state_free(state* s) {
  if (s == nullptr) return;
  item_set_free(s->items);
  state_clear_transitions(s);
  item_groups_free(s->kernel);
  item_groups_free(s->reductions);
  memory_release(s);
}

void state_clear_transitions(state* s) {
  memory_release(s->transitions);
  s->transitions = nullptr;
  s->transition_count = 0;
  s->gotos = state_map_free(s->gotos);
}

bool state_set_transitions(state* s, const symbol* symbols, state* const* targets, size_t count) {
  state_clear_transitions(s);
  size_t terminals = 0;  // terminals sort first
  while (terminals < count && symbols[terminals].term != nullptr) ++terminals;
  if (terminals > 0) {
    s->transitions = static_cast<term_transition*>(memory_alloc(terminals * sizeof(term_transition)));
    if (s->transitions == nullptr) return false;
    for (size_t k = 0; k < terminals; ++k) s->transitions[k] = term_transition{symbols[k].term, targets[k]};
    s->transition_count = terminals;
  }
  bool packed = symbol_map_pack(&s->gotos, [=](auto add) {
    for (size_t k = terminals; k < count; ++k) add(symbols[k], targets[k]);
  });
  if (!packed) state_clear_transitions(s);
  return packed;
}

state* state_transition(const state* s, symbol x) {
  if (x.term == nullptr) return state_map_find(s->gotos, x);
  // Transitions ascend in symbol order, which among terminals is the order of their records.
  const term_transition* first = s->transitions;
  const term_transition* last = s->transitions + s->transition_count;
  const term_transition* at = std::lower_bound(first, last, x.term, [](const term_transition& t, const term* key) {
    return std::less<const term*>()(t.term, key);
  });
  return at != last && at->term == x.term ? at->target : nullptr;
}

bool state_solve_gotos(state*) { return true; }

void state_print(const state* s, FILE* stream) {
  std::fputs("State {\n", stream);
  if (s->items != nullptr) item_set_print(s->items, stream);
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
