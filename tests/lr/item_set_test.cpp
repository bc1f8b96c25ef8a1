#include "lr/item_set.h"

#include <gtest/gtest.h>

#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

struct fixture {
  grammar* g = read_test_grammar("%token x y z\n%%\nA : x B { } ;\nB : y { } | z { } ;\n");
  item_set* set = item_set_new();
  ~fixture() {
    item_set_free(set);
    grammar_free(g);
  }
  item at(const char* nonterm, size_t k, size_t mark, symbol lookahead) const {
    return item_make(test_rule(g, nonterm, k), mark, lookahead);
  }
};

TEST(ItemInsert, KeepsDescendingOrderWithoutDuplicates) {
  fixture f;
  symbol end = symbol_for_endmark();
  item members[] = {f.at("A", 0, 0, end), f.at("A", 0, 1, end), f.at("B", 0, 0, test_t(f.g, "x")),
                    f.at("B", 0, 0, end), f.at("B", 1, 0, test_t(f.g, "y")), f.at("A", 0, 1, test_t(f.g, "z"))};
  for (item i : members) {
    bool inserted = false;
    ASSERT_TRUE(item_insert(f.set, i, &inserted));
    EXPECT_TRUE(inserted);
  }
  bool inserted = true;
  ASSERT_TRUE(item_insert(f.set, members[2], &inserted));
  EXPECT_FALSE(inserted);
  ASSERT_EQ(f.set->count, 6u);
  for (size_t k = 1; k < f.set->count; ++k) EXPECT_TRUE(item_less(f.set->items[k], f.set->items[k - 1]));
  // The end-marker lookahead is the greatest for the same rule and mark.
  item least = item_set_pop(f.set);
  EXPECT_EQ(f.set->count, 5u);
  for (size_t k = 0; k < f.set->count; ++k) EXPECT_TRUE(item_less(least, f.set->items[k]));
}

TEST(ItemInsert, GrowsFromEightToSixteenOnTheNinth) {
  fixture f;
  rule* a = test_rule(f.g, "A", 0);
  for (size_t k = 0; k < 9; ++k) {
    ASSERT_TRUE(item_insert(f.set, item_make(a, k, symbol_for_endmark()), nullptr));
    EXPECT_EQ(f.set->capacity, k < 8 ? 8u : 16u);
  }
}

TEST(ItemInsert, FailedGrowthLeavesSetAndFlagAlone) {
  fixture f;
  bool inserted = true;
  memory_fail_at(1);
  EXPECT_FALSE(item_insert(f.set, f.at("A", 0, 0, symbol_for_endmark()), &inserted));
  EXPECT_TRUE(inserted);
  EXPECT_EQ(f.set->count, 0u);
}

TEST(ItemSetPop, EmptySetGivesTheAllZeroItem) {
  fixture f;
  ASSERT_TRUE(item_insert(f.set, f.at("B", 1, 1, test_t(f.g, "y")), nullptr));
  item only = item_set_pop(f.set);
  EXPECT_EQ(only.mark, 1u);
  EXPECT_EQ(f.set->count, 0u);
  item none = item_set_pop(f.set);
  EXPECT_EQ(none.rule, nullptr);
  EXPECT_EQ(none.mark, 0u);
  EXPECT_TRUE(symbol_equals(none.lookahead, symbol_for_endmark()));
  EXPECT_EQ(f.set->count, 0u);
}

TEST(ItemSetSame, InsertionOrderDoesNotMatterButSizeDoes) {
  fixture f;
  item_set* other = item_set_new();
  item one = f.at("A", 0, 1, test_t(f.g, "z"));
  item two = f.at("B", 0, 0, symbol_for_endmark());
  item_insert(f.set, one, nullptr);
  item_insert(f.set, two, nullptr);
  item_insert(other, two, nullptr);
  EXPECT_FALSE(item_set_same(f.set, other));
  item_insert(other, one, nullptr);
  EXPECT_TRUE(item_set_same(f.set, other));
  ASSERT_TRUE(item_insert_set(other, f.set));
  EXPECT_EQ(other->count, 2u);
  item_set_free(other);
}

}  // namespace
