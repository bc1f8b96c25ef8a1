#ifndef VELLMARK_GRAMMAR_SYMBOL_H
#define VELLMARK_GRAMMAR_SYMBOL_H

#include <cstdint>
#include <cstdio>

#include "text/growable.h"

struct term;
struct nonterm;

// A terminal (term set), a nonterminal (nonterm set) or the end marker (both null).
struct symbol {
  struct term* term;
  struct nonterm* nonterm;
};

// Symbols in insertion order, duplicates allowed (a rule's right-hand side).
struct symbols : growable<symbol> {};

// Symbols kept strictly ascending under symbol_less, hence free of duplicates.
struct symbol_set : growable<symbol> {};

// The terminal symbol of t.
inline symbol symbol_for_term(struct term* t) { return symbol{t, nullptr}; }

// The nonterminal symbol of n.
inline symbol symbol_for_nonterm(struct nonterm* n) { return symbol{nullptr, n}; }

// The end marker.
inline symbol symbol_for_endmark() { return symbol{nullptr, nullptr}; }

// True iff both pointers of a and b are equal.
inline bool symbol_equals(symbol a, symbol b) { return a.term == b.term && a.nonterm == b.nonterm; }

// Terminals before nonterminals before the end marker; within a kind, by record
// address (records never move while a grammar lives, so the order is stable).
inline bool symbol_less(symbol a, symbol b) {
  auto address = [](const void* record) { return reinterpret_cast<uintptr_t>(record); };
  if (a.term != nullptr) return b.term == nullptr || address(b.term) > address(a.term);
  if (a.nonterm == nullptr) return false;  // the end marker comes last
  return b.term == nullptr && (b.nonterm == nullptr || address(b.nonterm) > address(a.nonterm));
}

// Writes the symbol's name, or "$" for the end marker.
void symbol_print(const symbol* s, FILE* stream);

// An empty array; null on allocation failure.
symbols* symbols_new();

// Releases the storage and the record; accepts null.
void symbols_free(symbols* array);

// Appends the symbol made of the two pointers; false (array unchanged) when it cannot grow.
bool symbol_push(symbols* array, struct term* t, struct nonterm* n);

// Appends the terminal symbol of t; false (array unchanged) when it cannot grow.
bool symbol_push_term(symbols* array, struct term* t);

// Appends the nonterminal symbol of n; false (array unchanged) when it cannot grow.
bool symbol_push_nonterm(symbols* array, struct nonterm* n);

// Writes the symbols separated by single blanks; nothing for an empty array.
void symbols_print(const symbols* array, FILE* stream);

// An empty set; null on allocation failure.
symbol_set* symbol_set_new();

// Releases the storage and the record; accepts null.
void symbol_set_free(symbol_set* set);

// Adds s unless present, telling through added (may be null) whether it was new; false for a null set or when it cannot grow.
bool symbol_insert(symbol_set* set, symbol s, bool* added);

// Inserts every element of source in order; false at the first failed insertion.
bool symbol_insert_set(symbol_set* destination, const symbol_set* source);

// Writes every element in set order, each followed by one blank.
void symbol_set_print(const symbol_set* set, FILE* stream);

#endif
