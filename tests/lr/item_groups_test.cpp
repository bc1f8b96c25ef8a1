#include "lr/item_groups.h"

#include <gtest/gtest.h>

#include "text/memory.h"

namespace {

TEST(ItemGroups, EqualGroupsHashAlikeAndDifferencesShow) {
  auto make = [](size_t count, size_t second_core, size_t second_bit) {
    item_groups* groups = item_groups_new(count, 2);
    groups->cores[0] = 3;
    lookahead_set_add(item_groups_set(groups, 0), 70);
    if (count > 1) {
      groups->cores[1] = second_core;
      lookahead_set_add(item_groups_set(groups, 1), second_bit);
    }
    item_groups_rehash(groups);
    return groups;
  };
  item_groups* groups = make(2, 9, 1);
  item_groups* variants[] = {make(2, 9, 1), make(2, 9, 2), make(2, 8, 1), make(1, 9, 1), make(2, 9, 65)};
  const bool same[] = {true, false, false, false, false};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(variants[k]->hash == groups->hash, same[k]) << k;
    item_groups_free(variants[k]);
  }
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
