#ifndef VELLMARK_LR_SOLVER_H
#define VELLMARK_LR_SOLVER_H

#include "grammar/grammar.h"
#include "lr/action.h"
#include "lr/core_table.h"
#include "lr/hash_index.h"
#include "lr/item.h"
#include "lr/item_groups.h"
#include "lr/item_set.h"
#include "lr/state.h"

struct closure;

// The canonical LR(1) automaton of one grammar.
struct solver {
  struct states* states;               // every state in creation order, owned; a state's id is its position
  struct actions* actions;             // the distinct action rows in the order first built, owned
  core_table* cores;                   // the numbering the construction used, owned; null before solving
  hash_index<struct state> state_index;   // states by the hash of their kernels
  hash_index<struct action> action_index; // rows by the hash of their contents
  size_t state_limit;                  // most states the construction may make; 0, the default, for no limit
};

// A solver with no states and no rows; null when memory is exhausted (nothing stays allocated).
solver* solver_new();

// Frees every row, every state, the numbering and the solver; accepts null.
void solver_free(solver* s);

// Builds and numbers every state reachable from the start item, then every row and goto; false after a conflict report, for a grammar without rules, for a solver used before, when the automaton outgrows a nonzero state_limit, or when memory is exhausted.
bool solve_grammar(solver* s, grammar* g);

// Records from's transition on x to the state whose kernel is kernel, making and queueing that state when it is new; false when memory is exhausted or a new state would pass a nonzero state_limit.
bool solve_state_after_symbol(solver* s, states* worklist, state* from, symbol x, const item_groups* kernel);

// Builds the row and the gotos of every state in order, sharing equal rows; false after a conflict report or when memory is exhausted.
bool solver_actions(solver* s, item accept_item);

// Inserts every item of a solved state, kernel and closure, into out; false when memory is exhausted.
bool solver_state_items(const solver* s, const state* st, item_set* out);

#endif
