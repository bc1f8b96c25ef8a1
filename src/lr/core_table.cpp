#include "lr/core_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "text/array_block.h"

namespace {

bool by_address(const void* a, const void* b) {
  return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
}

// Lays every array of the numbering out in the table's one block.
void lay_out_arrays(core_table* t, array_block* b) {
  array_block_take(b, &t->term_by_bit, t->term_count);
  array_block_take(b, &t->bit_of_term, t->term_count);
  array_block_take(b, &t->rule_by_id, t->rule_count);
  array_block_take(b, &t->rule_rank, t->rule_count);
  array_block_take(b, &t->core_base, t->rule_count);
  array_block_take(b, &t->core_rule, t->core_count);
  array_block_take(b, &t->next_key, t->core_count);
  array_block_take(b, &t->next_nonterm, t->core_count);
  array_block_take(b, &t->feeding_base, t->nonterm_count + 1);
  array_block_take(b, &t->feeding, t->rule_count);
  array_block_take(b, &t->feeding_first, t->rule_count * t->words);
  array_block_take(b, &t->feeding_nullable, t->rule_count);
  array_block_take(b, &t->key_rank, t->term_count + t->nonterm_count);
  array_block_take(b, &t->key_by_rank, t->term_count + t->nonterm_count);
  array_block_take(b, &t->rest_first, t->core_count * t->words);
  array_block_take(b, &t->rest_nullable, t->core_count);
}

// Lookahead bits follow the address order of the terminal records, the order of lookaheads in items.
void number_terminals(core_table* t) {
  for (size_t i = 0; i < t->term_count; ++i) t->term_by_bit[i] = t->terms->items[i];
  std::sort(t->term_by_bit, t->term_by_bit + t->term_count,
            [](const term* a, const term* b) { return by_address(a, b); });
  for (size_t bit = 0; bit < t->term_count; ++bit) t->bit_of_term[t->term_by_bit[bit]->id] = bit;
}

// Places exploration keys in symbol order: terminals in lookahead bit
// order, then nonterminals by record address, so that a state's transitions,
// found key by key, are listed in symbol order without comparing symbols.
void rank_keys(core_table* t) {
  for (size_t bit = 0; bit < t->term_count; ++bit) t->key_by_rank[bit] = t->term_by_bit[bit]->id;
  size_t* nonterm_keys = t->key_by_rank + t->term_count;
  for (size_t n = 0; n < t->nonterm_count; ++n) nonterm_keys[n] = t->term_count + n;
  const nonterms* all = t->nonterms;
  size_t first = t->term_count;
  std::sort(nonterm_keys, nonterm_keys + t->nonterm_count,
            [all, first](size_t a, size_t b) { return by_address(all->items[a - first], all->items[b - first]); });
  for (size_t rank = 0; rank < t->term_count + t->nonterm_count; ++rank) t->key_rank[t->key_by_rank[rank]] = rank;
}

// Rules by id, and their rank in address order, the order of rules in items.
void number_rules(core_table* t) {
  for (size_t n = 0; n < t->nonterm_count; ++n) {
    const rules* alternatives = t->nonterms->items[n]->rules;
    for (size_t r = 0; r < alternatives->count; ++r) t->rule_by_id[alternatives->items[r]->id] = alternatives->items[r];
  }
  size_t* order = t->core_rule;  // scratch until number_cores fills it: there are more cores than rules
  for (size_t id = 0; id < t->rule_count; ++id) order[id] = id;
  rule** by_id = t->rule_by_id;
  std::sort(order, order + t->rule_count, [by_id](size_t a, size_t b) { return by_address(by_id[a], by_id[b]); });
  for (size_t rank = 0; rank < t->rule_count; ++rank) t->rule_rank[order[rank]] = rank;
}

// The numbering relies on the ids the reader assigns: each is a position in its array.
bool ids_are_positions(const grammar* g, size_t rule_count) {
  for (size_t i = 0; i < g->terms->count; ++i) {
    if (g->terms->items[i]->id != i) return false;
  }
  size_t next = 0;
  for (size_t n = 0; n < g->nonterms->count; ++n) {
    const nonterm* head = g->nonterms->items[n];
    if (head->id != n) return false;
    for (size_t r = 0; r < head->rules->count; ++r) {
      if (head->rules->items[r]->id != next++) return false;
    }
  }
  return next == rule_count;
}

void add_first_of_nonterm(core_table* t, lookahead_word* set, const nonterm* n) {
  for (size_t i = 0; i < n->firsts->count; ++i) {
    const term* member = n->firsts->items[i].term;
    if (member != nullptr) lookahead_set_add(set, t->bit_of_term[member->id]);
  }
}

// Numbers the cores of every rule and fills, right to left, FIRST of each rest of a rule.
void number_cores(core_table* t) {
  size_t core = 0;
  for (size_t id = 0; id < t->rule_count; ++id) {
    const rule* r = t->rule_by_id[id];
    const symbols* rhs = r->symbols;
    t->core_base[id] = core;
    size_t last = core + rhs->count;
    t->core_rule[last] = id;
    t->next_key[last] = no_symbol_key;
    t->next_nonterm[last] = no_symbol_key;
    t->rest_nullable[last] = true;
    for (size_t k = rhs->count; k-- > 0;) {
      size_t c = core + k;
      symbol s = rhs->items[k];
      lookahead_word* first = t->rest_first + c * t->words;
      t->core_rule[c] = id;
      if (s.nonterm == nullptr) {
        t->next_key[c] = s.term->id;
        t->next_nonterm[c] = no_symbol_key;
        lookahead_set_add(first, t->bit_of_term[s.term->id]);
        t->rest_nullable[c] = false;
      } else {
        t->next_key[c] = t->term_count + s.nonterm->id;
        t->next_nonterm[c] = s.nonterm->id;
        add_first_of_nonterm(t, first, s.nonterm);
        t->rest_nullable[c] = s.nonterm->nullable && t->rest_nullable[c + 1];
        if (s.nonterm->nullable) lookahead_set_union(first, first + t->words, t->words);
      }
    }
    core = last + 1;
  }
}

// What a nonterminal's lookaheads pass on to in a closure: each nonterminal
// that some of its rules begin with, with FIRST of the rest of those rules
// united, so that the many rules of one head that begin alike ("e : e '+' t
// | e '-' t") pass on in one step. Rules beginning with a terminal pass
// nothing. position_of, by nonterminal id, is zeroed scratch.
void list_feeding_rules(core_table* t, size_t* position_of) {
  size_t count = 0;
  for (size_t n = 0; n < t->nonterm_count; ++n) {
    t->feeding_base[n] = count;
    const rules* alternatives = t->nonterms->items[n]->rules;
    for (size_t r = 0; r < alternatives->count; ++r) {
      size_t core = t->core_base[alternatives->items[r]->id];
      size_t m = t->next_nonterm[core];
      if (m == no_symbol_key) continue;
      // A mark at or below the head's base was left by an earlier head.
      if (position_of[m] <= t->feeding_base[n]) {
        position_of[m] = ++count;
        t->feeding[count - 1] = m;
      }
      size_t k = position_of[m] - 1;
      lookahead_set_union(t->feeding_first + k * t->words, core_table_rest_first(t, core + 1), t->words);
      t->feeding_nullable[k] = t->feeding_nullable[k] || t->rest_nullable[core + 1];
    }
  }
  t->feeding_base[t->nonterm_count] = count;
}

}  // namespace

