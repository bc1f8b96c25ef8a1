#ifndef VELLMARK_LR_ACTION_H
#define VELLMARK_LR_ACTION_H

#include <cstdint>

#include "lr/conflict.h"
#include "lr/item.h"
#include "lr/state.h"
#include "lr/symbol_map.h"
#include "text/growable.h"

// The action row of a state: what the parser does for each lookahead. Once
// built, a terminal stands in at most one of shifts, reduces and errors.
struct action {
  state_map* shifts;   // terminal -> state to shift to, owned nodes
  rule_map* reduces;   // lookahead -> rule to reduce by, without the default rule's entries, owned nodes
  rule_map* accepts;   // end marker -> accepting rule, owned nodes
  rule_map* errors;    // terminal -> the rule whose reduction nonassociativity refused, owned nodes
  rule* default_rule;  // reduction for every lookahead without an entry; null when the state reduces nothing or has errors
};

// Rows by pointer, in the order they were first built; the solver's list owns them.
struct actions : growable<action*> {};

// An empty row; null when memory is exhausted.
action* action_new();

// Frees the nodes of the three maps and the row; accepts null and returns null.
action* action_free(action* row);

// True when shifts, reduces, accepts and errors are the same maps and the default rules are the same rule.
bool action_is_same(const action* a, const action* b);

// Writes "Reduce Conflict" and the two rules as rule_print does, each on its own line, to standard error.
void print_reduce_conflict(const rule* stored, const rule* incoming);

// An empty array; null when memory is exhausted.
actions* actions_new();

// Releases the storage and the array, not the rows; accepts null.
void actions_free(actions* array);

// Frees every row and empties the array; accepts null.
void actions_clear(actions* array);

// Appends row; false (array unchanged) when it cannot grow.
bool action_push(actions* array, action* row);

#endif
