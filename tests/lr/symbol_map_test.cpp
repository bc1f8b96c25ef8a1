#include "lr/symbol_map.h"

#include <gtest/gtest.h>

#include "lr/state.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

struct fixture {
  grammar* g = read_test_grammar("%token a b c\n%%\nS : a b c { } | a { } ;\n");
  state* one = state_new();
  state* two = state_new();
  ~fixture() {
    state_free(one);
    state_free(two);
    grammar_free(g);
  }
};

TEST(SymbolMaps, KeysAscendWhateverTheInsertionOrder) {
  fixture f;
  symbol keys[] = {symbol_for_endmark(), test_t(f.g, "c"), test_n(f.g, "S"), test_t(f.g, "a"), test_t(f.g, "b")};
  state_map* map = nullptr;
  for (symbol key : keys) {
    bool inserted = false;
    ASSERT_TRUE(state_map_insert(&map, key, f.one, &inserted));
    EXPECT_TRUE(inserted);
  }
  size_t count = 0;
  for (const state_map* node = map; node != nullptr; node = node->next, ++count) {
    if (node->next != nullptr) {
      EXPECT_TRUE(symbol_less(node->symbol, node->next->symbol));
    }
  }
  EXPECT_EQ(count, 5u);
  for (symbol key : keys) EXPECT_EQ(state_map_find(map, key), f.one);
  EXPECT_EQ(state_map_free(map), nullptr);
}

TEST(SymbolMaps, ExistingKeyKeepsTheFirstValue) {
  fixture f;
  state_map* map = nullptr;
  size_t live = memory_live_blocks();
  ASSERT_TRUE(state_map_insert(&map, test_t(f.g, "a"), f.one, nullptr));
  bool inserted = true;
  ASSERT_TRUE(state_map_insert(&map, test_t(f.g, "a"), f.two, &inserted));
  EXPECT_FALSE(inserted);
  EXPECT_EQ(state_map_find(map, test_t(f.g, "a")), f.one);
  EXPECT_EQ(state_map_find(map, test_t(f.g, "b")), nullptr);
  EXPECT_EQ(memory_live_blocks(), live + 1);
  state_map_free(map);
  EXPECT_EQ(memory_live_blocks(), live);
}

TEST(SymbolMaps, SameNeedsEqualKeysAndIdenticalValues) {
  fixture f;
  state_map* left = nullptr;
  state_map* right = nullptr;
  EXPECT_TRUE(state_map_is_same(left, right));
  state_map_insert(&left, test_t(f.g, "a"), f.one, nullptr);
  state_map_insert(&right, test_t(f.g, "a"), f.two, nullptr);
  EXPECT_FALSE(state_map_is_same(left, right));
  state_map_free(right);
  right = nullptr;
  state_map_insert(&right, test_t(f.g, "a"), f.one, nullptr);
  EXPECT_TRUE(state_map_is_same(left, right));
  state_map_insert(&right, test_t(f.g, "b"), f.one, nullptr);
  EXPECT_FALSE(state_map_is_same(left, right));
  state_map_free(left);
  state_map_free(right);
}

TEST(SymbolMaps, EraseRemovesEveryKeyOfTheRule) {
  fixture f;
  rule* r0 = test_rule(f.g, "S", 0);
  rule* r1 = test_rule(f.g, "S", 1);
  rule_map* map = nullptr;
  rule_map_insert(&map, test_t(f.g, "a"), r0, nullptr);
  rule_map_insert(&map, test_t(f.g, "b"), r1, nullptr);
  rule_map_insert(&map, symbol_for_endmark(), r0, nullptr);
  rule_map_insert(&map, test_t(f.g, "c"), r0, nullptr);
  rule_map_erase(&map, r0);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->next, nullptr);
  EXPECT_EQ(rule_map_find(map, test_t(f.g, "b")), r1);
  rule_map_erase(&map, r1);
  EXPECT_EQ(map, nullptr);
}

TEST(SymbolMaps, FailedNodeLeavesTheMapAsItWas) {
  fixture f;
  rule_map* map = nullptr;
  rule_map_insert(&map, test_t(f.g, "a"), test_rule(f.g, "S", 0), nullptr);
  bool inserted = true;
  memory_fail_at(1);
  EXPECT_FALSE(rule_map_insert(&map, test_t(f.g, "b"), test_rule(f.g, "S", 0), &inserted));
  EXPECT_TRUE(inserted);
  EXPECT_EQ(map->next, nullptr);
  rule_map_free(map);
}

}  // namespace
