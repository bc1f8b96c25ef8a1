#ifndef VELLMARK_GRAMMAR_TERM_H
#define VELLMARK_GRAMMAR_TERM_H

#include <cstdint>

#include "text/growable.h"
#include "text/ustring.h"

// One terminal symbol (token).
struct term {
  ustring* name;   // unique among the grammar's terminals
  ustring* type;   // semantic-value tag, empty when none
  int32_t value;   // token number in the generated tables
  uint64_t id;     // index in the grammar's terms, set after reading
};

// A token number one past the last code point: the first declared token's value.
constexpr int32_t first_token_value = 0x110000;

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
