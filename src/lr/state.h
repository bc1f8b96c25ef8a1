#ifndef VELLMARK_LR_STATE_H
#define VELLMARK_LR_STATE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "grammar/symbol.h"
#include "lr/item_groups.h"
#include "lr/item_set.h"
#include "lr/symbol_map.h"
#include "text/growable.h"
#include "text/hash_index.h"

struct action;

// A move on a terminal: the state that shifting it leads to.
struct term_transition {
  struct term* term;
  ::state* target;  // not owned
};

// The moves of a state on terminals, ascending in symbol order, in one block
// with this record. In a wide grammar most states that shift at all shift
// the same hundreds of terminals to the same states (every keyword that
// starts a statement, say), so the construction keeps each distinct list
// once, for every state that has it.
struct term_transitions {
  uint64_t hash;  // the sum of term_transition_hash over the entries
  size_t count;   // entries, which follow the record (term_transitions_items)
  bool shared;    // kept in the solver's index for every state with these moves, rather than owned by one state
};

// The entries of a list.
inline term_transition* term_transitions_items(const term_transitions* list) {
  return reinterpret_cast<term_transition*>(const_cast<term_transitions*>(list) + 1);
}

// The part of a list's hash that one move adds: lists are hashed by summing,
// so that the hash of a list less some moves is found without reading the rest.
inline uint64_t term_transition_hash(const struct term* t, const ::state* target) {
  return hash_mix(hash_mix(0, reinterpret_cast<uintptr_t>(t)), reinterpret_cast<uintptr_t>(target));
}

// One state of the canonical LR(1) automaton.
struct state {
  size_t id;                 // position in the solver's states; the start state is 0
  item_set* items;           // all items, kernel and closure, when built item by item; null in the solver's states (solver_state_items gives them)
  term_transitions* transitions;  // the successors on terminals; null when none; owned unless shared
  state_map* gotos;          // the successors on nonterminals, owned nodes
  struct action* action;     // the shared action row, not owned; null until built
  item_groups* kernel;       // the solver's compact kernel, owned; null otherwise
  item_groups* reductions;   // the solver's completed items by rule in item order, owned; null when none
};

// States by pointer; owning or not depending on use (the solver's list owns, its worklist does not).
struct states : growable<state*> {};

// An empty state; null when memory is exhausted.
state* state_new();

// An empty state without an item set, as the construction makes them from
// their compact kernels: the set would stay empty in each of what may be a
// hundred thousand states. Null when memory is exhausted.
state* state_new_compact();

// Releases the items, the transitions, the gotos, the compact groups and the record, never the action row; accepts null.
void state_free(state* s);

// Frees the gotos of s, and its transitions unless shared, leaving it without successors.
void state_clear_transitions(state* s);

// Gives s the successors on symbols[k] to targets[k] for k below count,
// symbols strictly ascending and never the end marker: those on terminals
// become the transitions, a list of its own, and those on nonterminals the
// gotos. False, s without successors, when memory is exhausted.
bool state_set_transitions(state* s, const symbol* symbols, state* const* targets, size_t count);

// As state_set_transitions, but transitions of a few moves or more are the
// list in shared equal to them, made and added to it when new: such lists
// belong to the index (term_transitions_free_shared) and are never changed.
// A shorter list stays its state's own, as an entry of the index would
// cost about as much as the copy.
bool state_share_transitions(state* s, hash_index<term_transitions>* shared, const symbol* symbols,
                             state* const* targets, size_t count);

// Frees every list of the index and empties it.
void term_transitions_free_shared(hash_index<term_transitions>* shared);

// The number of transitions of s on terminals.
inline size_t state_transition_count(const state* s) { return s->transitions == nullptr ? 0 : s->transitions->count; }

// The successor of s on x, a terminal or a nonterminal; null when there is none.
state* state_transition(const state* s, symbol x);

// The gotos are made with the transitions (state_set_transitions): true, as nothing is left to do.
bool state_solve_gotos(state* s);

// Writes "State {", the items one per line (none without an item set), and "}" without a newline.
void state_print(const state* s, FILE* stream);

// An empty array; null when memory is exhausted.
states* states_new();

// Releases the storage and the array, not the states; accepts null.
void states_free(states* array);

// Frees every state and empties the array, keeping its storage; accepts null.
void states_clear(states* array);

// Appends s; false (array unchanged) when it cannot grow.
bool state_push(states* array, state* s);

// Removes and returns the last state; null when the array is empty.
state* state_pop(states* array);

// Writes every state as state_print does, each followed by a newline.
void states_print(const states* array, FILE* stream);

#endif
