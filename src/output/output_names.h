#ifndef VELLMARK_OUTPUT_OUTPUT_NAMES_H
#define VELLMARK_OUTPUT_OUTPUT_NAMES_H

#include <cstddef>
#include <cstdio>

// How a generated parser spells the names it shares with the rest of a
// program: the entry points, the scanner's interface, the value type, the
// tables and the symbol records. By default each is spelt as always
// ("yyparse", "YYSTYPE", "term0"); with a prefix, the prefix takes the place
// of "yy", upper-cased for "YY" ("calc_parse", "CALC_STYPE"), and stands
// before the names that have no "yy" ("calc_term0", "struct calc_symbol"),
// so that two parsers with different prefixes link into one program.
struct output_names {
  const char* prefix;  // null for the default spelling
};

// True when text can stand in for "yy": a C identifier.
bool names_prefix_is_valid(const char* text);

// Writes one name, given in its default spelling, as names spells it.
void names_print(const output_names* names, const char* name, FILE* stream);

// Writes size bytes of C text with each external name of a generated parser
// in it spelt as names says; all other text, local names included, unchanged.
void names_print_code(const output_names* names, const char* code, size_t size, FILE* stream);

// The same for a NUL-terminated text.
void names_print_code(const output_names* names, const char* code, FILE* stream);

#endif
