#include "text/ustring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "text/memory.h"

// The growth guard asks for an impossible block on purpose; under the
// address checker that must come back as null rather than abort the run.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

std::string bytes_of(const ustring* s) {
  return s->size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(s->data), s->size);
}

ustring* text_of(const std::vector<codepoint>& points) {
  ustring* s = ustring_new();
  for (codepoint cp : points) EXPECT_TRUE(ustring_push(s, cp));
  return s;
}

ustring* ascii(size_t count) {
  ustring* s = ustring_new();
  for (size_t i = 0; i < count; ++i) ustring_push(s, 'a' + i % 26);
  return s;
}

TEST(UstringEncoding, EachRangeEncodesToItsShortestForm) {
  struct Case {
    codepoint cp;
    std::string bytes;
  };
  const Case cases[] = {
      {0x00, std::string(1, '\0')}, {0x41, "A"},   {0x7F, "\x7F"},           {0x80, "\xC2\x80"},
      {0xF1, "\xC3\xB1"},           {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"}, {0x20AC, "\xE2\x82\xAC"},
      {0xD800, "\xED\xA0\x80"},     {0xFFFF, "\xEF\xBF\xBF"}, {0x10000, "\xF0\x90\x80\x80"},
      {0x1F600, "\xF0\x9F\x98\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const Case& c : cases) {
    ustring* s = text_of({c.cp});
    EXPECT_EQ(bytes_of(s), c.bytes) << std::hex << c.cp;
    unsigned char raw[4];
    EXPECT_EQ(utf8_encode(c.cp, raw), c.bytes.size());
    ustring_free(s);
  }
}

TEST(UstringEncoding, MixedTextKeepsSizeLengthAndCapacity) {
  ustring* s = text_of({0x41, 0xF1, 0x20AC, 0x1F600});
  EXPECT_EQ(bytes_of(s), "A\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(s->size, 10u);
  EXPECT_EQ(ustring_length(s), 4u);
  EXPECT_EQ(s->capacity, 16u);
  ustring_free(s);
}

// The string layer never prints: whoever read the character reports it.
TEST(UstringEncoding, CodePointsPastTheLastAreRefusedSilently) {
  for (codepoint cp : {codepoint{0x110000}, no_character}) {
    ustring* s = text_of({'x'});
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ustring_push(s, cp));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(bytes_of(s), "x");
    unsigned char raw[4];
    EXPECT_EQ(utf8_encode(cp, raw), 0u);
    ustring_free(s);
  }
}

// The byte-counting length and the decoding walk must agree with the list of
// code points that built the text.
TEST(UstringEncoding, LengthAndIndexAgreeWithThePushedCodePoints) {
  std::mt19937 random(7);
  const codepoint range_ends[] = {0x7F, 0x7FF, 0xFFFF, last_code_point};
  for (int round = 0; round < 300; ++round) {
    std::vector<codepoint> points(random() % 40);
    for (codepoint& cp : points) cp = random() % (range_ends[random() % 4] + 1);
    ustring* s = text_of(points);
    ASSERT_EQ(ustring_length(s), points.size());
    for (size_t i = 0; i < points.size(); ++i) ASSERT_EQ(ustring_at(s, i), points[i]);
    ASSERT_EQ(ustring_at(s, points.size()), no_character);
    ustring_free(s);
  }
}

TEST(UstringGrowth, CapacityDoublesFromSixteenAtEachBoundary) {
  const std::pair<size_t, size_t> bytes_to_capacity[] = {{1, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 64}};
  for (const auto& [bytes, capacity] : bytes_to_capacity) {
    ustring* s = ascii(bytes);
    EXPECT_EQ(s->capacity, capacity) << bytes << " bytes";
    ustring_free(s);
  }
}

TEST(UstringGrowth, ReserveRoundsUpAndRefusesImpossibleSizes) {
  ustring* s = ascii(3);
  EXPECT_TRUE(ustring_reserve(s, 100));
  EXPECT_EQ(s->capacity, 128u);
  unsigned char* data = s->data;
  EXPECT_FALSE(ustring_reserve(s, SIZE_MAX / 2 + 2));
  EXPECT_FALSE(ustring_reserve(s, SIZE_MAX));
  EXPECT_EQ(s->data, data);
  EXPECT_EQ(s->capacity, 128u);
  EXPECT_EQ(bytes_of(s), "abc");
  ustring_free(s);
}

// Each growing operation, with its allocation made to fail, reports false,
// leaves the text as it was and leaks nothing.
TEST(UstringGrowth, FailedGrowthLeavesTheStringUnchanged) {
  ustring* sixteen = ascii(16);
  ustring* other = ascii(1);
  size_t live = memory_live_blocks();
  memory_fail_at(1);
  EXPECT_FALSE(ustring_push(sixteen, 'q'));
  memory_fail_at(1);
  EXPECT_FALSE(ustring_append(sixteen, other));
  memory_fail_at(1);
  EXPECT_FALSE(ustring_append_cstr(sixteen, "q"));
  memory_fail_at(1);
  EXPECT_FALSE(ustring_pad_right(sixteen, 20));
  EXPECT_EQ(bytes_of(sixteen), "abcdefghijklmnop");
  EXPECT_EQ(sixteen->capacity, 16u);
  ustring* empty = ustring_new();
  memory_fail_at(1);
  EXPECT_FALSE(ustring_push(empty, 'q'));
  EXPECT_EQ(empty->data, nullptr);
  EXPECT_EQ(empty->size, 0u);
  ustring_free(empty);
  EXPECT_EQ(memory_live_blocks(), live);
  ustring_free(sixteen);
  ustring_free(other);
}

TEST(UstringGrowth, ConstructorsReturnNullWithoutLeaking) {
  ustring* s = ascii(17);
  size_t live = memory_live_blocks();
  for (size_t k = 1; k <= 2; ++k) {
    memory_fail_at(k);
    EXPECT_EQ(ustring_copy(s), nullptr) << k;
  }
  memory_fail_at(1);
  EXPECT_EQ(ustring_new(), nullptr);
  memory_fail_at(1);
  EXPECT_EQ(ustring_new_move(s), nullptr);
  size_t out = 99;
  memory_fail_at(1);
  EXPECT_EQ(ustring_copy_bytes(s, &out), nullptr);
  EXPECT_EQ(out, 99u);
  EXPECT_EQ(memory_live_blocks(), live);
  EXPECT_EQ(s->size, 17u);
  ustring_free(s);
}

TEST(UstringAppend, CstrPushesEachByteAsACodePoint) {
  ustring* s = ustring_new();
  EXPECT_TRUE(ustring_append_cstr(s, "\xE9"));
  EXPECT_TRUE(ustring_append_cstr(s, ""));
  EXPECT_EQ(bytes_of(s), "\xC3\xA9");
  EXPECT_FALSE(ustring_append_cstr(s, nullptr));
  EXPECT_FALSE(ustring_append_cstr(nullptr, "x"));
  ustring_free(s);
}

TEST(UstringAppend, AppendCopiesBytesAndDoublesItself) {
  ustring* s = text_of({'a', 0xF1});
  ustring* tail = text_of({'b'});
  ustring* empty = ustring_new();
  EXPECT_TRUE(ustring_append(s, tail));
  EXPECT_TRUE(ustring_append(s, empty));
  EXPECT_TRUE(ustring_append(s, s));
  EXPECT_EQ(bytes_of(s), "a\xC3\xB1" "ba\xC3\xB1" "b");
  EXPECT_FALSE(ustring_append(s, nullptr));
  EXPECT_FALSE(ustring_append(nullptr, s));
  ustring_free(s);
  ustring_free(tail);
  ustring_free(empty);
}

TEST(UstringPad, PadsByCodePointsNotBytes) {
  const std::pair<size_t, std::string> width_to_bytes[] = {
      {5, "a\xC3\xB1" "b  "}, {4, "a\xC3\xB1" "b "}, {3, "a\xC3\xB1" "b"}, {0, "a\xC3\xB1" "b"}};
  for (const auto& [width, bytes] : width_to_bytes) {
    ustring* s = text_of({'a', 0xF1, 'b'});
    EXPECT_TRUE(ustring_pad_right(s, width));
    EXPECT_EQ(bytes_of(s), bytes) << width;
    ustring_free(s);
  }
  EXPECT_FALSE(ustring_pad_right(nullptr, 3));
}

TEST(UstringAt, MissingIndexOrTextGivesNoCharacter) {
  ustring* s = text_of({'a', 0xF1, 'b'});
  EXPECT_EQ(ustring_at(s, 1), 0xF1u);
  EXPECT_EQ(ustring_at(s, 3), no_character);
  EXPECT_EQ(ustring_at(s, SIZE_MAX), no_character);
  ustring* empty = ustring_new();
  EXPECT_EQ(ustring_at(empty, 0), no_character);
  EXPECT_EQ(ustring_at(nullptr, 0), no_character);
  EXPECT_EQ(ustring_length(nullptr), 0u);
  ustring_free(s);
  ustring_free(empty);
}

TEST(UstringCompare, ByteOrderWithProperPrefixFirst) {
  const std::pair<const char*, const char*> less[] = {{"tok", "token"}, {"", "a"}, {"a", "b"}, {"z", "\xC3\xA9"}};
  for (const auto& [text, keyword] : less) {
    ustring* s = ustring_new();
    ustring_append_cstr(s, text);
    EXPECT_LT(ustring_compare(s, keyword), 0) << text;
    ustring_free(s);
  }
  ustring* s = ustring_new();
  EXPECT_EQ(ustring_compare(s, ""), 0);
  ustring_append_cstr(s, "token");
  EXPECT_EQ(ustring_compare(s, "token"), 0);
  ustring_push(s, 's');
  EXPECT_GT(ustring_compare(s, "token"), 0);
  ustring_free(s);
}

TEST(UstringEqual, SameBytesWhateverTheBuffers) {
  ustring* a = text_of({'x'});
  ustring* b = ustring_new();
  EXPECT_FALSE(ustring_equal(a, b));
  EXPECT_FALSE(ustring_equal(a, nullptr));
  ustring_clear(a);
  EXPECT_TRUE(ustring_equal(a, b));  // a keeps its buffer, b has none
  ustring_free(a);
  ustring_free(b);
}

TEST(UstringCopy, CapacityFollowsTheGrowthRule) {
  const std::pair<size_t, size_t> bytes_to_capacity[] = {{0, 0}, {1, 16}, {16, 16}, {17, 32}, {100, 128}};
  for (const auto& [bytes, capacity] : bytes_to_capacity) {
    ustring* s = ascii(bytes);
    ustring* copy = ustring_copy(s);
    EXPECT_EQ(copy->capacity, capacity) << bytes;
    EXPECT_TRUE(ustring_equal(copy, s));
    EXPECT_EQ(copy->data == nullptr, bytes == 0);
    if (bytes > 0) {
      EXPECT_NE(copy->data, s->data);
    }
    ustring_free(s);
    ustring_free(copy);
  }
  EXPECT_EQ(ustring_copy(nullptr), nullptr);
}

TEST(UstringCopy, CopyBytesIsExactAndRefusesEmptyText) {
  ustring* s = ascii(20);
  size_t size = 0;
  unsigned char* bytes = ustring_copy_bytes(s, &size);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), size), bytes_of(s));
  memory_release(bytes);
  EXPECT_EQ(ustring_copy_bytes(s, nullptr), nullptr);
  ustring_clear(s);
  size = 7;
  EXPECT_EQ(ustring_copy_bytes(s, &size), nullptr);
  EXPECT_EQ(size, 7u);
  ustring_free(s);
}

