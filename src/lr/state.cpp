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
  item_groups_free(s->kernel);
  item_groups_free(s->reductions);
  memory_release(s);
}

bool state_solve_gotos(state* s) {
  // Nonterminals sort after terminals, so the list from the first of them
  // on is a map of its own: the gotos share the transitions' nodes.
  s->gotos = const_cast<state_map*>(symbol_map_first_nonterm(s->transitions));
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
