#ifndef VELLMARK_LEX_PATTERNS_H
#define VELLMARK_LEX_PATTERNS_H

#include <cstddef>

#include "lex/directives.h"
#include "lex/macros.h"
#include "lex/starts.h"
#include "text/growable.h"
#include "text/reader.h"
#include "text/ustring.h"

// One rule of a scanner description: an expression and what to do when it matches.
struct pattern {
  ustring* expression;  // with every macro reference expanded; owned
  ustring* action;      // code block, braces included; null when the rule ends with ';'; owned
  struct start* start;  // start condition the rule is limited to, or null; owned by the starts
  size_t line;          // reader's line right after the expression was read
  size_t id;            // number of listed rules when this one was read
};

// A whole scanner description; the rules are the array's items, in input order. Owns everything
// it points to except what the rules' start fields point to (owned by starts).
struct patterns : growable<pattern*> {
  ustring* prolog;                // text of the header's "%{" ... "%}" block, or null
  ustring* user_code;             // text after the rules section, or null
  macro_table* macros;            // the macro definitions
  struct directives* directives;  // the option settings
  pattern* eof_pattern;           // the rule whose expression is exactly "<<EOF>>", or null
  struct starts* starts;          // the start conditions, "INITIAL" first once read
};

// An empty description with its macro, directive and start tables; null, with nothing left
// allocated, when memory runs out.
patterns* patterns_new();

// Releases the texts, the tables, every rule, the end-of-file rule and the record; accepts null.
void patterns_free(patterns* p);

// A zero-filled rule; null when memory runs out.
pattern* pattern_new();

// Releases the rule's expression, action and record (not its start condition); accepts null.
void pattern_free(pattern* rule);

// Appends a rule, taking ownership of it; false (rule still the caller's) when the list cannot grow.
bool patterns_push(patterns* p, pattern* rule);

// Reads a whole description: header, rules and user code. False after its messages when the text
// is malformed or memory runs out; the record then keeps what was read so far.
bool patterns_read(patterns* p, reader* r);

// Reads one macro definition, a name and a value each ending at white space, and defines it;
// false after a message when a character cannot be stored or a part is empty, or silently when
// memory runs out.
bool patterns_read_macro(patterns* p, reader* r);

// Reads one rule: an optional start condition, an expression and an action or ';'. False after a
// message naming the rule's first line, or silently when memory runs out.
bool patterns_read_regex(patterns* p, reader* r);

#endif
