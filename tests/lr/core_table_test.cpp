#include "lr/core_table.h"

#include <gtest/gtest.h>

#include <string>

#include "lr/first_follow.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

// The set of a core's rest, as the item-by-item closure would compute it with a given lookahead.
std::string rest_by_sequence(const core_table* t, const rule* r, size_t mark, symbol lookahead) {
  symbols* sequence = symbols_new();
  symbol_set* result = symbol_set_new();
  for (size_t k = mark; k < r->symbols->count; ++k) growable_push(sequence, r->symbols->items[k]);
  growable_push(sequence, lookahead);
  EXPECT_TRUE(solve_firsts_for_symbols(sequence, result));
  std::string bits(t->term_count + 1, '.');
  for (size_t i = 0; i < result->count; ++i) {
    symbol s = result->items[i];
    bits[s.term == nullptr ? t->end_marker_bit : t->bit_of_term[s.term->id]] = '1';
  }
  symbols_free(sequence);
  symbol_set_free(result);
  return bits;
}

std::string rest_by_table(const core_table* t, size_t core, size_t lookahead_bit) {
  std::string bits(t->term_count + 1, '.');
  const lookahead_word* first = core_table_rest_first(t, core);
  for (size_t b = 0; b <= t->term_count; ++b) {
    if (lookahead_set_has(first, b)) bits[b] = '1';
  }
  if (t->rest_nullable[core]) bits[lookahead_bit] = '1';
  return bits;
}

TEST(CoreTable, RestSetsAgreeWithFirstOfSequencesOnGeneratedGrammars) {
  for (uint64_t seed = 0; seed < 300; ++seed) {
    std::string text = random_grammar_text(seed);
    grammar* g = read_test_grammar(text.c_str());
    ASSERT_NE(g, nullptr);
    ASSERT_TRUE(solve_firsts(g->nonterms));
    core_table* t = core_table_new(g);
    ASSERT_NE(t, nullptr);
    for (size_t id = 0; id < t->rule_count; ++id) {
      const rule* r = t->rule_by_id[id];
      ASSERT_EQ(r->id, id);
      for (size_t mark = 0; mark <= r->symbols->count; ++mark) {
        size_t core = t->core_base[id] + mark;
        ASSERT_EQ(t->core_rule[core], id);
        ASSERT_EQ(t->next_key[core] == no_symbol_key, mark == r->symbols->count);
        ASSERT_EQ(rest_by_table(t, core, t->end_marker_bit), rest_by_sequence(t, r, mark, symbol_for_endmark()))
            << text;
        for (size_t b = 0; b < t->term_count; ++b) {
          ASSERT_EQ(rest_by_table(t, core, b), rest_by_sequence(t, r, mark, core_table_bit_symbol(t, b))) << text;
        }
      }
    }
    // Key ranks list the keys in symbol order.
    size_t keys = t->term_count + t->nonterm_count;
    for (size_t rank = 0; rank < keys; ++rank) {
      ASSERT_EQ(t->key_rank[t->key_by_rank[rank]], rank);
      if (rank > 0) {
        ASSERT_TRUE(symbol_less(core_table_key_symbol(t, t->key_by_rank[rank - 1]),
                                core_table_key_symbol(t, t->key_by_rank[rank])));
      }
    }
    core_table_free(t);
    grammar_free(g);
  }
}

TEST(CoreTable, BitsAndRanksFollowRecordAddresses) {
  grammar* g = read_test_grammar("%token a b c\n%%\nS : a S { } | b { } | c { } ;\nT : a { } ;\n");
  ASSERT_TRUE(solve_firsts(g->nonterms));
  core_table* t = core_table_new(g);
  for (size_t b = 1; b < t->term_count; ++b) {
    EXPECT_TRUE(symbol_less(core_table_bit_symbol(t, b - 1), core_table_bit_symbol(t, b)));
  }
  EXPECT_TRUE(symbol_equals(core_table_bit_symbol(t, t->end_marker_bit), symbol_for_endmark()));
  for (size_t i = 0; i < t->rule_count; ++i) {
    for (size_t j = 0; j < t->rule_count; ++j) {
      EXPECT_EQ(t->rule_rank[i] < t->rule_rank[j], t->rule_by_id[i] < t->rule_by_id[j]);
    }
  }
  EXPECT_TRUE(symbol_equals(core_table_key_symbol(t, 1), test_t(g, "b")));
  EXPECT_TRUE(symbol_equals(core_table_key_symbol(t, 4), test_n(g, "T")));
  core_table_free(t);
  grammar_free(g);
}

TEST(CoreTable, FailedAllocationsLeaveNothingBehind) {
  grammar* g = read_test_grammar("%token a\n%%\nS : a S { } | { } ;\n");
  ASSERT_TRUE(solve_firsts(g->nonterms));
  size_t live = memory_live_blocks();
  for (size_t k = 1;; ++k) {
    memory_fail_at(k);
    core_table* t = core_table_new(g);
    memory_fail_at(0);
    bool made = t != nullptr;
    core_table_free(t);
    ASSERT_EQ(memory_live_blocks(), live);
    if (made) break;
  }
  grammar_free(g);
}

}  // namespace
