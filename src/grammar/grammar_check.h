#ifndef VELLMARK_GRAMMAR_GRAMMAR_CHECK_H
#define VELLMARK_GRAMMAR_GRAMMAR_CHECK_H

#include "grammar/grammar.h"
#include "text/diagnostics.h"

// Writes a warning through d, at its place in the grammar file, for each
// likely mistake in a grammar that was read in full: a nonterminal used
// without a rule group; a value reference of an action past the end of its
// alternative, or one that gets no member of the union because its symbol
// has no type; a quoted terminal of several characters, which the scanner
// cannot tell from its first character; a nonterminal that derives no
// string of terminals, and one the start symbol cannot reach. Warnings
// change nothing else. False only when memory ran out, the checks that need
// memory then left out.
bool grammar_check(const grammar* g, diagnostics* d);

#endif
