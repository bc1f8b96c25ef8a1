#include "lr/first_follow.h"

#include <cstdint>

#include "text/memory.h"

namespace {

// Inserts every member of source into destination, noting in *changed whether it grew.
bool insert_all(symbol_set* destination, const symbol_set* source, bool* changed) {
  size_t before = destination->count;
  if (!symbol_insert_set(destination, source)) return false;
  if (destination->count != before) *changed = true;
  return true;
}

bool insert_one(symbol_set* destination, symbol s, bool* changed) {
  bool added = false;
  if (!symbol_insert(destination, s, &added)) return false;
  if (added) *changed = true;
  return true;
}

// Adds to destination FIRST of the symbols of [first, last): what they can
// begin with, up to the first symbol that cannot vanish; *reaches_end tells
// whether all of them can vanish.
bool insert_first_of_range(symbol_set* destination, const symbol* first, const symbol* last, bool* reaches_end,
                           bool* changed) {
  for (const symbol* s = first; s != last; ++s) {
    if (s->nonterm == nullptr) {
      *reaches_end = false;
      return insert_one(destination, *s, changed);
    }
    if (!insert_all(destination, s->nonterm->firsts, changed)) return false;
    if (!s->nonterm->nullable) {
      *reaches_end = false;
      return true;
    }
  }
  *reaches_end = true;
  return true;
}

}  // namespace

bool insert_firsts(nonterm* a, const rule* r, bool* changed) {
  const symbols* rhs = r->symbols;
  bool reaches_end = false;
  if (!insert_first_of_range(a->firsts, rhs->items, rhs->items + rhs->count, &reaches_end, changed)) return false;
  if (reaches_end && !a->nullable) {
    a->nullable = true;
    *changed = true;
  }
  return true;
}

bool nonterm_solve_first(nonterm* n, bool* changed) {
  for (size_t i = 0; i < n->rules->count; ++i) {
    if (!insert_firsts(n, n->rules->items[i], changed)) return false;
  }
  return true;
}

namespace {

// True when a nonterminal that r may begin with, after symbols that can
// vanish, grew in the pass before or in this one: only then can r add to
// FIRST of its head what it did not add already.
bool may_add_firsts(const rule* r, const bool* grew_before, const bool* grew_now, size_t ids) {
  const symbols* rhs = r->symbols;
  for (size_t k = 0; k < rhs->count; ++k) {
    const nonterm* m = rhs->items[k].nonterm;
    if (m == nullptr) return false;
    if (m->id >= ids || grew_before[m->id] || grew_now[m->id]) return true;
    if (!m->nullable) return false;
  }
  return false;
}

}  // namespace

bool solve_firsts(nonterms* all) {
  // The first pass visits every rule; the passes after it only the rules
  // that may begin with a nonterminal that has grown since, which spares
  // the hundreds of alternatives that begin with a keyword.
  size_t ids = 1;  // flags by nonterminal id, one past the greatest
  for (size_t i = 0; i < all->count; ++i) ids = all->items[i]->id >= ids ? all->items[i]->id + 1 : ids;
  auto* flags = static_cast<bool*>(memory_alloc_zero(ids, 2 * sizeof(bool)));
  if (flags == nullptr) return false;
  bool* grew_before = flags;
  bool* grew_now = flags + ids;
  bool solved = true;
  bool changed = true;
  for (bool first_pass = true; solved && changed; first_pass = false) {
    changed = false;
    for (size_t i = 0; solved && i < all->count; ++i) {
      nonterm* n = all->items[i];
      for (size_t k = 0; solved && k < n->rules->count; ++k) {
        const rule* r = n->rules->items[k];
        if (!first_pass && !may_add_firsts(r, grew_before, grew_now, ids)) continue;
        bool grew = false;
        solved = insert_firsts(n, r, &grew);
        if (grew) grew_now[n->id] = changed = true;
      }
    }
    for (size_t id = 0; id < ids; ++id) {
      grew_before[id] = grew_now[id];
      grew_now[id] = false;
    }
  }
  memory_release(flags);
  return solved;
}

bool insert_follows(nonterm* b, const symbol_set* source, bool* changed) {
  return insert_all(b->follows, source, changed);
}

bool insert_follows_list(nonterm* b, const symbol* first, const symbol* last, bool* reaches_end,
                         bool* changed) {
  return insert_first_of_range(b->follows, first, last, reaches_end, changed);
}

bool nonterm_solve_follows(nonterm* a, bool* changed) {
  for (size_t r = 0; r < a->rules->count; ++r) {
    const symbols* rhs = a->rules->items[r]->symbols;
    const symbol* end = rhs->items + rhs->count;
    for (size_t i = 0; i < rhs->count; ++i) {
      nonterm* b = rhs->items[i].nonterm;
      if (b == nullptr) continue;
      bool reaches_end = false;
      if (!insert_follows_list(b, rhs->items + i + 1, end, &reaches_end, changed)) return false;
      if (reaches_end && !insert_follows(b, a->follows, changed)) return false;
    }
  }
  return true;
}

bool nonterm_pass_follows_on(nonterm* a, bool* changed) {
  for (size_t r = 0; r < a->rules->count; ++r) {
    const symbols* rhs = a->rules->items[r]->symbols;
    // From the end backwards, while what follows the position can vanish.
    for (size_t i = rhs->count; i-- > 0;) {
      nonterm* b = rhs->items[i].nonterm;
      if (b == nullptr) break;
      if (!insert_follows(b, a->follows, changed)) return false;
      if (!b->nullable) break;
    }
  }
  return true;
}

bool solve_follows(nonterm* start, nonterms* all, symbol end_marker) {
  if (start == nullptr || start->rules->count == 0) return false;
  nonterm* head = start->rules->items[0]->nonterm;
  if (!symbol_insert(head->follows, end_marker, nullptr)) return false;
  // What follows a nonterminal within its rule never changes: one pass adds
  // it, and the passes after it only hand heads' follows on, which in a
  // grammar of hundreds of keywords spares merging their FIRST sets again.
  bool changed = false;
  for (size_t i = 0; i < all->count; ++i) {
    if (!nonterm_solve_follows(all->items[i], &changed)) return false;
  }
  // Sets only grow, so a head whose follows have as many members as when it
  // last handed them on has nothing new to hand on.
  auto* handed = static_cast<size_t*>(memory_alloc((all->count == 0 ? 1 : all->count) * sizeof(size_t)));
  if (handed == nullptr) return false;
  for (size_t i = 0; i < all->count; ++i) handed[i] = SIZE_MAX;
  bool passed = true;
  changed = true;
  while (passed && changed) {
    changed = false;
    for (size_t i = 0; passed && i < all->count; ++i) {
      nonterm* a = all->items[i];
      if (a->follows->count == handed[i]) continue;
      handed[i] = a->follows->count;
      passed = nonterm_pass_follows_on(a, &changed);
    }
  }
  memory_release(handed);
  return passed;
}

bool solve_firsts_for_symbols(const symbols* sequence, symbol_set* result) {
  result->count = 0;
  bool reaches_end = false;
  bool changed = false;
  return insert_first_of_range(result, sequence->items, sequence->items + sequence->count, &reaches_end, &changed);
}
