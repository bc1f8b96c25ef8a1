#ifndef VELLMARK_OUTPUT_CONFLICT_WARNINGS_H
#define VELLMARK_OUTPUT_CONFLICT_WARNINGS_H

#include <cstddef>

#include "grammar/grammar.h"
#include "lr/solver.h"
#include "text/diagnostics.h"

// Conflicts explained on standard error before the rest are left to the state report.
constexpr size_t explained_conflicts = 3;

// Warns through the sink about the shift/reduce conflicts that were resolved
// by shifting: their number, then the first explained_conflicts of them with
// their examples. When the grammar expects a number of conflicts, nothing is
// written if it matches, and otherwise the warnings are followed by an error
// giving both numbers and the result is false. Also false, after a message,
// when memory ran out while explaining.
bool warn_about_conflicts(diagnostics* d, const grammar* g, const solver* s);

#endif
