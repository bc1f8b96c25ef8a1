#include "text/growable.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct numbers : growable<int> {};

std::vector<int> contents(const numbers* a) { return std::vector<int>(a->items, a->items + a->count); }

TEST(GrowableGrowth, EightAtFirstPushThenDoubling) {
  numbers* a = growable_new<numbers>();
  EXPECT_EQ(a->capacity, 0u);
  EXPECT_EQ(a->items, nullptr);
  const std::pair<int, size_t> pushes_to_capacity[] = {{1, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 32}};
  int pushed = 0;
  for (const auto& [pushes, capacity] : pushes_to_capacity) {
    while (pushed < pushes) ASSERT_TRUE(growable_push(a, pushed++));
    EXPECT_EQ(a->capacity, capacity) << pushes << " pushes";
  }
  EXPECT_EQ(contents(a).size(), 17u);
  EXPECT_EQ(a->items[16], 16);
  growable_free(a);
  growable_free<int>(nullptr);
}

TEST(GrowableInsert, KeepsOrderAtEveryPosition) {
  numbers* a = growable_new<numbers>();
  EXPECT_TRUE(growable_insert_at(a, 0, 2));
  EXPECT_TRUE(growable_insert_at(a, 0, 0));
  EXPECT_TRUE(growable_insert_at(a, 1, 1));
  EXPECT_TRUE(growable_insert_at(a, 3, 3));
  for (int i = 4; i < 9; ++i) growable_push(a, i + 1);
  EXPECT_TRUE(growable_insert_at(a, 4, 4));  // the ninth element forces a move of the storage
  EXPECT_EQ(contents(a), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  growable_free(a);
}

TEST(GrowableGrowth, FailedGrowthLeavesTheArrayUnchanged) {
  numbers* a = growable_new<numbers>();
  size_t live = memory_live_blocks();
  memory_fail_at(1);
  EXPECT_FALSE(growable_push(a, 1));
  EXPECT_EQ(a->items, nullptr);
  EXPECT_EQ(a->count, 0u);
  EXPECT_EQ(memory_live_blocks(), live);
  for (int i = 0; i < 8; ++i) growable_push(a, i);
  int* items = a->items;
  memory_fail_at(1);
  EXPECT_FALSE(growable_push(a, 8));
  memory_fail_at(1);
  EXPECT_FALSE(growable_insert_at(a, 0, 8));
  EXPECT_EQ(a->items, items);
  EXPECT_EQ(a->capacity, 8u);
  EXPECT_EQ(contents(a), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_TRUE(growable_push(a, 8));
  growable_free(a);
  EXPECT_EQ(memory_live_blocks(), live - 1);  // the record itself was counted before
}

TEST(GrowableGrowth, RefusesToGrowPastTheLargestCount) {
  numbers a{};
  a.count = a.capacity = growable_limit<int>;
  EXPECT_FALSE(growable_make_room(&a));
  EXPECT_EQ(a.capacity, growable_limit<int>);
}

TEST(GrowthRule, FirstThenDoublingSaturatingAtTheLimit) {
  struct growth_case {
    size_t capacity, first, needed, limit, expected;
  };
  const growth_case cases[] = {
      {0, 8, 1, 100, 8},               // empty: the first capacity
      {0, 8, 20, 100, 32},             // empty but needing more: doubled from the first
      {8, 8, 9, 100, 16},              // full: one doubling
      {16, 8, 100, 100, 100},          // doubling past the limit stops there
      {64, 64, 101, 100, 0},           // beyond the limit: nothing to allocate
      {64, 64, 130, 1024, 256},        // powers of two stay powers of two
      {SIZE_MAX / 2 + 1, 16, SIZE_MAX, SIZE_MAX, SIZE_MAX},  // past half the address space: the whole of it
  };
  for (const growth_case& c : cases) {
    EXPECT_EQ(grown_capacity(c.capacity, c.first, c.needed, c.limit), c.expected)
        << c.capacity << " " << c.first << " " << c.needed << " " << c.limit;
  }
}

}  // namespace
