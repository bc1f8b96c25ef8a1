#include "output/state_report.h"

#include <algorithm>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "lr/ambiguity.h"
#include "lr/closure.h"
#include "lr/conflict_example.h"
#include "output/conflict_warnings.h"
#include "text/memory.h"

namespace {

// A key that orders symbols as the grammar lists them: terminals by number, the end marker after them.
size_t grammar_order(const grammar* g, symbol x) {
  if (x.term != nullptr) return static_cast<size_t>(x.term->id);
  if (x.nonterm != nullptr) return g->terms->count + 1 + static_cast<size_t>(x.nonterm->id);
  return g->terms->count;
}

const char* plural(size_t count) { return count == 1 ? "" : "s"; }

struct numbers : growable<size_t> {};

// What the report reuses from state to state. The text of one state is
// gathered in full before it is written.
struct report_scratch {
  ustring* text;        // the part of the report being gathered
  closure* items;       // the closure of the state being reported
  numbers* order;       // positions sorted into grammar order
  numbers* keys;        // sort keys of those positions
  numbers* nodes;       // map nodes being sorted
  numbers* item_order;  // the closure's entries by core
  state_paths* paths;   // the shortest way into every state
  size_t searched;      // conflicts resolved by shifting that were searched for an ambiguity
  size_t trees_left;    // what those searches may still grow
};

bool open_scratch(report_scratch* r, const solver* s) {
  *r = report_scratch{};
  r->trees_left = ambiguity_search_budget;
  r->text = ustring_new();
  r->items = closure_new(s->cores);
  r->order = growable_new<numbers>();
  r->keys = growable_new<numbers>();
  r->nodes = growable_new<numbers>();
  r->item_order = growable_new<numbers>();
  r->paths = state_paths_new(s);
  return r->text != nullptr && r->items != nullptr && r->order != nullptr && r->keys != nullptr &&
         r->nodes != nullptr && r->item_order != nullptr && r->paths != nullptr;
}

void close_scratch(report_scratch* r) {
  ustring_free(r->text);
  closure_free(r->items);
  growable_free(r->order);
  growable_free(r->keys);
  growable_free(r->nodes);
  growable_free(r->item_order);
  state_paths_free(r->paths);
}

// Writes what was gathered and starts again.
void flush(report_scratch* r, FILE* stream) {
  ustring_print(r->text, stream);
  ustring_clear(r->text);
}

bool add(ustring* out, const char* text) { return ustring_append_cstr(out, text); }

bool add_number(ustring* out, size_t value) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%zu", value);
  return add(out, digits);
}

// Fills order with 0 .. keys->count - 1 sorted by their keys.
bool sort_by_keys(report_scratch* r) {
  r->order->count = 0;
  for (size_t k = 0; k < r->keys->count; ++k) {
    if (!growable_push(r->order, k)) return false;
  }
  const size_t* keys = r->keys->items;
  std::sort(r->order->items, r->order->items + r->order->count, [keys](size_t a, size_t b) { return keys[a] < keys[b]; });
  return true;
}

bool add_rules(const grammar* g, ustring* out) {
  bool ok = add(out, "Rules\n\n");
  for (size_t n = 0; ok && n < g->nonterms->count; ++n) {
    const rules* alternatives = g->nonterms->items[n]->rules;
    for (size_t k = 0; ok && k < alternatives->count; ++k) {
      char number[40];
      std::snprintf(number, sizeof number, "%5zu  ", static_cast<size_t>(alternatives->items[k]->id));
      ok = add(out, number) && append_marked_rule(out, alternatives->items[k], SIZE_MAX) && add(out, "\n");
    }
  }
  return ok;
}

bool add_counts(const solver* s, ustring* out) {
  size_t shifted = conflicts_unresolved(s->conflicts);
  char line[160];
  std::snprintf(line, sizeof line, "\n%zu state%s, %zu shift/reduce conflict%s resolved by shifting, %zu resolved by precedence\n",
                s->states->count, plural(s->states->count), shifted, plural(shifted), s->conflicts->count - shifted);
  return add(out, line);
}

// The lookaheads of a set, in grammar order, separated by blanks.
bool add_lookaheads(const grammar* g, const solver* s, report_scratch* r, const lookahead_word* set) {
  const core_table* t = s->cores;
  r->keys->count = 0;
  for (size_t bit = lookahead_set_next(set, 0, t->words); bit != SIZE_MAX; bit = lookahead_set_next(set, bit + 1, t->words)) {
    if (!growable_push(r->keys, grammar_order(g, core_table_bit_symbol(t, bit)))) return false;
  }
  std::sort(r->keys->items, r->keys->items + r->keys->count);
  bool ok = true;
  for (size_t k = 0; ok && k < r->keys->count; ++k) {
    size_t key = r->keys->items[k];
    if (k > 0) ok = add(r->text, " ");
    ok = ok && append_grammar_symbol(r->text, key < g->terms->count ? symbol_for_term(g->terms->items[key]) : symbol_for_endmark());
  }
  return ok;
}

