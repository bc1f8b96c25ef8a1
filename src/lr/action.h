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

// Records a shift on terminal t to target; false after "Shift conflict on terminal 't'" when t already shifts elsewhere, or silently when memory is exhausted.
bool action_add_shift(action* row, symbol t, state* target);

// Records the complete item i as an accept (when accepting) or a reduction; false after the conflict report (then *conflicted becomes true) when its lookahead already has another rule, or silently when memory is exhausted.
bool action_add_completion(action* row, item i, bool accepting, bool* conflicted);

// Settles every terminal that is both shifted and reduced on, by precedence and associativity (resolve_shift_reduce), keeping one entry or making it an error, and appends one record per such terminal of state s to found; false when found cannot grow or memory is exhausted.
bool action_resolve_conflicts(action* row, const state* s, conflicts* found);

// Makes the rule with the most reductions whose lookahead no shift takes (on a tie the smallest id) the default rule and removes its entries; no default when every reduction is shifted over or the row has errors; false, row unchanged, when memory is exhausted.
bool action_select_any_rule(action* row);

// True when shifts, reduces, accepts and errors are the same maps and the default rules are the same rule.
bool action_is_same(const action* a, const action* b);

// A hash of everything action_is_same compares.
uint64_t action_hash(const action* row);

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
