#include "lr/conflict.h"

#include <algorithm>

#include "lr/state.h"

resolution resolve_shift_reduce(const term* lookahead, const rule* r) {
  const term* ruling = rule_precedence(r);
  if (lookahead->precedence == 0 || ruling == nullptr) return resolution::shift;
  if (ruling->precedence > lookahead->precedence) return resolution::reduce_by_precedence;
  if (ruling->precedence < lookahead->precedence) return resolution::shift_by_precedence;
  switch (lookahead->assoc) {
    case associativity::left: return resolution::reduce_by_associativity;
    case associativity::right: return resolution::shift_by_associativity;
    case associativity::nonassoc: return resolution::error_by_nonassociativity;
    case associativity::none: break;
  }
  return resolution::shift;  // a level always has its grouping; a terminal without one decides nothing
}

const char* resolution_text(resolution how) {
  switch (how) {
    case resolution::shift: return "shift (no precedence decides)";
    case resolution::shift_by_precedence: return "shift (the terminal binds tighter)";
    case resolution::shift_by_associativity: return "shift (right associative)";
    case resolution::reduce_by_precedence: return "reduce (the rule binds tighter)";
    case resolution::reduce_by_associativity: return "reduce (left associative)";
    case resolution::error_by_nonassociativity: return "syntax error (nonassociative)";
  }
  return "";
}

conflicts* conflicts_new() { return growable_new<conflicts>(); }

void conflicts_free(conflicts* list) { growable_free(list); }

bool conflict_push(conflicts* list, conflict c) { return growable_push(list, c); }

size_t conflicts_unresolved(const conflicts* list) {
  size_t count = 0;
  for (size_t k = 0; k < list->count; ++k) count += conflict_is_unresolved(list->items[k]) ? 1 : 0;
  return count;
}

void conflicts_sort(conflicts* list) {
  std::sort(list->items, list->items + list->count, [](const conflict& a, const conflict& b) {
    if (a.state->id != b.state->id) return a.state->id < b.state->id;
    return a.lookahead.term->id < b.lookahead.term->id;
  });
}
