#include "lr/symbol_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
  size_t after_first = memory_live_blocks();
  bool inserted = true;
  ASSERT_TRUE(state_map_insert(&map, test_t(f.g, "a"), f.two, &inserted));
  EXPECT_FALSE(inserted);
  EXPECT_EQ(state_map_find(map, test_t(f.g, "a")), f.one);
  EXPECT_EQ(state_map_find(map, test_t(f.g, "b")), nullptr);
  EXPECT_EQ(memory_live_blocks(), after_first);
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

// A map of many keys, and the plain sorted list of pairs that it must agree
// with after every step, so that long express lanes are exercised too.
struct wide_fixture {
  grammar* g;
  std::vector<symbol> keys;  // every terminal, every nonterminal and the end marker
  std::vector<rule*> values;
  rule_map* map = nullptr;
  std::vector<std::pair<symbol, rule*>> reference;  // ascending keys

  wide_fixture() {
    std::string text = "%token";
    for (int i = 0; i < 300; ++i) text += " t" + std::to_string(i);
    text += "\n%%\nS : t0 { } | t1 { } | t2 { } ;\nA : S { } ;\nB : A { } ;\n";
    g = read_test_grammar(text.c_str());
    for (size_t i = 0; i < g->terms->count; ++i) keys.push_back(symbol_for_term(g->terms->items[i]));
    for (size_t i = 0; i < g->nonterms->count; ++i) keys.push_back(symbol_for_nonterm(g->nonterms->items[i]));
    keys.push_back(symbol_for_endmark());
    for (size_t k = 0; k < 3; ++k) values.push_back(test_rule(g, "S", k));
  }
  ~wide_fixture() {
    rule_map_free(map);
    grammar_free(g);
  }

  std::vector<std::pair<symbol, rule*>>::iterator place(symbol key) {
    return std::lower_bound(reference.begin(), reference.end(), key,
                            [](const std::pair<symbol, rule*>& entry, symbol k) { return symbol_less(entry.first, k); });
  }

  void insert(symbol key, rule* value) {
    bool inserted = false;
    ASSERT_TRUE(rule_map_insert(&map, key, value, &inserted));
    auto at = place(key);
    bool present = at != reference.end() && symbol_equals(at->first, key);
    EXPECT_EQ(inserted, !present);
    if (!present) reference.insert(at, {key, value});
  }

  void remove(symbol key) {
    auto at = place(key);
    bool present = at != reference.end() && symbol_equals(at->first, key);
    EXPECT_EQ(symbol_map_remove(&map, key), present);
    if (present) reference.erase(at);
  }

  void erase(const rule* value) {
    rule_map_erase(&map, value);
    std::erase_if(reference, [value](const std::pair<symbol, rule*>& entry) { return entry.second == value; });
  }

  // The walk through next gives the reference in order, and every key is found or not as the reference says.
  void expect_agreement() {
    size_t k = 0;
    for (const rule_map* node = map; node != nullptr; node = node->next, ++k) {
      ASSERT_LT(k, reference.size());
      EXPECT_TRUE(symbol_equals(node->symbol, reference[k].first));
      EXPECT_EQ(node->rule, reference[k].second);
      EXPECT_EQ(node->head != nullptr, node == map && node->head != nullptr);  // only the first node holds the head
    }
    EXPECT_EQ(k, reference.size());
    for (symbol key : keys) {
      auto at = place(key);
      rule* expected = at != reference.end() && symbol_equals(at->first, key) ? at->second : nullptr;
      EXPECT_EQ(rule_map_find(map, key), expected);
    }
  }
};

// A small generator of pseudo-random numbers, the same on every machine.
uint64_t next_random(uint64_t* seed) {
  *seed = *seed * 6364136223846793005u + 1442695040888963407u;
  return *seed >> 33;
}

TEST(SymbolMaps, AgreeWithASortedListUnderRandomChanges) {
  wide_fixture f;
  uint64_t seed = 7;
  for (int step = 0; step < 3000; ++step) {
    symbol key = f.keys[next_random(&seed) % f.keys.size()];
    uint64_t roll = next_random(&seed) % 10;
    if (roll < 6) {
      f.insert(key, f.values[next_random(&seed) % f.values.size()]);
    } else if (roll < 9) {
      f.remove(key);
    } else if (step % 50 == 9) {
      f.erase(f.values[next_random(&seed) % f.values.size()]);
    }
    if (step % 100 == 0) f.expect_agreement();
  }
  f.expect_agreement();
}

TEST(SymbolMaps, AgreeWhateverTheOrderOfInsertion) {
  struct order {
    const char* name;
    bool descending;
    size_t stride;
  };
  const order orders[] = {{"ascending", false, 1}, {"descending", true, 1}, {"interleaved", false, 7}};
  for (const order& o : orders) {
    SCOPED_TRACE(o.name);
    wide_fixture f;
    std::vector<symbol> sorted = f.keys;
    std::sort(sorted.begin(), sorted.end(), symbol_less);
    if (o.descending) std::reverse(sorted.begin(), sorted.end());
    for (size_t start = 0; start < o.stride; ++start) {
      for (size_t k = start; k < sorted.size(); k += o.stride) f.insert(sorted[k], f.values[k % 3]);
    }
    f.expect_agreement();
    for (size_t k = 0; k < sorted.size(); k += 2) f.remove(sorted[k]);  // the first node too, handing the head on
    f.expect_agreement();
    f.erase(f.values[0]);
    f.erase(f.values[1]);
    f.erase(f.values[2]);
    f.expect_agreement();
    EXPECT_EQ(f.map, nullptr);
  }
}

TEST(SymbolMaps, PackedMapsReadAsTheSortedListAndFreeAsOneBlock) {
  wide_fixture f;
  std::vector<symbol> sorted = f.keys;
  std::sort(sorted.begin(), sorted.end(), symbol_less);
  for (size_t k = 0; k < sorted.size(); k += 2) f.reference.push_back({sorted[k], f.values[k % 3]});
  auto each = [&f](auto add) {
    for (const auto& [key, value] : f.reference) add(key, value);
  };
  size_t live = memory_live_blocks();
  memory_fail_at(1);
  EXPECT_FALSE(symbol_map_pack(&f.map, each));
  EXPECT_EQ(f.map, nullptr);
  ASSERT_TRUE(symbol_map_pack(&f.map, each));
  EXPECT_EQ(memory_live_blocks(), live + 1);
  f.expect_agreement();
  f.map = rule_map_free(f.map);
  EXPECT_EQ(memory_live_blocks(), live);
}

TEST(SymbolMaps, EveryFailedAllocationLeavesTheMapAsItWas) {
  wide_fixture f;
  uint64_t seed = 11;
  for (int step = 0; step < 400; ++step) {
    symbol key = f.keys[next_random(&seed) % f.keys.size()];
    memory_fail_at(1);
    bool inserted = false;
    EXPECT_FALSE(rule_map_insert(&f.map, key, f.values[0], &inserted));
    memory_fail_at(2);  // the node is made; raising the head, when the key is taller than every lane, fails
    if (!rule_map_insert(&f.map, key, f.values[0], &inserted)) {
      EXPECT_GT(symbol_map_height(key), symbol_map_head_height(f.map == nullptr ? nullptr : f.map->head));
    } else {
      auto at = f.place(key);
      if (at == f.reference.end() || !symbol_equals(at->first, key)) f.reference.insert(at, {key, f.values[0]});
    }
    memory_fail_at(0);
    if (step % 40 == 0) f.expect_agreement();
  }
  f.expect_agreement();
}

}  // namespace