core_table* core_table_new(const grammar* g) {
  core_table* t = memory_new_record<core_table>();
  if (t == nullptr) return nullptr;
  t->terms = g->terms;
  t->nonterms = g->nonterms;
  t->term_count = g->terms->count;
  t->nonterm_count = g->nonterms->count;
  t->rule_count = grammar_rule_count(g);
  if (!ids_are_positions(g, t->rule_count)) {
    memory_release(t);
    return nullptr;
  }
  t->words = lookahead_words_for(t->term_count + 1);
  t->end_marker_bit = t->term_count;
  t->core_count = 0;
  for (size_t n = 0; n < t->nonterm_count; ++n) {
    const rules* alternatives = g->nonterms->items[n]->rules;
    for (size_t r = 0; r < alternatives->count; ++r) t->core_count += alternatives->items[r]->symbols->count + 1;
  }
  t->arrays = array_block_new([t](array_block* b) { lay_out_arrays(t, b); });
  if (t->arrays == nullptr) {
    core_table_free(t);
    return nullptr;
  }
  number_terminals(t);
  rank_keys(t);
  number_rules(t);
  number_cores(t);
  auto* position_of = static_cast<size_t*>(memory_alloc_zero(t->nonterm_count + 1, sizeof(size_t)));
  if (position_of == nullptr) {
    core_table_free(t);
    return nullptr;
  }
  list_feeding_rules(t, position_of);
  memory_release(position_of);
  return t;
}

void core_table_free(core_table* table) {
  if (table == nullptr) return;
  memory_release(table->arrays);
  memory_release(table);
}
