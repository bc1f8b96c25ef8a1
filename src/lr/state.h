#ifndef VELLMARK_LR_STATE_H
#define VELLMARK_LR_STATE_H

#include <cstddef>
#include <cstdio>

#include "grammar/symbol.h"
#include "lr/item_groups.h"
#include "lr/item_set.h"
#include "lr/symbol_map.h"
#include "text/growable.h"

struct action;

// A move on a terminal: the state that shifting it leads to.
struct term_transition {
  struct term* term;
  ::state* target;  // not owned
};

// One state of the canonical LR(1) automaton.
struct state {
  size_t id;                 // position in the solver's states; the start state is 0
  item_set* items;           // all items, kernel and closure, when built item by item; null in the solver's states (solver_state_items gives them)
  term_transition* transitions;  // the successors on terminals, ascending in symbol order, one owned block; null when none
  size_t transition_count;
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

// Frees the transitions and the gotos of s, leaving it without successors.
void state_clear_transitions(state* s);

// Gives s the successors on symbols[k] to targets[k] for k below count,
// symbols strictly ascending and never the end marker: those on terminals
// become the transitions, in one block, since there may be hundreds of them
// in each of many thousands of states; those on nonterminals the gotos.
// False, s without successors, when memory is exhausted.
bool state_set_transitions(state* s, const symbol* symbols, state* const* targets, size_t count);

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
