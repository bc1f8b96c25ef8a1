#include "lr/item_groups.h"

#include <gtest/gtest.h>

#include "text/memory.h"

namespace {

TEST(ItemGroups, CopiesCompareEqualAndAnyDifferenceShows) {
  item_groups* groups = item_groups_new(4, 2);
  ASSERT_NE(groups, nullptr);
  groups->count = 2;  // room for four, two in use, as the construction's scratch kernel
  groups->cores[0] = 3;
  groups->cores[1] = 9;
  lookahead_set_add(item_groups_set(groups, 0), 70);
  lookahead_set_add(item_groups_set(groups, 1), 1);
  item_groups_rehash(groups);
  item_groups* copy = item_groups_copy(groups, groups->count);
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(item_groups_same(groups, copy));
  lookahead_set_add(item_groups_set(copy, 1), 2);
  item_groups_rehash(copy);
  EXPECT_FALSE(item_groups_same(groups, copy));
  item_groups_free(copy);
  copy = item_groups_copy(groups, 1);
  item_groups_rehash(copy);
  EXPECT_FALSE(item_groups_same(groups, copy));
  item_groups_free(copy);
  item_groups_free(groups);
}

TEST(ItemGroups, OneBlockPerRecord) {
  size_t live = memory_live_blocks();
  item_groups* groups = item_groups_new(3, 1);
  EXPECT_EQ(memory_live_blocks(), live + 1);
  item_groups_free(groups);
  memory_fail_at(1);
  EXPECT_EQ(item_groups_new(3, 1), nullptr);
  EXPECT_EQ(memory_live_blocks(), live);
}

TEST(LookaheadSets, WalkMembersBothWays) {
  lookahead_word set[3] = {};
  size_t members[] = {0, 5, 63, 64, 130};
  for (size_t m : members) lookahead_set_add(set, m);
  size_t k = 0;
  for (size_t b = lookahead_set_next(set, 0, 3); b != SIZE_MAX; b = lookahead_set_next(set, b + 1, 3)) {
    EXPECT_EQ(b, members[k++]);
  }
  EXPECT_EQ(k, 5u);
  for (size_t b = lookahead_set_previous(set, 3 * lookahead_word_bits); b != SIZE_MAX; b = lookahead_set_previous(set, b)) {
    EXPECT_EQ(b, members[--k]);
  }
  EXPECT_EQ(k, 0u);
  lookahead_word other[3] = {};
  EXPECT_TRUE(lookahead_set_union(other, set, 3));
  EXPECT_FALSE(lookahead_set_union(other, set, 3));
  EXPECT_FALSE(lookahead_set_is_empty(other, 3));
}

}  // namespace
