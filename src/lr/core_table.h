#ifndef VELLMARK_LR_CORE_TABLE_H
#define VELLMARK_LR_CORE_TABLE_H

#include <cstddef>

#include "grammar/grammar.h"
#include "lr/lookahead_set.h"

// The numbering the fast construction works with. A core is a rule with a
// dot position; core_base[r] + mark numbers the core (rule id r, mark), so the
// cores of one rule are consecutive. Symbols that can follow a dot get a key
// in the order successors are explored: terminal ids first, then the
// nonterminal ids after them.
struct core_table {
  const struct terms* terms;
  const struct nonterms* nonterms;
  size_t term_count;
  size_t nonterm_count;
  size_t rule_count;
  size_t core_count;
  size_t words;                    // words of one lookahead set (terminals and end marker)
  size_t end_marker_bit;           // equal to term_count
  void* arrays;                    // the one block that holds every array below, owned
  struct term** term_by_bit;       // terminals in ascending record address order
  size_t* bit_of_term;             // by term id
  struct rule** rule_by_id;        // every rule, by id
  size_t* rule_rank;               // by rule id: position in ascending record address order
  size_t* core_base;               // by rule id: the core of mark 0
  size_t* core_rule;               // by core: the rule id
  size_t* next_key;                // by core: key of the symbol after the dot, no_symbol_key when complete
  size_t* next_nonterm;            // by core: id of the nonterminal after the dot, no_symbol_key otherwise
  size_t* feeding_base;            // by nonterminal id, one more: where the nonterminals its rules begin with start in feeding
  size_t* feeding;                 // by head, each nonterminal that some of the head's rules begin with, once
  lookahead_word* feeding_first;   // by feeding position: FIRST of what follows it in those rules, united
  bool* feeding_nullable;          // by feeding position: in one of those rules, what follows it can vanish
  size_t* key_rank;                // by exploration key: its place in symbol order (terminals, then nonterminals, each by record address)
  size_t* key_by_rank;             // the exploration key at each place of symbol order
  lookahead_word* rest_first;      // by core: FIRST of the symbols from the dot to the end of the rule
  bool* rest_nullable;             // by core: those symbols can all derive the empty string
};

constexpr size_t no_symbol_key = SIZE_MAX;

// The numbering of a grammar whose ids are assigned and whose FIRST sets are solved; null when memory is exhausted.
core_table* core_table_new(const grammar* g);

// Releases the arrays and the record; accepts null.
void core_table_free(core_table* table);

// The symbol of an exploration key.
inline symbol core_table_key_symbol(const core_table* table, size_t key) {
  if (key < table->term_count) return symbol_for_term(table->terms->items[key]);
  return symbol_for_nonterm(table->nonterms->items[key - table->term_count]);
}

// The lookahead symbol of a set member: a terminal, or the end marker for end_marker_bit.
inline symbol core_table_bit_symbol(const core_table* table, size_t bit) {
  if (bit == table->end_marker_bit) return symbol_for_endmark();
  return symbol_for_term(table->term_by_bit[bit]);
}

// The lookahead set of a core in a row of sets laid out core by core.
inline const lookahead_word* core_table_rest_first(const core_table* table, size_t core) {
  return table->rest_first + core * table->words;
}

#endif
