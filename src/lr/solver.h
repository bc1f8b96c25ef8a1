#ifndef VELLMARK_LR_SOLVER_H
#define VELLMARK_LR_SOLVER_H

#include "grammar/grammar.h"
#include "lr/action.h"
#include "lr/conflict.h"
#include "lr/core_table.h"
#include "text/hash_index.h"
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
  hash_index<term_transitions> transition_index;  // each distinct list of transitions on terminals, owned, shared by the states that have it
  size_t state_limit;                  // most states the construction may make; 0, the default, for no limit
  struct conflicts* conflicts;         // every terminal some state could both shift and reduce on, sorted, owned
  const nonterm* start_symbol;         // the start symbol of the solved grammar
  const rule* accepted_rule;           // the one accepting rule when the grammar names no start symbol; null when every alternative accepts
};

// A solver with no states and no rows; null when memory is exhausted (nothing stays allocated).
solver* solver_new();

// Frees every row, every state, the numbering and the solver; accepts null.
void solver_free(solver* s);

// Builds and numbers every state reachable from the start items, then every row, with its shift/reduce conflicts resolved and recorded, and every goto; false after a reduce conflict report, for a start symbol without rules, for a solver used before, when the automaton outgrows a nonzero state_limit, or when memory is exhausted.
bool solve_grammar(solver* s, grammar* g);

// The state whose kernel is the successor c has formed, made and queued on worklist when it is new; null when memory is exhausted or a new state would pass a nonzero state_limit.
state* solve_state_after_symbol(solver* s, states* worklist, const closure* c);

// Builds the row and the gotos of every state in order, sharing equal rows; false after a reduce conflict report, with its example, or when memory is exhausted.
bool solver_actions(solver* s);

// True when the complete item i accepts the input: a start rule reduced at the end of input.
bool solver_accepts(const solver* s, item i);

// Inserts every item of a solved state, kernel and closure, into out; false when memory is exhausted.
bool solver_state_items(const solver* s, const state* st, item_set* out);

#endif