// Every item of the state, kernel and closure, by rule number and mark, with its lookaheads.
bool add_items(const grammar* g, const solver* s, report_scratch* r, const state* st) {
  closure* c = r->items;
  closure_solve(c, st->kernel);
  r->item_order->count = 0;
  bool ok = true;
  for (size_t k = 0; ok && k < c->entry_count; ++k) ok = growable_push(r->item_order, k);
  const closure_entry* entries = c->entries;
  std::sort(r->item_order->items, r->item_order->items + r->item_order->count,
            [entries](size_t a, size_t b) { return entries[a].core < entries[b].core; });
  const core_table* t = s->cores;
  for (size_t k = 0; ok && k < r->item_order->count; ++k) {
    const closure_entry& e = entries[r->item_order->items[k]];
    size_t id = t->core_rule[e.core];
    ok = add(r->text, "    ") && append_marked_rule(r->text, t->rule_by_id[id], e.core - t->core_base[id]) &&
         add(r->text, "   [") && add_lookaheads(g, s, r, e.set) && add(r->text, "]\n");
  }
  closure_reset(c);
  return ok;
}

// Adds a line for each node of a map, in grammar order of their symbols.
template <typename V, typename Line>
bool add_map(const grammar* g, report_scratch* r, const symbol_map<V>* map, Line line) {
  r->keys->count = 0;
  r->nodes->count = 0;
  for (const symbol_map<V>* node = map; node != nullptr; node = node->next) {
    if (!growable_push(r->keys, grammar_order(g, node->symbol))) return false;
    if (!growable_push(r->nodes, reinterpret_cast<size_t>(node))) return false;
  }
  bool ok = sort_by_keys(r);
  for (size_t k = 0; ok && k < r->order->count; ++k) {
    const auto* node = reinterpret_cast<const symbol_map<V>*>(r->nodes->items[r->order->items[k]]);
    ok = add(r->text, "    ") && append_grammar_symbol(r->text, node->symbol) && add(r->text, "  ") && line(node);
  }
  return ok;
}

bool add_rule_reference(ustring* out, const char* what, const rule* by) {
  return add(out, what) && add(out, " by rule ") && add_number(out, static_cast<size_t>(by->id)) && add(out, " (") &&
         append_marked_rule(out, by, SIZE_MAX) && add(out, ")\n");
}

bool add_moves(const grammar* g, report_scratch* r, const state* st) {
  const action* row = st->action;
  ustring* out = r->text;
  bool ok = add_map(g, r, row->shifts, [out](const state_map* node) {
    return add(out, "shift, go to state ") && add_number(out, static_cast<size_t>(node->state->id)) && add(out, "\n");
  });
  ok = ok && add_map(g, r, row->errors, [out](const rule_map*) { return add(out, "error (nonassociative)\n"); });
  ok = ok && add_map(g, r, row->reduces, [out](const rule_map* node) { return add_rule_reference(out, "reduce", node->rule); });
  ok = ok && add_map(g, r, row->accepts, [out](const rule_map* node) { return add_rule_reference(out, "accept", node->rule); });
  if (ok && row->default_rule != nullptr) ok = add(out, "    any other  ") && add_rule_reference(out, "reduce", row->default_rule);
  ok = ok && add_map(g, r, st->gotos, [out](const state_map* node) {
    return add(out, "go to state ") && add_number(out, static_cast<size_t>(node->state->id)) && add(out, "\n");
  });
  return ok;
}

// The conflicts of st, which start at *next in the solver's sorted list.
bool add_conflicts(const grammar* g, const solver* s, report_scratch* r, const state* st, size_t* next) {
  bool ok = true;
  for (; ok && *next < s->conflicts->count && s->conflicts->items[*next].state == st; ++*next) {
    const conflict& c = s->conflicts->items[*next];
    bool search = conflict_is_unresolved(c) && r->searched < explained_conflicts;
    if (search) ++r->searched;
    ok = add(r->text, "\n  ") && explain_conflict(g, s, r->paths, c, search ? &r->trees_left : nullptr, r->text);
  }
  return ok;
}

}  // namespace

bool write_state_report(const grammar* g, const solver* s, FILE* stream) {
  report_scratch r;
  bool ok = open_scratch(&r, s) && add_rules(g, r.text) && add_counts(s, r.text);
  size_t next_conflict = 0;
  for (size_t k = 0; ok && k < s->states->count; ++k) {
    flush(&r, stream);
    const state* st = s->states->items[k];
    ok = add(r.text, "\nState ") && add_number(r.text, static_cast<size_t>(st->id)) && add(r.text, "\n\n") &&
         add_items(g, s, &r, st) && add(r.text, "\n") && add_moves(g, &r, st) &&
         add_conflicts(g, s, &r, st, &next_conflict);
  }
  if (ok) flush(&r, stream);
  close_scratch(&r);
  return ok;
}
