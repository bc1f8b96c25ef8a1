#ifndef VELLMARK_OUTPUT_PARSER_WRITER_H
#define VELLMARK_OUTPUT_PARSER_WRITER_H

#include <cstddef>
#include <cstdio>

#include "grammar/grammar.h"
#include "lr/solver.h"
#include "output/output_names.h"

// What a run asks of the parser source beyond its grammar and tables.
struct parser_options {
  output_names names;        // the spelling of the names the source shares with a program
  bool line_directives;      // each action between #line directives, so that compilers point into the grammar
  const char* grammar_file;  // with line_directives: the grammar's name as compiler messages should give it
  const char* output_file;   // with line_directives: the generated file's
  diagnostics* sink;         // where the writer's messages go; null: standard error
};

// Writes the whole generated parser source for a solved grammar: prolog,
// symbol name records, yyaction, the ten tables, user code, the lookup
// arrays computed from the tables, and the runtime;
// false after a message when a piece could not be built for want of memory
// or the stream reports a write error, true otherwise.
bool write_parser(const grammar* g, const solver* s, const parser_options* o, FILE* stream);

// Writes yypact, yycheck, yytable and yyaccept; false after a message
// through d, writing nothing, when the arrays cannot be allocated.
bool write_action_tables(const grammar* g, const solver* s, const output_names* names, FILE* stream,
                         diagnostics* d = nullptr);

// Writes yydefact: each state's default rule, -1 for none.
void write_default_rules(const solver* s, const output_names* names, FILE* stream);

// Writes yygopact, yygocheck, yygotable and then the grammar's user code;
// false after a message through d, writing neither, when the arrays cannot be allocated.
bool write_the_gotos(const solver* s, const grammar* g, const output_names* names, FILE* stream,
                     diagnostics* d = nullptr);

// Writes yyr1 and yyr2; false after a message through d, writing nothing,
// when the arrays cannot be allocated.
bool write_the_rules(const grammar* g, const output_names* names, FILE* stream, diagnostics* d = nullptr);

// Writes yylookup (the column map and the lengths of the two combs), then
// yyactbase, yyactcheck and yyactvalue, and yygotobase, yygotocheck and
// yygotovalue: the runtime's private lookup arrays, computed from the tables
// that write_action_tables and write_the_gotos write; false after a message,
// writing nothing, when they cannot be built.
bool write_lookup_tables(const grammar* g, const solver* s, const output_names* names, FILE* stream,
                         diagnostics* d = nullptr);

// Writes "int name[] = {v0, v1, ...};" and an empty line, the name spelt as
// names says. C has no empty arrays: an empty table gets one unused 0.
void write_c_array(FILE* stream, const output_names* names, const char* name, const int* values, size_t count);

// Writes the name record of terminal t.
void write_terms(const term* t, const output_names* names, FILE* stream);

// Writes the name record of nonterminal n.
void write_nonterm(const nonterm* n, const output_names* names, FILE* stream);

#endif
