#include "text/array_block.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// A record of parallel arrays of differently aligned types, as the construction keeps them.
struct parallel_arrays {
  bool* flags;
  uint64_t* words;
  char* bytes;
  size_t* numbers;
};

void* make(parallel_arrays* r, size_t flags, size_t words, size_t bytes, size_t numbers) {
  return array_block_new([=](array_block* b) {
    array_block_take(b, &r->flags, flags);
    array_block_take(b, &r->words, words);
    array_block_take(b, &r->bytes, bytes);
    array_block_take(b, &r->numbers, numbers);
  });
}

TEST(ArrayBlocks, ArraysAreAlignedZeroedAndApartInOneBlock) {
  parallel_arrays r{};
  size_t live = memory_live_blocks();
  void* block = make(&r, 3, 5, 0, 2);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(memory_live_blocks(), live + 1);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r.words) % alignof(uint64_t), 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r.numbers) % alignof(size_t), 0u);
  EXPECT_GE(reinterpret_cast<char*>(r.words), reinterpret_cast<char*>(r.flags + 3));
  EXPECT_GE(r.bytes, reinterpret_cast<char*>(r.words + 5));
  EXPECT_GE(reinterpret_cast<char*>(r.numbers), r.bytes + 1);  // an empty array still gets an element
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(r.words[i], 0u);
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(r.numbers[i], 0u);
  memory_release(block);
  EXPECT_EQ(memory_live_blocks(), live);
}

TEST(ArrayBlocks, OverflowAndExhaustionGiveNullAndSetNoArray) {
  parallel_arrays r{};
  EXPECT_EQ(make(&r, 1, SIZE_MAX / 4, 1, 1), nullptr);
  EXPECT_EQ(make(&r, SIZE_MAX - 2, 1, 1, 1), nullptr);
  memory_fail_at(1);
  EXPECT_EQ(make(&r, 1, 1, 1, 1), nullptr);
  memory_fail_at(0);
  EXPECT_EQ(r.flags, nullptr);
  EXPECT_EQ(r.words, nullptr);
}

}  // namespace
