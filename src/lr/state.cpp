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
  if (s->transitions != nullptr && !s->transitions->shared) memory_release(s->transitions);
  s->transitions = nullptr;
  s->gotos = state_map_free(s->gotos);
}

namespace {

// Lists of fewer moves are not shared.
constexpr size_t worth_sharing = 4;

// The hash that a list of the first count moves would have.
uint64_t moves_hash(const symbol* symbols, state* const* targets, size_t count) {
  uint64_t hash = 0;
  for (size_t k = 0; k < count; ++k) hash += term_transition_hash(symbols[k].term, targets[k]);
  return hash;
}

// True when list holds exactly the first count moves.
bool holds_moves(const term_transitions* list, const symbol* symbols, state* const* targets, size_t count) {
  if (list->count != count) return false;
  const term_transition* moves = term_transitions_items(list);
  for (size_t k = 0; k < count; ++k) {
    if (moves[k].term != symbols[k].term || moves[k].target != targets[k]) return false;
  }
  return true;
}

// A list of the first count moves, hash given; null when memory is exhausted.
term_transitions* new_moves(const symbol* symbols, state* const* targets, size_t count, uint64_t hash) {
  auto* list = static_cast<term_transitions*>(memory_alloc(sizeof(term_transitions) + count * sizeof(term_transition)));
  if (list == nullptr) return nullptr;
  *list = term_transitions{hash, count, false};
  term_transition* moves = term_transitions_items(list);
  for (size_t k = 0; k < count; ++k) moves[k] = term_transition{symbols[k].term, targets[k]};
  return list;
}

// The transitions of the first count moves: the equal list of shared, or a
// new one, added to shared when given; null when memory is exhausted.
term_transitions* find_or_make_moves(hash_index<term_transitions>* shared, const symbol* symbols,
                                     state* const* targets, size_t count) {
  uint64_t hash = moves_hash(symbols, targets, count);
  if (count < worth_sharing) shared = nullptr;
  if (shared != nullptr) {
    term_transitions* equal = hash_index_find(shared, hash, [=](const term_transitions* list) {
      return holds_moves(list, symbols, targets, count);
    });
    if (equal != nullptr) return equal;
  }
  term_transitions* list = new_moves(symbols, targets, count, hash);
  if (list == nullptr || shared == nullptr) return list;
  if (!hash_index_add(shared, hash, list)) {
    memory_release(list);
    return nullptr;
  }
  list->shared = true;
  return list;
}

bool set_successors(state* s, hash_index<term_transitions>* shared, const symbol* symbols, state* const* targets,
                    size_t count) {
  state_clear_transitions(s);
  size_t terminals = 0;  // terminals sort first
  while (terminals < count && symbols[terminals].term != nullptr) ++terminals;
  if (terminals > 0) {
    s->transitions = find_or_make_moves(shared, symbols, targets, terminals);
    if (s->transitions == nullptr) return false;
  }
  bool packed = symbol_map_pack(&s->gotos, [=](auto add) {
    for (size_t k = terminals; k < count; ++k) add(symbols[k], targets[k]);
  });
  if (!packed) state_clear_transitions(s);
  return packed;
}

}  // namespace

bool state_set_transitions(state* s, const symbol* symbols, state* const* targets, size_t count) {
  return set_successors(s, nullptr, symbols, targets, count);
}

bool state_share_transitions(state* s, hash_index<term_transitions>* shared, const symbol* symbols,
                             state* const* targets, size_t count) {
  return set_successors(s, shared, symbols, targets, count);
}

void term_transitions_free_shared(hash_index<term_transitions>* shared) {
  for (size_t k = 0; k < shared->capacity; ++k) memory_release(shared->slots[k].value);
  hash_index_clear(shared);
}

state* state_transition(const state* s, symbol x) {
  if (x.term == nullptr) return state_map_find(s->gotos, x);
  // Transitions ascend in symbol order, which among terminals is the order of their records.
  if (s->transitions == nullptr) return nullptr;
  const term_transition* first = term_transitions_items(s->transitions);
  const term_transition* last = first + s->transitions->count;
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
