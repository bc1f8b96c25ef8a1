#include "lr/state.h"

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

bool state_solve_gotos(state* s) {
  // Made afresh in one block, in the key order of the transitions.
  s->gotos = state_map_free(s->gotos);
  const state_map* transitions = s->transitions;
  return symbol_map_pack(&s->gotos, [transitions](auto add) {
    for (const state_map* node = transitions; node != nullptr; node = node->next) {
      if (node->symbol.nonterm != nullptr) add(node->symbol, node->state);
    }
  });
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
