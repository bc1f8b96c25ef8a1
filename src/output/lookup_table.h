#ifndef VELLMARK_OUTPUT_LOOKUP_TABLE_H
#define VELLMARK_OUTPUT_LOOKUP_TABLE_H

#include <cstddef>

// The generated parser's constant-time lookups: each state's row of the
// action or goto tables laid into one array of slots at a displacement of
// its own (a comb), so that the entry for a column is found at
// base[state] + column and confirmed by the column stored in check. States
// with identical rows share one displacement, and rows without entries have
// displacement 0, where no other row sits; a free slot holds column -1 and
// value 0, and value 0 always means "no entry". The combs are computed from
// the arrays yypact/yycheck/yytable/yyaccept and yygopact/yygocheck/
// yygotable as written, so that they decide exactly what those decide: the
// first entry of a state for a symbol wins. The gotos that a nonterminal's
// default target decides are left out of the goto comb, which keeps it small;
// a goto that the written arrays do not have is never looked up, since every
// reduction exposes a state with a goto on its nonterminal.

// Rows in the written layout: state k's entries are [start[k], start[k + 1]).
struct table_rows {
  const int* start;   // states + 1 offsets
  const int* check;   // the symbol of each entry
  const int* table;   // the entry itself
  const int* accept;  // 1 for an accepting entry; null for goto rows
  size_t states;
};

// How token numbers become columns: the end of input (-1) and the token
// numbers below low_columns - 1 take column number + 1; the token numbers
// from first_high on take low_columns + (number - first_high).
struct column_map {
  int low_columns;
  int first_high;
};

// One comb: base has one entry per state; check and value have length slots.
struct lookup_table {
  int* base;
  int* check;
  int* value;
  size_t states;
  size_t length;
};

// An action entry in the comb: shift to state d is d + 1; a reduction by rule
// r is -(2r + 1) and an accepting one -(2r + 2).
int lookup_shift_value(int state);
int lookup_reduce_value(int rule, bool accepting);

// The column map for the token numbers in rows, with first_high the first
// token number of a named terminal.
column_map lookup_columns(const table_rows* rows, int first_high);

// The column of a token number under map; -1 for a number no terminal can have.
long lookup_column(const column_map* map, int token);

// Builds the action comb of rows (whose accept is set) under map, each entry
// as lookup_shift_value and lookup_reduce_value say; false (table empty)
// when memory is exhausted, an entry does not fit in an int or the comb
// would need INT_MAX / 32 slots or more (the generated parser addresses
// 32-byte records per slot by byte offsets in an int).
bool lookup_table_build_actions(const table_rows* rows, const column_map* map, lookup_table* table);

// Fills defaults[n], for each of the nonterms nonterminals, with the target
// state that most of its gotos in rows have (the smallest on a tie), or -1
// when it has none; false when memory is exhausted.
bool lookup_goto_defaults(const table_rows* rows, size_t nonterms, int* defaults);

// Builds the goto comb of rows, whose symbols are nonterminal ids and so
// their own columns, leaving out every goto that defaults decides; each entry
// is its target state + 1. False (table empty) when memory is exhausted or
// an entry does not fit in an int.
bool lookup_table_build_gotos(const table_rows* rows, const int* defaults, lookup_table* table);

// Builds both combs as the two functions above do, but with one displacement
// per state for both, so that one array of bases serves the two: the
// smaller layout where most states have few entries. False (tables empty)
// as above.
bool lookup_table_build_shared(const table_rows* action_rows, const column_map* map, const table_rows* goto_rows,
                               const int* defaults, lookup_table* actions, lookup_table* gotos);

// Builds a parser's two combs the smaller way: each state with a
// displacement of its own in each comb, or one shared by both where most
// states have few entries (*shared then true). False (tables empty) as above.
bool lookup_tables_build(const table_rows* action_rows, const column_map* map, const table_rows* goto_rows,
                         const int* defaults, lookup_table* actions, lookup_table* gotos, bool* shared);

// Releases the three arrays and empties the table; accepts an empty one.
void lookup_table_release(lookup_table* table);

#endif
