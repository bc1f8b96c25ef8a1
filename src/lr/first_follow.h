#ifndef VELLMARK_LR_FIRST_FOLLOW_H
#define VELLMARK_LR_FIRST_FOLLOW_H

#include "grammar/nonterm.h"
#include "grammar/rule.h"
#include "grammar/symbol.h"

// Fills every nonterminal's firsts and nullable by repeated passes until a pass adds nothing; false when an insertion fails.
bool solve_firsts(nonterms* all);

// Applies insert_firsts to each rule of n in order, setting *changed on growth; false at the first failed insertion.
bool nonterm_solve_first(nonterm* n, bool* changed);

// Adds to a's firsts what one of its rules can begin with, marking a nullable when the whole rule can vanish; false when an insertion fails.
bool insert_firsts(nonterm* a, const rule* r, bool* changed);

// Seeds the start nonterminal's follows with end_marker, then fills every follows set to a fixed point; false when start is null, has no rules, or an insertion fails.
bool solve_follows(nonterm* start, nonterms* all, symbol end_marker);

// Adds to the follows of every nonterminal on a's right-hand sides what can come after it there; false when an insertion fails.
bool nonterm_solve_follows(nonterm* a, bool* changed);

// Adds a's follows to the follows of every nonterminal that ends one of a's
// rules, or is followed there only by what can vanish; false when an
// insertion fails.
bool nonterm_pass_follows_on(nonterm* a, bool* changed);

// Adds to b's follows the FIRST sets and terminals of [first, last) up to the first symbol that cannot vanish; *reaches_end tells whether the whole range can vanish; false when an insertion fails.
bool insert_follows_list(nonterm* b, const symbol* first, const symbol* last, bool* reaches_end, bool* changed);

// Adds every member of source to b's follows, setting *changed for each new member; false when an insertion fails.
bool insert_follows(nonterm* b, const symbol_set* source, bool* changed);

// Overwrites result with FIRST of the sequence (its storage is reused); false when an insertion fails.
bool solve_firsts_for_symbols(const symbols* sequence, symbol_set* result);

#endif
