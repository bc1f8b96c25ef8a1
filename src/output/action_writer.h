#ifndef VELLMARK_OUTPUT_ACTION_WRITER_H
#define VELLMARK_OUTPUT_ACTION_WRITER_H

#include <cstdio>

#include "grammar/grammar.h"
#include "grammar/rule.h"
#include "output/output_names.h"

// Writes the semantic-action function yyaction, one case per rule that has
// an action; false when some action could not be rewritten (its case is then
// written empty), true otherwise.
bool write_actions(const grammar* g, const output_names* names, FILE* stream);

// Writes r's action text with $$ and $1..$9 turned into references to the
// value stack; false, writing nothing, when memory runs out.
bool write_rule_action(const rule* r, FILE* stream);

#endif
