#ifndef VELLMARK_LR_CONFLICT_H
#define VELLMARK_LR_CONFLICT_H

#include <cstddef>
#include <cstdio>

#include "grammar/rule.h"
#include "grammar/symbol.h"
#include "grammar/term.h"
#include "text/growable.h"

struct state;

// How a state chose between shifting a terminal and reducing by a rule on it.
enum class resolution {
  shift,                     // one side has no precedence: the shift stays, and the pair counts as a conflict
  shift_by_precedence,       // the terminal binds tighter than the rule
  shift_by_associativity,    // one level, grouping to the right
  reduce_by_precedence,      // the rule binds tighter than the terminal
  reduce_by_associativity,   // one level, grouping to the left
  error_by_nonassociativity  // one level that does not group: the terminal is a syntax error there
};

// A terminal that a state could both shift and reduce on, and what it does.
struct conflict {
  const struct state* state;  // not owned
  symbol lookahead;           // the terminal
  const rule* reduce;         // the rule of the reduction, not owned
  resolution how;
};

// Conflicts in state order, then in the order of the grammar's terminals.
struct conflicts : growable<conflict> {};

// How a shift of lookahead and a reduction by r on it are resolved, from their precedences.
resolution resolve_shift_reduce(const term* lookahead, const rule* r);

// True when the resolution is the plain shift that counts as a conflict.
inline bool conflict_is_unresolved(const conflict& c) { return c.how == resolution::shift; }

// The words the reports use for a resolution, such as "shift (no precedence decides)".
const char* resolution_text(resolution how);

// An empty list; null when memory is exhausted.
conflicts* conflicts_new();

// Releases the storage and the list; accepts null.
void conflicts_free(conflicts* list);

// Appends c; false (list unchanged) when it cannot grow.
bool conflict_push(conflicts* list, conflict c);

// The number of conflicts resolved by the plain shift.
size_t conflicts_unresolved(const conflicts* list);

// Orders the list by state number, then by terminal number (a state has one conflict per terminal).
void conflicts_sort(conflicts* list);

#endif
