#include "grammar/symbol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "text/memory.h"
#include "support/grammar_objects.h"

namespace {

// Plain records in arrays: their addresses ascend with the index, which gives
// the slow model below an obvious order to check against.
term term_pool[6];
nonterm nonterm_pool[6];

symbol t(int i) { return symbol_for_term(&term_pool[i]); }
symbol n(int i) { return symbol_for_nonterm(&nonterm_pool[i]); }
symbol end() { return symbol_for_endmark(); }

// Rank of a symbol in the documented order: terminals, nonterminals, end marker.
int rank(symbol s) {
  if (s.term != nullptr) return static_cast<int>(s.term - term_pool);
  if (s.nonterm != nullptr) return 100 + static_cast<int>(s.nonterm - nonterm_pool);
  return 1000;
}

std::vector<int> ranks(const symbol_set* set) {
  std::vector<int> out;
  for (size_t i = 0; i < set->count; ++i) out.push_back(rank(set->items[i]));
  return out;
}

TEST(SymbolOrder, TerminalsThenNonterminalsThenEndMarker) {
  std::vector<symbol> ordered = {t(0), t(3), t(5), n(0), n(2), n(5), end()};
  for (size_t i = 0; i < ordered.size(); ++i) {
    for (size_t j = 0; j < ordered.size(); ++j) {
      EXPECT_EQ(symbol_less(ordered[i], ordered[j]), i < j) << i << " vs " << j;
      EXPECT_EQ(symbol_equals(ordered[i], ordered[j]), i == j) << i << " vs " << j;
    }
  }
}

TEST(SymbolInsert, KeepsTheThreeShapesInOrder) {
  symbol_set* set = symbol_set_new();
  ASSERT_TRUE(symbol_insert(set, end(), nullptr));
  ASSERT_TRUE(symbol_insert(set, n(1), nullptr));
  ASSERT_TRUE(symbol_insert(set, t(1), nullptr));
  EXPECT_EQ(ranks(set), (std::vector<int>{1, 101, 1000}));
  symbol_set_free(set);
}

TEST(SymbolInsert, FirstInsertAllocatesEightAndFlagsTheChange) {
  symbol_set* set = symbol_set_new();
  bool added = false;
  ASSERT_TRUE(symbol_insert(set, t(2), &added));
  EXPECT_TRUE(added);
  EXPECT_EQ(set->count, 1u);
  EXPECT_EQ(set->capacity, 8u);
  EXPECT_TRUE(symbol_equals(set->items[0], t(2)));
  symbol_set_free(set);
}

TEST(SymbolInsert, DuplicateLeavesOneElementAndClearsTheFlag) {
  symbol_set* set = symbol_set_new();
  ASSERT_TRUE(symbol_insert(set, t(0), nullptr));
  ASSERT_TRUE(symbol_insert(set, end(), nullptr));
  for (symbol s : {t(0), end()}) {
    bool added = true;
    EXPECT_TRUE(symbol_insert(set, s, &added));
    EXPECT_FALSE(added);
  }
  EXPECT_EQ(ranks(set), (std::vector<int>{0, 1000}));
  symbol_set_free(set);
}

TEST(SymbolInsert, AtBothEnds) {
  symbol_set* set = symbol_set_new();
  for (int i : {2, 3, 4}) symbol_insert(set, t(i), nullptr);
  symbol* storage = set->items;
  ASSERT_TRUE(symbol_insert(set, n(0), nullptr));   // greater than all: appended
  ASSERT_TRUE(symbol_insert(set, t(0), nullptr));   // less than all: everything moves up
  EXPECT_EQ(set->items, storage);
  EXPECT_EQ(ranks(set), (std::vector<int>{0, 2, 3, 4, 100}));
  symbol_set_free(set);
}

TEST(SymbolInsert, NullSetFailsAndLeavesTheFlag) {
  bool added = true;
  EXPECT_FALSE(symbol_insert(nullptr, t(0), &added));
  EXPECT_TRUE(added);
}

TEST(SymbolInsert, AgreesWithSortAndUniqueOnRandomSequences) {
  std::vector<symbol> universe;
  for (int i = 0; i < 6; ++i) universe.push_back(t(i));
  for (int i = 0; i < 6; ++i) universe.push_back(n(i));
  universe.push_back(end());
  std::mt19937 random(12345);
  for (int round = 0; round < 2000; ++round) {
    symbol_set* set = symbol_set_new();
    std::vector<int> model;
    size_t length = random() % 30;
    for (size_t k = 0; k < length; ++k) {
      symbol s = universe[random() % universe.size()];
      bool is_new = std::find(model.begin(), model.end(), rank(s)) == model.end();
      bool added = !is_new;
      ASSERT_TRUE(symbol_insert(set, s, &added));
      ASSERT_EQ(added, is_new);
      model.push_back(rank(s));
      std::sort(model.begin(), model.end());
      model.erase(std::unique(model.begin(), model.end()), model.end());
      ASSERT_EQ(ranks(set), model) << "round " << round;
    }
    symbol_set_free(set);
  }
}

TEST(SymbolInsert, FailedGrowthLeavesTheSetUnchanged) {
  symbol_set* set = symbol_set_new();
  for (int i = 0; i < 6; ++i) symbol_insert(set, t(i), nullptr);
  symbol_insert(set, n(0), nullptr);
  symbol_insert(set, n(1), nullptr);
  ASSERT_EQ(set->capacity, 8u);
  memory_fail_at(1);
  EXPECT_FALSE(symbol_insert(set, end(), nullptr));
  memory_fail_at(0);
  EXPECT_EQ(ranks(set), (std::vector<int>{0, 1, 2, 3, 4, 5, 100, 101}));
  EXPECT_EQ(set->capacity, 8u);
  ASSERT_TRUE(symbol_insert(set, end(), nullptr));
  EXPECT_EQ(set->capacity, 16u);
  symbol_set_free(set);
}

TEST(SymbolInsertSet, MergesInOrder) {
  symbol_set* a = symbol_set_new();
  symbol_set* b = symbol_set_new();
  for (symbol s : {t(1), n(2), end()}) symbol_insert(a, s, nullptr);
  for (symbol s : {t(0), t(1), n(3)}) symbol_insert(b, s, nullptr);
  EXPECT_TRUE(symbol_insert_set(a, b));
  EXPECT_EQ(ranks(a), (std::vector<int>{0, 1, 102, 103, 1000}));
  EXPECT_EQ(ranks(b), (std::vector<int>{0, 1, 103}));
  symbol_set_free(a);
  symbol_set_free(b);
}

TEST(SymbolInsertSet, IntoItselfOrFromEmptyChangesNothing) {
  symbol_set* a = symbol_set_new();
  symbol_set* empty = symbol_set_new();
  for (int i = 0; i < 8; ++i) symbol_insert(a, i < 6 ? t(i) : n(i - 6), nullptr);
  EXPECT_TRUE(symbol_insert_set(a, a));
  EXPECT_TRUE(symbol_insert_set(a, empty));
  EXPECT_EQ(ranks(a), (std::vector<int>{0, 1, 2, 3, 4, 5, 100, 101}));
  EXPECT_TRUE(symbol_insert_set(empty, empty));
  EXPECT_EQ(empty->count, 0u);
  symbol_set_free(a);
  symbol_set_free(empty);
}

TEST(SymbolInsertSet, StopsAtTheFirstFailureKeepingEarlierElements) {
  symbol_set* a = symbol_set_new();
  symbol_set* b = symbol_set_new();
  for (int i = 0; i < 6; ++i) symbol_insert(b, t(i), nullptr);
  for (int i = 0; i < 3; ++i) symbol_insert(b, n(i), nullptr);
  memory_fail_at(2);  // the first insertion allocates, the ninth must grow
  EXPECT_FALSE(symbol_insert_set(a, b));
  EXPECT_EQ(ranks(a), (std::vector<int>{0, 1, 2, 3, 4, 5, 100, 101}));
  EXPECT_FALSE(symbol_insert_set(nullptr, b));
  symbol_set_free(a);
  symbol_set_free(b);
}

TEST(Symbols, PushKeepsOrderAndDuplicatesAndGrowsFromEightToSixteen) {
  symbols* array = symbols_new();
  ASSERT_TRUE(symbol_push_term(array, &term_pool[1]));
  EXPECT_EQ(array->capacity, 8u);
  ASSERT_TRUE(symbol_push_nonterm(array, &nonterm_pool[0]));
  ASSERT_TRUE(symbol_push(array, nullptr, nullptr));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(symbol_push_term(array, &term_pool[1]));
  EXPECT_EQ(array->capacity, 8u);
  ASSERT_TRUE(symbol_push_term(array, &term_pool[0]));
  EXPECT_EQ(array->capacity, 16u);
  EXPECT_EQ(array->count, 9u);
  EXPECT_EQ(rank(array->items[0]), 1);
  EXPECT_EQ(rank(array->items[1]), 100);
  EXPECT_EQ(rank(array->items[2]), 1000);
  EXPECT_EQ(rank(array->items[8]), 0);
  symbols_free(array);
  symbols_free(nullptr);
  symbol_set_free(nullptr);
}

TEST(Symbols, ConstructorsFailCleanly) {
  size_t live = memory_live_blocks();
  memory_fail_at(1);
  EXPECT_EQ(symbols_new(), nullptr);
  memory_fail_at(1);
  EXPECT_EQ(symbol_set_new(), nullptr);
  EXPECT_EQ(memory_live_blocks(), live);
}

TEST(SymbolPrint, NamesSeparatedOrFollowedByBlanks) {
  ustring* name_sum = text_of("sum");
  ustring* name_plus = text_of("+");
  ustring* name_x = text_of("x");
  nonterm* sum = nonterm_new(name_sum);
  term* plus = term_new(name_plus);
  term* x = term_new(name_x);
  ustring* name_product = text_of("product");
  nonterm* product = nonterm_new(name_product);

  symbols* rhs = symbols_new();
  symbol_push_nonterm(rhs, sum);
  symbol_push_term(rhs, plus);
  symbol_push_nonterm(rhs, product);
  EXPECT_EQ(printed([&](FILE* f) { symbols_print(rhs, f); }), "sum + product");

  symbols* empty = symbols_new();
  EXPECT_EQ(printed([&](FILE* f) { symbols_print(empty, f); }), "");

  symbol_set* follows = symbol_set_new();
  symbol_insert(follows, end(), nullptr);
  symbol_insert(follows, symbol_for_term(x), nullptr);
  EXPECT_EQ(printed([&](FILE* f) { symbol_set_print(follows, f); }), "x $ ");

  symbol marker = end();
  EXPECT_EQ(printed([&](FILE* f) { symbol_print(&marker, f); }), "$");

  symbol_set_free(follows);
  symbols_free(empty);
  symbols_free(rhs);
  nonterm_free(sum);
  nonterm_free(product);
  term_free(plus);
  term_free(x);
  ustring_free(name_sum);
  ustring_free(name_plus);
  ustring_free(name_x);
  ustring_free(name_product);
}

}  // namespace
