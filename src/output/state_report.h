#ifndef VELLMARK_OUTPUT_STATE_REPORT_H
#define VELLMARK_OUTPUT_STATE_REPORT_H

#include <cstdio>

#include "grammar/grammar.h"
#include "lr/solver.h"

// Writes the state report, meant for people: the numbered rules, the number of
// conflicts, then every state with its items and their lookaheads, its shifts,
// errors, reductions, accept entry, default reduction and gotos, and each of
// its shift/reduce conflicts with how it was resolved and its example. Symbols
// and rules come in grammar order. False when memory ran out before the report
// was complete (what was written stays).
bool write_state_report(const grammar* g, const solver* s, FILE* stream);

#endif
