#ifndef VELLMARK_OUTPUT_REPORT_H
#define VELLMARK_OUTPUT_REPORT_H

#include "grammar/grammar.h"
#include "lr/action.h"
#include "lr/solver.h"

// Prints the action table, an empty line and the goto table of a solved automaton on standard output; false when memory ran out and the report stopped short after a table's header.
bool print_parser(const grammar* g, const solver* s);

// Prints the header, one row per terminal, the "$" row and the "any" row of default rules; false, having printed only the header, when the label scratch or the table's cells cannot be made.
bool print_actions(const grammar* g, const solver* s);

// Prints the header, one row of goto targets per nonterminal and an empty line; false, having printed only the header, when the label scratch or the table's cells cannot be made.
bool print_gotos(const grammar* g, const solver* s);

// Prints the label column's blanks and each state's number in five columns, then a line feed.
void print_header(const grammar* g, const solver* s);

// Prints one five-column cell: shift "%4lus", reduce "%4lur", accept "%4lua", "    '" when the default rule applies, blanks for an error.
void print_action(const action* row, symbol lookahead);

#endif
