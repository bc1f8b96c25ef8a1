#ifndef VELLMARK_GRAMMAR_RULE_H
#define VELLMARK_GRAMMAR_RULE_H

#include <cstdint>
#include <cstdio>

#include "grammar/symbol.h"
#include "text/diagnostics.h"
#include "text/growable.h"
#include "text/ustring.h"

// One production: nonterm -> symbols, with its action block.
struct rule {
  uint64_t id;          // number over the whole grammar, set after reading
  struct nonterm* nonterm;  // left-hand side, not owned
  struct symbols* symbols;   // right-hand side in written order, owned
  ustring* action;      // action block text with its braces, owned; null until read
  struct term* precedence;  // the terminal named by the alternative's precedence override, not owned; null when none
  source_position action_at;  // where the action's opening brace stands in the grammar file
};

// The terminal whose precedence the rule has: its override, otherwise the
// last terminal of its right-hand side that has a precedence; null when none.
const struct term* rule_precedence(const rule* r);

// Rules by pointer; the array does not own them until rules_clear.
struct rules : growable<rule*> {};

// A new rule with left-hand side n, no symbols and no action; null on failure.
rule* rule_new(struct nonterm* n);

// Releases the symbols, the action and the record; accepts null.
void rule_free(rule* r);

// An empty array; null on allocation failure.
rules* rules_new();

// Releases the storage and the record, not the rules; accepts null.
void rules_free(rules* array);

// Frees every rule and empties the array; accepts null.
void rules_clear(rules* array);

// Appends r; false (array unchanged) when it cannot grow.
bool rules_push(rules* array, rule* r);

// Writes "lhs -> rhs" and a line feed.
void rule_print(const rule* r, FILE* stream);

// Writes each rule's line followed by "|", then ";" and a line feed.
void rules_print(const rules* array, FILE* stream);

#endif
