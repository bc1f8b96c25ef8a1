#ifndef VELLMARK_LR_ROW_DRAFT_H
#define VELLMARK_LR_ROW_DRAFT_H

#include <cstddef>

#include "lr/action.h"
#include "lr/conflict.h"
#include "lr/core_table.h"
#include "lr/lookahead_set.h"

// The reductions of a state's row while the row is built, held as one
// lookahead set per reducing rule rather than as map entries: finding reduce
// conflicts, settling shift/reduce conflicts and choosing the default rule
// each cost a few word operations per rule, and only the entries that stay
// in the row become nodes of its reduce map. One draft serves every state in
// turn; its lookahead bits are those of the core table.
struct row_draft {
  const core_table* table;
  size_t count;           // rules added since the draft was begun
  size_t capacity;        // rules the arrays have room for
  void* arrays;           // the one block of the arrays below, owned
  rule** rules;           // by position, in the order added
  lookahead_word* sets;   // by position, table->words each: the lookaheads the rule reduces on, the accept entry apart
  lookahead_word* taken;  // every lookahead some rule reduces on
  rule** owner;           // by lookahead bit: scratch for writing the entries in key order
};

// An empty draft for the lookaheads of table; null when memory is exhausted.
row_draft* row_draft_new(const core_table* table);

// Releases the arrays and the record; accepts null.
void row_draft_free(row_draft* d);

// Empties the draft with room for count rules; false, the draft empty, when memory is exhausted.
bool row_draft_begin(row_draft* d, size_t count);

// Adds the completed items of r with the lookaheads of set: the end marker
// goes to the accepts of row when accepting, every other lookahead to the
// draft. False after the "Reduce Conflict" report when a lookahead already
// has another rule (then *clash is that lookahead and *conflicted true), or
// silently when memory is exhausted or the draft has no room left.
bool row_draft_add(row_draft* d, action* row, rule* r, const lookahead_word* set, bool accepting, symbol* clash,
                   bool* conflicted);

// Settles every terminal that the shifts of row and the draft share, by
// precedence and associativity (resolve_shift_reduce), keeping the shift,
// the reduction or neither (then an error entry), and appends one record
// per such terminal of state s to found, in key order; false when found
// cannot grow or memory is exhausted.
bool row_draft_settle(row_draft* d, action* row, const state* s, conflicts* found);

// Makes the rule with the most lookaheads the default rule of row (on a tie
// the smallest id; none when row has errors or the draft is empty) and
// writes the other rules' entries into the reduces of row, which must be
// empty, in key order; false when memory is exhausted.
bool row_draft_finish(row_draft* d, action* row);

#endif
