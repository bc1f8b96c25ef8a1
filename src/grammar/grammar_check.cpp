#include "grammar/grammar_check.h"

#include <cstdio>

#include "grammar/action_scan.h"
#include "grammar/nonterm.h"
#include "grammar/rule.h"
#include "grammar/symbol.h"
#include "grammar/term.h"
#include "text/memory.h"

namespace {

// The name as printf arguments for "%.*s".
int name_length(const ustring* name) { return static_cast<int>(name->size); }
const char* name_text(const ustring* name) { return reinterpret_cast<const char*>(name->data); }

// A nonterminal's place for a warning about the nonterminal itself.
source_position place_of(const nonterm* n) { return n->defined_at.line != 0 ? n->defined_at : n->seen_at; }

void warn_undefined_nonterms(const grammar* g, diagnostics* d) {
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const nonterm* n = g->nonterms->items[i];
    if (n->rules->count != 0 || n->used_at.line == 0) continue;
    diagnostics_warning(d, n->used_at, "nonterminal %.*s is used but has no rule group", name_length(n->name),
                        name_text(n->name));
  }
}

// Quoted terminals take their first character's token number.
void warn_long_quoted_terms(const grammar* g, diagnostics* d) {
  for (size_t i = 0; i < g->terms->count; ++i) {
    const term* t = g->terms->items[i];
    if (!term_is_quoted(t) || ustring_length(t->name) < 2) continue;
    unsigned char first[4];
    size_t first_size = utf8_encode(ustring_at(t->name, 0), first);
    diagnostics_warning(d, t->seen_at,
                        "terminal '%.*s' has several characters: its token number is that of '%.*s', so the scanner "
                        "cannot tell them apart",
                        name_length(t->name), name_text(t->name), static_cast<int>(first_size),
                        reinterpret_cast<const char*>(first));
  }
}

// Says which symbol a reference's value belongs to: "nonterminal e", "terminal '+'", "terminal NUM".
void describe_symbol(const rule* r, unsigned number, char* out, size_t size) {
  const ustring* name = r->nonterm->name;
  const char* kind = "nonterminal";
  bool quoted = false;
  if (number != 0) {
    symbol s = r->symbols->items[number - 1];
    if (s.term != nullptr) {
      name = s.term->name;
      kind = "terminal";
      quoted = term_is_quoted(s.term);
    } else {
      name = s.nonterm->name;
    }
  }
  const char* quote = quoted ? "'" : "";
  std::snprintf(out, size, "%s %s%.*s%s", kind, quote, name_length(name), name_text(name), quote);
}

// Warns about one reference that the generated code cannot compile.
void check_reference(const grammar* g, const rule* r, const action_piece& piece, diagnostics* d) {
  unsigned number = piece.kind == action_piece_kind::result ? 0 : piece.number;
  const ustring* tag = action_reference_tag(r, number);
  char reference[8];
  std::snprintf(reference, sizeof reference, number == 0 ? "$$" : "$%u", number);
  if (tag == nullptr) {
    size_t n = r->symbols->count;
    diagnostics_warning(d, piece.at, "%s is beyond the %zu symbol%s of its alternative", reference, n,
                        n == 1 ? "" : "s");
    return;
  }
  if (!ustring_is_empty(tag) || ustring_is_empty(g->union_body)) return;
  char symbol_text[128];
  describe_symbol(r, number, symbol_text, sizeof symbol_text);
  diagnostics_warning(d, piece.at, "%s gets no member of the %%union: %s has no type", reference, symbol_text);
}

void warn_action_references(const grammar* g, diagnostics* d) {
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const rules* alternatives = g->nonterms->items[i]->rules;
    for (size_t k = 0; k < alternatives->count; ++k) {
      const rule* r = alternatives->items[k];
      action_scan scan = action_scan_over(r->action, r->action_at);
      action_piece piece;
      while (action_scan_next(&scan, &piece)) {
        if (piece.kind != action_piece_kind::text) check_reference(g, r, piece, d);
      }
    }
  }
}

// What the two whole-grammar checks learn of each nonterminal, by id.
struct nonterm_facts {
  bool productive;  // derives some string of terminals
  bool reached;     // reachable from the start symbol
  size_t pending;   // the worklist of the reachability walk, one slot per nonterminal
};

bool rule_is_productive(const rule* r, const nonterm_facts* facts) {
  for (size_t i = 0; i < r->symbols->count; ++i) {
    const nonterm* n = r->symbols->items[i].nonterm;
    if (n != nullptr && !facts[n->id].productive) return false;
  }
  return true;
}

// Marks productive nonterminals until a pass learns nothing new.
void find_productive(const grammar* g, nonterm_facts* facts) {
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t i = 0; i < g->nonterms->count; ++i) {
      const nonterm* n = g->nonterms->items[i];
      if (facts[n->id].productive) continue;
      for (size_t k = 0; k < n->rules->count && !facts[n->id].productive; ++k) {
        if (rule_is_productive(n->rules->items[k], facts)) facts[n->id].productive = changed = true;
      }
    }
  }
}

// Walks from the start symbol through every right-hand side, with a worklist instead of recursion.
void find_reached(const grammar* g, const nonterm* start, nonterm_facts* facts) {
  size_t waiting = 0;
  facts[start->id].reached = true;
  facts[waiting++].pending = start->id;
  while (waiting > 0) {
    const nonterm* n = g->nonterms->items[facts[--waiting].pending];
    for (size_t k = 0; k < n->rules->count; ++k) {
      const symbols* rhs = n->rules->items[k]->symbols;
      for (size_t i = 0; i < rhs->count; ++i) {
        const nonterm* m = rhs->items[i].nonterm;
        if (m == nullptr || facts[m->id].reached) continue;
        facts[m->id].reached = true;
        facts[waiting++].pending = m->id;  // each nonterminal waits at most once
      }
    }
  }
}

void warn_useless_nonterms(const grammar* g, const nonterm_facts* facts, diagnostics* d) {
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const nonterm* n = g->nonterms->items[i];
    if (n->rules->count != 0 && !facts[n->id].productive) {
      diagnostics_warning(d, place_of(n), "nonterminal %.*s derives no string of terminals", name_length(n->name),
                          name_text(n->name));
    }
  }
  const nonterm* start = grammar_start_symbol(g);
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const nonterm* n = g->nonterms->items[i];
    bool undefined = n->rules->count == 0 && n->used_at.line != 0;  // already warned about
    if (facts[n->id].reached || undefined) continue;
    diagnostics_warning(d, place_of(n), "nonterminal %.*s cannot be reached from the start symbol %.*s",
                        name_length(n->name), name_text(n->name), name_length(start->name), name_text(start->name));
  }
}

}  // namespace

bool grammar_check(const grammar* g, diagnostics* d) {
  warn_undefined_nonterms(g, d);
  warn_long_quoted_terms(g, d);
  warn_action_references(g, d);
  const nonterm* start = grammar_start_symbol(g);
  if (start == nullptr) return true;  // a grammar without rules fails later, on its own
  auto* facts = static_cast<nonterm_facts*>(memory_alloc_zero(g->nonterms->count, sizeof(nonterm_facts)));
  if (facts == nullptr) return false;
  find_productive(g, facts);
  find_reached(g, start, facts);
  warn_useless_nonterms(g, facts, d);
  memory_release(facts);
  return true;
}
