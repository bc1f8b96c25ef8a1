#ifndef VELLMARK_LR_AMBIGUITY_H
#define VELLMARK_LR_AMBIGUITY_H

#include <cstddef>

#include "grammar/grammar.h"
#include "text/ustring.h"

// An item that shifts the lookahead of a conflict: a rule and the position of the lookahead in it.
struct shifting_item {
  const struct rule* rule;
  size_t mark;
};

// What the search looks for: two derivation trees of one sentential form,
// one with a node of reduce whose yield is followed by the lookahead, the
// other reading that same lookahead inside a node of a shifting item.
struct ambiguity_query {
  const rule* reduce;
  const term* lookahead;
  const shifting_item* shifts;
  size_t shift_count;
  const nonterm* const* contexts;  // heads of the other items of the conflict's state, where the two readings may part
  size_t context_count;
  size_t* trees_left;  // the trees the searches of a run may still grow, shared and counted down
};

// The trees the searches of one run may grow together: a few milliseconds of work.
constexpr size_t ambiguity_search_budget = 20000;

// Searches, within a budget of derivation trees (per root and *trees_left in all) and of sentence length,
// for a sentential form that the query's two readings both derive, starting
// from the heads of its rules, then from its contexts. When one is found, appends to out three
// indented lines, the form and its two derivations, and sets *found; false
// only when memory is exhausted (what was appended may be cut short).
bool append_ambiguity(const grammar* g, const ambiguity_query& query, ustring* out, bool* found);

#endif
