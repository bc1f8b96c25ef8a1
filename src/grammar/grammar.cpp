#include "grammar/grammar.h"

#include "text/memory.h"

grammar* grammar_new() {
  grammar* g = memory_new_record<grammar>();
  if (g == nullptr) return nullptr;
  g->terms = terms_new();
  g->nonterms = nonterms_new();
  g->prolog = ustring_new();
  g->union_body = ustring_new();
  g->user_code = ustring_new();
  g->next_token_value = first_token_value;
  g->expected_conflicts = -1;
  bool complete = g->terms != nullptr && g->nonterms != nullptr && g->prolog != nullptr &&
                  g->union_body != nullptr && g->user_code != nullptr;
  if (!complete) {
    grammar_free(g);
    return nullptr;
  }
  return g;
}

void grammar_free(grammar* g) {
  if (g == nullptr) return;
  terms_clear(g->terms);
  terms_free(g->terms);
  nonterms_clear(g->nonterms);
  nonterms_free(g->nonterms);
  ustring_free(g->prolog);
  ustring_free(g->union_body);
  ustring_free(g->user_code);
  hash_index_clear(&g->term_names);
  hash_index_clear(&g->nonterm_names);
  memory_release(g);
}

term* grammar_find_term(const grammar* g, const ustring* name) {
  return hash_index_find(&g->term_names, ustring_hash(name), [&](const term* t) { return ustring_equal(t->name, name); });
}

nonterm* grammar_find_nonterm(const grammar* g, const ustring* name) {
  return hash_index_find(&g->nonterm_names, ustring_hash(name),
                         [&](const nonterm* n) { return ustring_equal(n->name, name); });
}

bool grammar_add_term(grammar* g, term* t) {
  // Room first, so that once the terminal is appended its indexing cannot fail.
  if (!hash_index_make_room(&g->term_names) || !term_push(g->terms, t)) return false;
  return hash_index_add(&g->term_names, ustring_hash(t->name), t);
}

bool grammar_add_nonterm(grammar* g, nonterm* n) {
  if (!hash_index_make_room(&g->nonterm_names) || !nonterm_push(g->nonterms, n)) return false;
  return hash_index_add(&g->nonterm_names, ustring_hash(n->name), n);
}

void grammar_assign_ids(grammar* g) {
  for (size_t i = 0; i < g->terms->count; ++i) g->terms->items[i]->id = i;
  uint64_t next_rule = 0;
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    nonterm* n = g->nonterms->items[i];
    n->id = i;
    for (size_t j = 0; j < n->rules->count; ++j) n->rules->items[j]->id = next_rule++;
  }
}

nonterm* grammar_start_symbol(const grammar* g) {
  return g->declared_start != nullptr ? g->declared_start : g->start;
}

rule* grammar_first_rule(const grammar* g) {
  if (g->start == nullptr || g->start->rules->count == 0) return nullptr;
  return g->start->rules->items[0];
}

size_t grammar_rule_count(const grammar* g) {
  size_t count = 0;
  for (size_t n = 0; n < g->nonterms->count; ++n) count += g->nonterms->items[n]->rules->count;
  return count;
}

namespace {

// Writes one line per nonterminal: its name, ": " and whatever print writes for it.
void print_per_nonterm(const grammar* g, FILE* stream, void (*print)(const nonterm*, FILE*)) {
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const nonterm* n = g->nonterms->items[i];
    ustring_print(n->name, stream);
    std::fputs(": ", stream);
    print(n, stream);
    std::fputc('\n', stream);
  }
}

}  // namespace

void grammar_print(const grammar* g, FILE* stream) {
  nonterms_print(g->nonterms, stream);
  std::fputs("Firsts:\n", stream);
  print_per_nonterm(g, stream, nonterm_print_firsts);
  std::fputs("Follows:\n", stream);
  print_per_nonterm(g, stream, nonterm_print_follows);
}
