#include "text/reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/memory.h"

namespace {

// A reader over the given bytes, either through a stream or over a string,
// so that every decoding case runs through both ways of holding input.
struct Source {
  FILE* file = nullptr;
  reader* r = nullptr;

  Source(const std::string& bytes, bool stream) {
    if (stream) {
      file = tmpfile();
      fwrite(bytes.data(), 1, bytes.size(), file);
      rewind(file);
      r = reader_new(file);
    } else {
      ustring* text = ustring_new();
      ustring_reserve(text, bytes.size());
      if (!bytes.empty()) std::memcpy(text->data, bytes.data(), bytes.size());
      text->size = bytes.size();
      r = reader_new_string(text);
      ustring_free(text);
    }
  }
  ~Source() {
    reader_free(r);
    if (file != nullptr) fclose(file);
  }
};

class ReaderBoth : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Reader, ReaderBoth, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Stream" : "String"; });

std::string utf8(const std::vector<codepoint>& points) {
  std::string bytes;
  for (codepoint cp : points) {
    unsigned char raw[4];
    bytes.append(reinterpret_cast<char*>(raw), utf8_encode(cp, raw));
  }
  return bytes;
}

TEST_P(ReaderBoth, LooksAheadAcrossSequencesOfEveryLength) {
  Source s("A\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80", GetParam());
  unsigned char end = 0;
  EXPECT_EQ(peek_next(s.r), 0x41u);
  EXPECT_EQ(peek_ahead(s.r), 0xF1u);
  EXPECT_EQ(peek_way_ahead(s.r, 2, &end), 0x20ACu);
  EXPECT_EQ(peek_way_ahead(s.r, 3, &end), 0x1F600u);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(peek_way_ahead(s.r, 4, &end), no_character);
  EXPECT_EQ(end, 1);
  for (codepoint expected : {0x41u, 0xF1u, 0x20ACu, 0x1F600u}) EXPECT_EQ(read_next(s.r), expected);
  EXPECT_EQ(read_next(s.r), no_character);
  EXPECT_TRUE(at_end(s.r));
}

// Well-formed lead bytes announcing a bad sequence cost the whole sequence.
TEST_P(ReaderBoth, RefusedSequencesAreConsumedWhole) {
  const char* refused[] = {"\xC0\x80",         "\xC1\xBF",     "\xE0\x80\x80", "\xED\xA0\x80", "\xED\xBF\xBF",
                           "\xF4\x90\x80\x80", "\xF0\x8F\xBF\xBF", "\xC3\x41", "\xE2\x28\xA1", "\xF0\x9F\x98\x41"};
  for (const char* bytes : refused) {
    Source s(std::string(bytes) + "z\n", GetParam());
    EXPECT_EQ(read_next(s.r), no_character) << bytes;
    EXPECT_EQ(read_next(s.r), codepoint('z')) << bytes;
    EXPECT_EQ(reader_line_number(s.r), 1u);
  }
}

// A stray continuation byte or an impossible lead stops the reader in place.
TEST_P(ReaderBoth, StrayBytesStopTheReader) {
  for (const char* bytes : {"\x80z", "\xBFz", "\xF8z", "\xFEz", "\xFFz"}) {
    Source s(bytes, GetParam());
    unsigned char end = 0;
    EXPECT_EQ(read_next(s.r), no_character);
    EXPECT_EQ(read_next(s.r), no_character);
    EXPECT_EQ(peek_way_ahead(s.r, 1, &end), no_character);
    EXPECT_EQ(end, 0);
    EXPECT_FALSE(at_end(s.r));
    EXPECT_TRUE(read_space(s.r));
    EXPECT_EQ(read_blanks(s.r), no_character);
  }
}

TEST_P(ReaderBoth, SequencesCutOffByTheEndAreNotConsumed) {
  for (const char* bytes : {"a\xE2", "a\xE2\x82", "a\xF0\x9F\x98", "a\xC3"}) {
    Source s(bytes, GetParam());
    unsigned char end = 0;
    EXPECT_EQ(peek_way_ahead(s.r, 1, &end), no_character);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(read_next(s.r), codepoint('a'));
    EXPECT_EQ(read_next(s.r), no_character);
    EXPECT_FALSE(at_end(s.r));
  }
}

TEST_P(ReaderBoth, LinesCountConsumedLineFeedsOnly) {
  Source s("a\r\nb\n\xC0\x8A" "c\rd", GetParam());
  peek_ahead(s.r);
  EXPECT_EQ(reader_line_number(s.r), 1u);
  while (!at_end(s.r)) read_next(s.r);
  EXPECT_EQ(reader_line_number(s.r), 3u);
}

// The decoder must hand back exactly the code points that made the bytes,
// both one by one and through look-ahead from any position.
TEST_P(ReaderBoth, DecodingAgreesWithTheEncodedText) {
  std::mt19937 random(11);
  const codepoint range_ends[] = {0x7F, 0x7FF, 0xFFFF, last_code_point};
  std::vector<codepoint> points(700);
  for (codepoint& cp : points) {
    do {
      cp = random() % (range_ends[random() % 4] + 1);
    } while (cp >= 0xD800 && cp <= 0xDFFF);
  }
  Source s(utf8(points), GetParam());
  for (size_t i = 0; i < points.size(); ++i) {
    size_t ahead = random() % 64;
    if (i + ahead < points.size()) {
      ASSERT_EQ(peek_way_ahead(s.r, ahead, nullptr), points[i + ahead]) << i;
    }
    ASSERT_EQ(read_next(s.r), points[i]) << i;
  }
  EXPECT_TRUE(at_end(s.r));
}

TEST(ReaderConstruct, EmptyOrMissingInputGivesNoStringReader) {
  ustring* empty = ustring_new();
  EXPECT_EQ(reader_new_string(empty), nullptr);
  EXPECT_EQ(reader_new_string(nullptr), nullptr);
  EXPECT_EQ(reader_new(nullptr), nullptr);
  reader_free(nullptr);
  ustring_free(empty);
}

TEST(ReaderConstruct, AllocationFailureLeaksNothing) {
  ustring* text = ustring_new();
  ustring_append_cstr(text, "abc");
  FILE* file = tmpfile();
  size_t live = memory_live_blocks();
  for (size_t k = 1; k <= 2; ++k) {
    memory_fail_at(k);
    EXPECT_EQ(reader_new(file), nullptr) << k;
    memory_fail_at(k);
    EXPECT_EQ(reader_new_string(text), nullptr) << k;
    EXPECT_EQ(memory_live_blocks(), live) << k;
  }
  fclose(file);
  ustring_free(text);
}

TEST(ReaderStream, EmptyStreamIsAtEnd) {
  Source s("", true);
  unsigned char end = 0;
  EXPECT_TRUE(at_end(s.r));
  EXPECT_EQ(read_next(s.r), no_character);
  EXPECT_EQ(peek_way_ahead(s.r, 0, &end), no_character);
  EXPECT_EQ(end, 1);
  EXPECT_TRUE(read_space(s.r));
  EXPECT_TRUE(read_space_to_newline(s.r));
  EXPECT_EQ(read_blanks(s.r), no_character);
  EXPECT_EQ(read_space_and_next(s.r), no_character);
}

TEST(ReaderStream, LookAheadIsBoundedByTheWindow) {
  Source s(std::string(300, 'a'), true);
  unsigned char end = 0;
  EXPECT_EQ(peek_way_ahead(s.r, 255, &end), codepoint('a'));
  EXPECT_EQ(end, 0);
  EXPECT_EQ(peek_way_ahead(s.r, 256, &end), no_character);
  EXPECT_EQ(end, 1);
  read_next(s.r);
  end = 0;
  EXPECT_EQ(peek_way_ahead(s.r, 255, &end), codepoint('a'));  // the window slides on refill
  EXPECT_EQ(end, 0);
}

TEST(ReaderStream, SequenceStraddlingAFullWindowSetsNoFlag) {
  std::string text = "a" + utf8(std::vector<codepoint>(100, 0x1F600));
  Source s(text, true);
  unsigned char end = 0;
  EXPECT_EQ(peek_way_ahead(s.r, 63, &end), 0x1F600u);
  EXPECT_EQ(peek_way_ahead(s.r, 64, &end), no_character);  // its last byte lies past the window
  EXPECT_EQ(end, 0);
}

struct SpaceCase {
  const char* input;
  bool result;
  codepoint next;
  size_t line;
  const char* message;
};

void check_skipping(bool (*skip)(reader*), const SpaceCase& c, bool stream) {
  Source s(c.input, stream);
  testing::internal::CaptureStderr();
  EXPECT_EQ(skip(s.r), c.result) << c.input;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.input;
  EXPECT_EQ(peek_next(s.r), c.next) << c.input;
  EXPECT_EQ(reader_line_number(s.r), c.line) << c.input;
}

constexpr const char* end_of_file = "Unexpected end of file in comment.\n";
constexpr const char* invalid_point = "Invalid Unicode code point in comment.\n";

TEST_P(ReaderBoth, ReadSpaceSkipsWhiteSpaceAndComments) {
  const SpaceCase cases[] = {
      {"  /*x*/ // y\nz", true, 'z', 2, ""},
      {"\t\v\f\r\n z", true, 'z', 2, ""},
      {"/*/z", true, 'z', 1, ""},
      {"/**/z", true, 'z', 1, ""},
      {"/* a\n*b**/\n// c\n\nz", true, 'z', 5, ""},
      {"/* /* */z", true, 'z', 1, ""},
      {"/ z", true, '/', 1, ""},
      {"/", true, '/', 1, ""},
      {"// to the end", true, no_character, 1, ""},
      {"\xC4\xA0z", true, 0x120, 1, ""},
      {"\xC4\x89z", true, 0x109, 1, ""},
      {"\xC4\xAF*z", true, 0x12F, 1, ""},
      {"/* never closed\n", false, no_character, 2, end_of_file},
      {"/*", false, no_character, 1, end_of_file},
      {"/* \xFF */z", false, no_character, 1, invalid_point},
      {"/* \xC0\x80 */z", false, ' ', 1, invalid_point},
      {"// \xC3\x41\nz", false, '\n', 1, ""},
  };
  for (const SpaceCase& c : cases) check_skipping(read_space, c, GetParam());
}

TEST_P(ReaderBoth, ReadSpaceToNewlineStopsBeforeTheLineFeed) {
  const SpaceCase cases[] = {
      {" \t\nz", true, '\n', 1, ""},
      {" // comment\nz", true, '\n', 1, ""},
      {"/* a\nb */ \nz", true, '\n', 2, ""},
      {"\r\n", true, '\n', 1, ""},
      {"  z", true, 'z', 1, ""},
      {"/* a", false, no_character, 1, end_of_file},
      {"// \xFF\nz", false, no_character, 1, ""},
  };
  for (const SpaceCase& c : cases) check_skipping(read_space_to_newline, c, GetParam());
}

TEST_P(ReaderBoth, BlanksStopAtAnythingElse) {
  Source s("\t  \n  /* c */", GetParam());
  EXPECT_EQ(read_blanks(s.r), codepoint('\n'));
  EXPECT_EQ(read_next(s.r), codepoint('\n'));
  EXPECT_EQ(read_blanks(s.r), codepoint('/'));
  EXPECT_EQ(read_next(s.r), codepoint('/'));
}

TEST_P(ReaderBoth, SpaceAndPeekOrNextIgnoreCommentFailures) {
  Source s("  /* x */ ab", GetParam());
  EXPECT_EQ(read_space_and_peek(s.r), codepoint('a'));
  EXPECT_EQ(read_space_and_next(s.r), codepoint('a'));
  EXPECT_EQ(read_space_and_next(s.r), codepoint('b'));
  Source bad("/* \xFF", GetParam());
  testing::internal::CaptureStderr();
  EXPECT_EQ(read_space_and_next(bad.r), no_character);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), invalid_point);
}

}  // namespace
