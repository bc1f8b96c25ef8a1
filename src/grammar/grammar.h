#ifndef VELLMARK_GRAMMAR_GRAMMAR_H
#define VELLMARK_GRAMMAR_GRAMMAR_H

#include <cstdint>
#include <cstdio>

#include "grammar/nonterm.h"
#include "grammar/rule.h"
#include "grammar/term.h"
#include "text/diagnostics.h"
#include "text/hash_index.h"
#include "text/ustring.h"

// Everything read from one grammar file.
struct grammar {
  struct terms* terms;        // declared tokens first, then quoted terminals, owned
  struct nonterms* nonterms;  // in order of first appearance, owned
  nonterm* start;             // head of the first rule group; null while none was read
  nonterm* declared_start;    // the start symbol the grammar names, not owned; null when it names none
  source_position declared_start_at;  // where the grammar names it
  int64_t expected_conflicts; // shift/reduce conflicts the grammar expects; -1 when it states none
  uint32_t precedence_levels; // precedence lines read so far: the level of the latest
  ustring* prolog;            // text between "%{" and "%}"
  ustring* union_body;        // the union block, braces included
  ustring* user_code;         // text after the second "%%"
  int32_t next_token_value;   // value of the next declared token
  hash_index<term> term_names;        // the terminals by the hash of their names
  hash_index<nonterm> nonterm_names;  // the nonterminals by the hash of their names
};

// An empty grammar; null after releasing everything on allocation failure.
grammar* grammar_new();

// Frees every terminal, nonterminal and rule, the texts and the record; accepts null.
void grammar_free(grammar* g);

// The terminal called name; null when there is none.
term* grammar_find_term(const grammar* g, const ustring* name);

// The nonterminal called name; null when there is none.
nonterm* grammar_find_nonterm(const grammar* g, const ustring* name);

// Appends t to the terminals and indexes its name; false (grammar unchanged) when memory runs out.
bool grammar_add_term(grammar* g, term* t);

// Appends n to the nonterminals and indexes its name; false (grammar unchanged) when memory runs out.
bool grammar_add_nonterm(grammar* g, nonterm* n);

// Numbers terminals and nonterminals by position, and rules through all nonterminals in order.
void grammar_assign_ids(grammar* g);

// The start symbol: the one the grammar names, otherwise the head of the first rule group; null when neither exists.
nonterm* grammar_start_symbol(const grammar* g);

// The first rule of the head of the first rule group; null when there is none.
rule* grammar_first_rule(const grammar* g);

// The number of rules of every nonterminal together.
size_t grammar_rule_count(const grammar* g);

// Diagnostic listing: the nonterminals with their rules, then FIRST and FOLLOW sets.
void grammar_print(const grammar* g, FILE* stream);

#endif
