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

// One state of the canonical LR(1) automaton.
struct state {
  size_t id;                 // position in the solver's states; the start state is 0
  item_set* items;           // all items, kernel and closure, when built item by item; the solver leaves it empty (solver_state_items gives them)
  state_map* transitions;    // symbol -> successor, terminals and nonterminals (never the end marker), owned nodes
  state_map* gotos;          // the nonterminal entries of transitions: the list from its first nonterminal on, not owned
  struct action* action;     // the shared action row, not owned; null until built
  item_groups* kernel;       // the solver's compact kernel, owned; null otherwise
  item_groups* reductions;   // the solver's completed items by rule in item order, owned; null when none
};

// States by pointer; owning or not depending on use (the solver's list owns, its worklist does not).
struct states : growable<state*> {};

// An empty state; null when memory is exhausted.
state* state_new();

// Releases the items, the transitions, the compact groups and the record, never the action row; accepts null.
void state_free(state* s);

// Points gotos at the nonterminal entries of transitions, which follow every terminal one; true (nothing is allocated).
bool state_solve_gotos(state* s);

// Writes "State {", the items one per line, and "}" without a newline.
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
