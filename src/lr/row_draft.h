#ifndef VELLMARK_LR_ROW_DRAFT_H
#define VELLMARK_LR_ROW_DRAFT_H

#include <cstddef>
#include <cstdint>

#include "lr/action.h"
#include "lr/conflict.h"
#include "lr/core_table.h"
#include "lr/lookahead_set.h"

// A state's row while it is built. Its reductions are held as one lookahead
// set per reducing rule and its shifts are read from the state's terminal
// transitions, so that finding reduce conflicts, settling shift/reduce
// conflicts, choosing the default rule and recognising an equal row already
// built cost a few word operations per rule and one walk per entry: map
// nodes are made only for a row that is new. One draft serves every state
// in turn; its lookahead bits are those of the core table.
struct row_draft {
  const core_table* table;
  const state* st;          // the state whose row is drafted, not owned
  size_t count;             // rules added since the draft was begun
  size_t capacity;          // rules the arrays have room for
  void* arrays;             // the one block of the arrays below, owned
  rule** rules;             // by position, in the order added
  lookahead_word* sets;     // by position, table->words each: the lookaheads the rule reduces on, the accept entry apart
  lookahead_word* taken;    // every lookahead some rule reduces on; after choosing, those of the rules other than the default
  lookahead_word* unshifted;  // terminals whose transition settling turned away from a shift
  bool any_unshifted;         // unshifted has a member: most rows keep every shift
  rule** owner;             // by lookahead bit, after choosing: the rule reducing there
  rule_map* accepts;        // the row's accept entry, owned until the row is built
  rule_map* errors;         // the row's error entries, owned until the row is built
  rule* default_rule;       // chosen by row_draft_choose_default
};

// An empty draft for the lookaheads of table; null when memory is exhausted.
row_draft* row_draft_new(const core_table* table);

// Releases the arrays, the maps and the record; accepts null.
void row_draft_free(row_draft* d);

// Empties the draft for the row of st, whose terminal transitions are its shifts, with room for count rules; false, the draft empty, when memory is exhausted.
bool row_draft_begin(row_draft* d, const state* st, size_t count);

// Adds the completed items of r with the lookaheads of set: the end marker
// becomes the accept entry when accepting, every other lookahead a
// reduction. False after the "Reduce Conflict" report when a lookahead
// already has another rule (then *clash is that lookahead and *conflicted
// true), or silently when memory is exhausted or the draft has no room left.
bool row_draft_add(row_draft* d, rule* r, const lookahead_word* set, bool accepting, symbol* clash, bool* conflicted);

// Settles every terminal that is both shifted and reduced on, by precedence
// and associativity (resolve_shift_reduce), keeping the shift, the
// reduction or neither (then an error entry), and appends one record per
// such terminal to found, in key order; false when found cannot grow or
// memory is exhausted.
bool row_draft_settle(row_draft* d, conflicts* found);

// Makes the rule with the most lookaheads the default rule (on a tie the smallest id; none when the row has errors or no reduction).
void row_draft_choose_default(row_draft* d);

// The hash of the row that the chosen draft stands for; equal drafts hash alike.
uint64_t row_draft_hash(const row_draft* d);

// True when row has exactly the entries and the default rule of the chosen draft (action_is_same with the row it would build).
bool row_draft_matches(const row_draft* d, const action* row);

// The row of the chosen draft, its entries in key order; the draft must be begun again before the next row. Null when memory is exhausted.
action* row_draft_build(row_draft* d);

#endif
