#ifndef VELLMARK_LR_ITEM_H
#define VELLMARK_LR_ITEM_H

#include <cstddef>
#include <cstdio>

#include "grammar/rule.h"
#include "grammar/symbol.h"

// An LR(1) item: a rule, the number of right-hand-side symbols before the dot, and one lookahead.
struct item {
  struct rule* rule;  // not owned
  size_t mark;        // 0 .. length of the right-hand side
  symbol lookahead;   // a terminal or the end marker
};

// The item (r, mark, lookahead).
item item_make(struct rule* r, size_t mark, symbol lookahead);

// True when rule, mark and lookahead are all equal.
bool item_equal(item a, item b);

// True when a comes before b: by rule record address, then mark, then lookahead in symbol order.
bool item_less(item a, item b);

// True when a symbol follows the dot.
bool item_has_next(item i);

// The symbol after the dot; only meaningful when item_has_next holds.
symbol item_next_symbol(item i);

// The nonterminal right after the dot; null when the item is complete or a terminal follows.
struct nonterm* item_next_nonterm(item i);

// A copy with the dot moved one symbol to the right.
item item_advance_mark(item i);

// Writes the item as "  x . B , $" (two spaces, symbols with the dot, ", " and the lookahead), without a newline.
void item_print(item i, FILE* stream);

#endif
