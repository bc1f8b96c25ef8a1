#ifndef VELLMARK_OUTPUT_ACTION_WRITER_H
#define VELLMARK_OUTPUT_ACTION_WRITER_H

#include <cstdio>

#include "grammar/grammar.h"
#include "grammar/rule.h"
#include "output/line_counter.h"
#include "output/output_names.h"

// Where #line directives send the compiler: each action to its line in the
// grammar file, and the code after it back to the generated file.
struct line_marks {
  const char* grammar_file;  // the grammar's name as compiler messages should give it
  const char* output_file;   // the generated file's
  line_counter* output;      // counts the lines of the generated file, on whose stream the actions are written
};

// Writes the semantic-action function yyaction, one case per rule that has
// an action, each between #line directives when marks is not null; false
// when some action could not be rewritten (its case is then written
// empty), true otherwise.
bool write_actions(const grammar* g, const output_names* names, const line_marks* marks, FILE* stream);

// Writes r's action text with $$ and $1..$9 turned into references to the
// value stack; false, writing nothing, when memory runs out.
bool write_rule_action(const rule* r, FILE* stream);

#endif
