#include "lr/item.h"

#include <cstdint>

#include "grammar/nonterm.h"

item item_make(struct rule* r, size_t mark, symbol lookahead) { return item{r, mark, lookahead}; }

bool item_equal(item a, item b) {
  return a.rule == b.rule && a.mark == b.mark && symbol_equals(a.lookahead, b.lookahead);
}

bool item_less(item a, item b) {
  uintptr_t ra = reinterpret_cast<uintptr_t>(a.rule);
  uintptr_t rb = reinterpret_cast<uintptr_t>(b.rule);
  if (ra != rb) return ra < rb;
  if (a.mark != b.mark) return a.mark < b.mark;
  return symbol_less(a.lookahead, b.lookahead);
}

bool item_has_next(item i) { return i.mark < i.rule->symbols->count; }

symbol item_next_symbol(item i) { return i.rule->symbols->items[i.mark]; }

struct nonterm* item_next_nonterm(item i) {
  if (!item_has_next(i)) return nullptr;
  return item_next_symbol(i).nonterm;
}

item item_advance_mark(item i) { return item{i.rule, i.mark + 1, i.lookahead}; }

void item_print(item i, FILE* stream) {
  const symbols* rhs = i.rule->symbols;
  std::fputs("  ", stream);
  for (size_t k = 0; k < rhs->count; ++k) {
    if (k == i.mark) std::fputs(". ", stream);
    symbol_print(&rhs->items[k], stream);
    std::fputc(' ', stream);
  }
  if (i.mark == rhs->count) std::fputc('.', stream);
  std::fputs(", ", stream);
  symbol_print(&i.lookahead, stream);
}
