#ifndef VELLMARK_LR_CONFLICT_EXAMPLE_H
#define VELLMARK_LR_CONFLICT_EXAMPLE_H

#include <cstddef>
#include <cstdio>

#include "grammar/grammar.h"
#include "lr/conflict.h"
#include "lr/solver.h"
#include "text/ustring.h"

// The shortest way into every state of a solved automaton: the symbols a
// parser reads from the start state to reach it. Among ways of one length
// the one through the smallest state numbers is kept, so that examples do
// not depend on where records happen to lie in memory.
struct state_paths {
  size_t count;       // states of the automaton
  size_t* previous;   // by state id: the state it is first reached from; SIZE_MAX for the start state and unreachable ones
  symbol* through;    // by state id: the symbol read on that transition
};

// The paths of every state, found breadth first; when targets are given the
// search stops once it has reached them all (others may stay unreached);
// null when memory is exhausted.
state_paths* state_paths_new(const solver* s, const state* const* targets = nullptr, size_t target_count = 0);

// Releases the arrays and the record; accepts null.
void state_paths_free(state_paths* paths);

// Appends a symbol as the grammar writes it: a name, a quoted terminal in quotes, "$" for the end of input; false when memory is exhausted.
bool append_grammar_symbol(ustring* out, symbol x);

// Appends "A -> x • y": the rule with a mark before symbol number mark (none when mark is past the end); false when memory is exhausted.
bool append_marked_rule(ustring* out, const rule* r, size_t mark);

// Appends the symbols read from the start to st, then "•" and the lookahead, separated by blanks; false when memory is exhausted.
bool append_conflict_example(ustring* out, const state_paths* paths, const state* st, symbol lookahead);

// The item of st with the smallest rule number that shifts lookahead: its rule in *r and its mark in *mark; false when st does not shift it.
bool solver_shifting_item(const solver* s, const state* st, symbol lookahead, const rule** r, size_t* mark);

// Appends the lines that explain one shift/reduce conflict, each ended by a
// line feed: first which items shift and reduce and how it was resolved, then,
// indented, the example and, when trees_left is given and a search within it
// (counting it down) finds the grammar ambiguous there, one sentential form
// with its two derivations. False when memory is exhausted (what was
// appended may be cut short).
bool explain_conflict(const grammar* g, const solver* s, const state_paths* paths, const conflict& c,
                      size_t* trees_left, ustring* out);

#endif