TEST(UstringMove, BufferChangesOwnerAndSourceStaysUsable) {
  ustring* source = ascii(20);
  ustring* destination = ascii(5);
  size_t live = memory_live_blocks();
  unsigned char* buffer = source->data;
  ustring_move(destination, source);
  EXPECT_EQ(memory_live_blocks(), live - 1);  // destination's own buffer was released
  EXPECT_EQ(destination->data, buffer);
  EXPECT_EQ(destination->size, 20u);
  EXPECT_EQ(source->data, nullptr);
  EXPECT_EQ(source->capacity, 0u);
  EXPECT_EQ(source->size, 0u);
  ustring_move(destination, destination);
  EXPECT_EQ(bytes_of(destination), "abcdefghijklmnopqrst");
  ustring* taken = ustring_new_move(destination);
  EXPECT_EQ(taken->data, buffer);
  EXPECT_EQ(destination->data, nullptr);
  EXPECT_TRUE(ustring_push(destination, 'z'));
  ustring_free(taken);
  ustring_free(destination);
  ustring_free(source);
}

TEST(UstringPrint, WritesTheBytesAndNothingForEmptyText) {
  FILE* stream = tmpfile();
  ustring* s = text_of({'a', 0x20AC});
  ustring* empty = ustring_new();
  EXPECT_EQ(ustring_print(s, stream), 4u);
  EXPECT_EQ(ustring_print(empty, stream), 0u);
  EXPECT_EQ(ustring_print(nullptr, stream), 0u);
  rewind(stream);
  char written[16] = {};
  EXPECT_EQ(fread(written, 1, sizeof written, stream), 4u);
  EXPECT_EQ(std::string(written), "a\xE2\x82\xAC");
  fclose(stream);
  ustring_free(s);
  ustring_free(empty);
}

}  // namespace
