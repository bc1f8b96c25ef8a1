#include "lr/closure.h"

#include <gtest/gtest.h>

#include <string>

#include "lr/first_follow.h"
#include "lr/state.h"
#include "support/item_by_item.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

// Kernels of one or two items, closed both ways: item by item, and by nonterminal with sets of bits.
void expect_same_closures(const grammar* g, const core_table* t, closure* c, size_t first_core, size_t second_core,
                          size_t bit, const std::string& text) {
  item_groups* kernel = item_groups_new(second_core == first_core ? 1 : 2, t->words);
  kernel->cores[0] = first_core < second_core ? first_core : second_core;
  lookahead_set_add(item_groups_set(kernel, 0), bit);
  if (kernel->count == 2) {
    kernel->cores[1] = first_core < second_core ? second_core : first_core;
    lookahead_set_add(item_groups_set(kernel, 1), t->end_marker_bit);
  }
  state* slow = state_new();
  for (size_t k = 0; k < kernel->count; ++k) {
    size_t core = kernel->cores[k];
    rule* r = t->rule_by_id[t->core_rule[core]];
    for (size_t b = 0; b <= t->term_count; ++b) {
      if (lookahead_set_has(item_groups_set(kernel, k), b)) {
        item_insert(slow->items, item_make(r, core - t->core_base[r->id], core_table_bit_symbol(t, b)), nullptr);
      }
    }
  }
  ASSERT_TRUE(state_solve_closure(slow));
  closure_solve(c, kernel);
  item_set* fast = item_set_new();
  ASSERT_TRUE(closure_items(c, fast));
  EXPECT_TRUE(item_set_same(fast, slow->items)) << text << " cores " << first_core << "," << second_core;
  // A successor's hash, made from its entries' set hashes, is the one its copy is given afresh.
  closure_group_successors(c);
  for (size_t key = closure_next_key(c, 0); key != SIZE_MAX; key = closure_next_key(c, key + 1)) {
    closure_fill_successor(c, key);
    item_groups* copy = closure_successor_copy(c);
    EXPECT_TRUE(closure_successor_is(c, copy));
    item_groups_rehash(copy);
    EXPECT_EQ(copy->hash, c->successor.hash) << text;
    lookahead_set_add(item_groups_set(copy, copy->count - 1), t->term_count);  // the end marker: in one set, or no change
    bool had_it = lookahead_set_has(c->successor.sets[copy->count - 1], t->term_count);
    item_groups_rehash(copy);
    EXPECT_EQ(closure_successor_is(c, copy), had_it) << text;
    item_groups_free(copy);
  }
  closure_reset(c);
  item_set_free(fast);
  state_free(slow);
  item_groups_free(kernel);
  (void)g;
}

TEST(Closure, BitSetsAgreeWithTheItemByItemClosureOnGeneratedGrammars) {
  for (uint64_t seed = 0; seed < 200; ++seed) {
    std::string text = random_grammar_text(seed);
    grammar* g = read_test_grammar(text.c_str());
    ASSERT_TRUE(solve_firsts(g->nonterms));
    core_table* t = core_table_new(g);
    closure* c = closure_new(t);
    ASSERT_NE(c, nullptr);
    for (size_t a = 0; a < t->core_count; ++a) {
      for (size_t b = a; b < t->core_count; b += 3) {
        expect_same_closures(g, t, c, a, b, (a + b) % (t->term_count + 1), text);
        if (testing::Test::HasFailure()) return;
      }
    }
    closure_free(c);
    core_table_free(t);
    grammar_free(g);
  }
}

TEST(Closure, SuccessorsComeInExplorationOrderWithCoresAscending) {
  grammar* g = read_test_grammar("%token x y\n%%\nS : A B { } ;\nA : x { } | y A { } | { } ;\nB : x y { } ;\n");
  ASSERT_TRUE(solve_firsts(g->nonterms));
  core_table* t = core_table_new(g);
  closure* c = closure_new(t);
  item_groups* kernel = item_groups_new(1, t->words);
  kernel->cores[0] = t->core_base[0];
  lookahead_set_add(item_groups_set(kernel, 0), t->end_marker_bit);
  closure_solve(c, kernel);
  closure_group_successors(c);
  std::string keys;
  for (size_t key = closure_next_key(c, 0); key != SIZE_MAX; key = closure_next_key(c, key + 1)) {
    keys += std::to_string(key) + " ";
    closure_fill_successor(c, key);
    for (size_t k = 1; k < c->successor.count; ++k) EXPECT_LT(c->successor.cores[k - 1], c->successor.cores[k]);
  }
  EXPECT_EQ(keys, "0 1 3 ");  // x, y, then A; B waits behind A
  bool failed = true;
  item_groups* completed = closure_reductions(c, &failed);
  EXPECT_FALSE(failed);
  ASSERT_NE(completed, nullptr);
  EXPECT_EQ(completed->count, 1u);  // A : (empty), ahead of x
  EXPECT_TRUE(lookahead_set_has(item_groups_set(completed, 0), t->bit_of_term[test_term(g, "x")->id]));
  item_groups_free(completed);
  closure_reset(c);
  item_groups_free(kernel);
  closure_free(c);
  core_table_free(t);
  grammar_free(g);
}

}  // namespace
