#include "text/memory.h"

#include <gtest/gtest.h>

namespace {

TEST(MemoryFailure, OnlyTheKthAttemptFails) {
  memory_fail_at(2);
  void* first = memory_alloc(4);
  void* second = memory_alloc_zero(1, 4);
  void* third = memory_resize(nullptr, 4);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  memory_fail_at(1);
  memory_fail_at(0);  // disarmed before it fires
  void* fourth = memory_alloc(4);
  EXPECT_NE(fourth, nullptr);
  for (void* block : {first, third, fourth}) memory_release(block);
}

TEST(MemoryFailure, AttemptsCountFailedOnesToo) {
  size_t before = memory_allocation_count();
  memory_fail_at(1);
  EXPECT_EQ(memory_alloc(1), nullptr);
  memory_release(memory_alloc(1));
  EXPECT_EQ(memory_allocation_count(), before + 2);
}

TEST(MemoryLive, ResizingKeepsTheCountAndReleasingLowersIt) {
  size_t live = memory_live_blocks();
  void* block = memory_resize(nullptr, 8);
  EXPECT_EQ(memory_live_blocks(), live + 1);
  block = memory_resize(block, 4096);
  EXPECT_EQ(memory_live_blocks(), live + 1);
  memory_fail_at(1);
  EXPECT_EQ(memory_resize(block, 8192), nullptr);  // the old block stays with the caller
  EXPECT_EQ(memory_live_blocks(), live + 1);
  memory_release(block);
  memory_release(nullptr);
  EXPECT_EQ(memory_live_blocks(), live);
}

}  // namespace
