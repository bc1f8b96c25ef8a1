#ifndef VELLMARK_GRAMMAR_TERM_H
#define VELLMARK_GRAMMAR_TERM_H

#include <cstdint>

#include "text/diagnostics.h"
#include "text/growable.h"
#include "text/ustring.h"

// How operators of one precedence level group: a, b and c joined by two
// operators of one level group as (a b) c when left, as a (b c) when right,
// and not at all (a syntax error) when nonassociative.
enum class associativity { none, left, right, nonassoc };

// One terminal symbol (token).
struct term {
  ustring* name;   // unique among the grammar's terminals
  ustring* type;   // semantic-value tag, empty when none
  int32_t value;   // token number in the generated tables
  uint64_t id;     // index in the grammar's terms, set after reading
  uint32_t precedence;          // level from 1, later levels binding tighter; 0 when it has none
  associativity assoc;          // grouping of its level; none when it has no level
  source_position seen_at;  // its first appearance in the grammar file
};

// A token number one past the last code point: the first declared token's value.
constexpr int32_t first_token_value = 0x110000;

// True for a terminal written in quotes: its token number is a character's.
inline bool term_is_quoted(const term* t) { return t->value < first_token_value; }

// Terminals by pointer; the array does not own them until terms_clear.
struct terms : growable<term*> {};

// A new terminal taking over name's text (name is left empty); null after releasing everything on failure.
term* term_new(ustring* name);

// Releases the name, the type and the record; accepts null.
void term_free(term* t);

// An empty array; null on allocation failure.
terms* terms_new();

// Releases the storage and the record, not the terminals; accepts null.
void terms_free(terms* array);

// Frees every terminal and empties the array; accepts null.
void terms_clear(terms* array);

// Appends t; false (array unchanged) when it cannot grow.
bool term_push(terms* array, term* t);

// The first terminal whose name has the same bytes as name; null when none.
term* term_find(const terms* array, const ustring* name);

#endif
