#ifndef VELLMARK_GRAMMAR_NONTERM_H
#define VELLMARK_GRAMMAR_NONTERM_H

#include <cstdint>
#include <cstdio>

#include "grammar/rule.h"
#include "grammar/symbol.h"
#include "text/diagnostics.h"
#include "text/growable.h"
#include "text/ustring.h"

// One nonterminal with its alternatives and the sets the analysis fills.
struct nonterm {
  uint64_t id;          // index in the grammar's nonterms, set after reading
  ustring* name;        // unique among the grammar's nonterminals
  ustring* type;        // tag from a type declaration, empty when none
  struct rules* rules;       // alternatives in input order, owned
  bool nullable;        // derives the empty string
  symbol_set* firsts;   // FIRST set, terminals only
  symbol_set* follows;  // FOLLOW set, terminals and the end marker
  source_position seen_at;     // its first appearance in the grammar file
  source_position used_at;     // its first appearance in a right-hand side; line 0 when never used
  source_position defined_at;  // the head of its first rule group; line 0 when it has none
};

// Nonterminals by pointer; the array does not own them until nonterms_clear.
struct nonterms : growable<nonterm*> {};

// A new nonterminal taking over name's text (name is left empty); null after releasing everything on failure.
nonterm* nonterm_new(ustring* name);

// Releases the sets, every rule, the rules array, the name, the type and the record; accepts null.
void nonterm_free(nonterm* n);

// An empty array; null on allocation failure.
nonterms* nonterms_new();

// Releases the storage and the record, not the nonterminals; accepts null.
void nonterms_free(nonterms* array);

// Frees every nonterminal and empties the array; accepts null.
void nonterms_clear(nonterms* array);

// Appends n; false (array unchanged) when it cannot grow.
bool nonterm_push(nonterms* array, nonterm* n);

// The first nonterminal whose name has the same bytes as name; null when none.
nonterm* nonterm_find_with_name(const nonterms* array, const ustring* name);

// Writes the name, ":" and the rules as rules_print does.
void nonterm_print(const nonterm* n, FILE* stream);

// nonterm_print for every nonterminal in order.
void nonterms_print(const nonterms* array, FILE* stream);

// Writes the FIRST set, then " eps" when the nonterminal is nullable.
void nonterm_print_firsts(const nonterm* n, FILE* stream);

// Writes the FOLLOW set.
void nonterm_print_follows(const nonterm* n, FILE* stream);

#endif
