#include "text/reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/captured_diagnostics.h"
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

// A stream that gives "ab" and then fails; it counts the reads made after the failure.
struct failing_stream {
  int reads = 0;
  static ssize_t read(void* cookie, char* buffer, size_t size) {
    int n = ++static_cast<failing_stream*>(cookie)->reads;
    if (n > 1 || size < 2) return -1;
    std::memcpy(buffer, "ab", 2);
    return 2;
  }
};

TEST(ReaderStream, AReadErrorEndsTheInputAndIsNotTakenForTheEnd) {
  Source complete("ab", true);
  EXPECT_EQ(read_next(complete.r), 'a');
  EXPECT_EQ(read_next(complete.r), 'b');
  EXPECT_TRUE(at_end(complete.r));
  EXPECT_FALSE(reader_failed(complete.r));

  failing_stream cookie;
  FILE* file = fopencookie(&cookie, "r", cookie_io_functions_t{failing_stream::read, nullptr, nullptr, nullptr});
  reader* r = reader_new(file);
  EXPECT_EQ(read_next(r), 'a');
  EXPECT_EQ(read_next(r), 'b');
  EXPECT_TRUE(at_end(r));
  EXPECT_TRUE(reader_failed(r));
  int reads = cookie.reads;
  EXPECT_EQ(read_next(r), no_character);  // the failed stream is not read again
  EXPECT_EQ(cookie.reads, reads);
  reader_free(r);
  fclose(file);
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

// What a skip over input gives: its result, the next character, the place
// where it stopped and the lines it reported.
struct SpaceCase {
  const char* input;
  bool result;
  codepoint next;
  size_t line;
  size_t column;
  const char* message;
};

void check_skipping(bool (*skip)(reader*), const SpaceCase& c, bool stream) {
  Source s(c.input, stream);
  captured_diagnostics captured;
  reader_report_to(s.r, &captured.sink);
  EXPECT_EQ(skip(s.r), c.result) << c.input;
  EXPECT_EQ(captured.text(), c.message) << c.input;
  EXPECT_EQ(peek_next(s.r), c.next) << c.input;
  EXPECT_EQ(reader_line_number(s.r), c.line) << c.input;
  EXPECT_EQ(reader_position(s.r).line, c.line) << c.input;
  EXPECT_EQ(reader_position(s.r).column, c.column) << c.input;
}

TEST_P(ReaderBoth, ReadSpaceSkipsWhiteSpaceAndComments) {
  const SpaceCase cases[] = {
      {"  /*x*/ // y\nz", true, 'z', 2, 1, ""},
      {"\t\v\f\r\n z", true, 'z', 2, 2, ""},
      {"/*/z", true, 'z', 1, 4, ""},
      {"/**/z", true, 'z', 1, 5, ""},
      {"/* a\n*b**/\n// c\n\nz", true, 'z', 5, 1, ""},
      {"/* /* */z", true, 'z', 1, 9, ""},
      {"/ z", true, '/', 1, 1, ""},
      {"/", true, '/', 1, 1, ""},
      {"// to the end", true, no_character, 1, 14, ""},
      {"\xC4\xA0z", true, 0x120, 1, 1, ""},
      {"\xC4\x89z", true, 0x109, 1, 1, ""},
      {"\xC4\xAF*z", true, 0x12F, 1, 1, ""},
      {"/* never closed\n", false, no_character, 2, 1, "g.y:2:1: Unexpected end of file in comment.\n"},
      {"/*", false, no_character, 1, 3, "g.y:1:3: Unexpected end of file in comment.\n"},
      // A stray byte stops the reader in place; a refused sequence is
      // consumed whole, as one character, and reading goes on after it.
      {"/* \xFF */z", false, no_character, 1, 4, "g.y:1:4: Invalid Unicode code point in comment.\n"},
      {"/* \xC0\x80 */z", false, ' ', 1, 5, "g.y:1:4: Invalid Unicode code point in comment.\n"},
      {"/* \xC3\x41 */z", false, ' ', 1, 5, "g.y:1:4: Invalid Unicode code point in comment.\n"},
      {"/*\n\xE2\x82 */z", false, '*', 2, 2, "g.y:2:1: Invalid Unicode code point in comment.\n"},
      {"/* \x80\x80 */z", false, no_character, 1, 4, "g.y:1:4: Invalid Unicode code point in comment.\n"},
      {"// \xC3\x41\nz", false, '\n', 1, 5, "g.y:1:4: Invalid Unicode code point in comment.\n"},
      {"// \xF8\nz", false, no_character, 1, 4, "g.y:1:4: Invalid Unicode code point in comment.\n"},
  };
  for (const SpaceCase& c : cases) check_skipping(read_space, c, GetParam());
}

TEST_P(ReaderBoth, ReadSpaceToNewlineStopsBeforeTheLineFeed) {
  const SpaceCase cases[] = {
      {" \t\nz", true, '\n', 1, 3, ""},
      {" // comment\nz", true, '\n', 1, 12, ""},
      {"/* a\nb */ \nz", true, '\n', 2, 6, ""},
      {"\r\n", true, '\n', 1, 2, ""},
      {"  z", true, 'z', 1, 3, ""},
      {"/* a", false, no_character, 1, 5, "g.y:1:5: Unexpected end of file in comment.\n"},
      {"// \xFF\nz", false, no_character, 1, 4, "g.y:1:4: Invalid Unicode code point in comment.\n"},
  };
  for (const SpaceCase& c : cases) check_skipping(read_space_to_newline, c, GetParam());
}

// Columns count code points, a refused sequence as one; a line feed starts column 1 again.
TEST_P(ReaderBoth, PositionCountsCodePointsFromOne) {
  Source s("a\xC3\xB1\xE2\x82\xAC\t\xF0\x9F\x98\x80\xC3\x41" "b\r\nc", GetParam());
  const size_t columns[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (size_t column : columns) {
    EXPECT_EQ(reader_position(s.r).line, 1u);
    EXPECT_EQ(reader_position(s.r).column, column);
    read_next(s.r);
  }
  EXPECT_EQ(reader_position(s.r).line, 2u);
  EXPECT_EQ(reader_position(s.r).column, 1u);
  EXPECT_EQ(read_next(s.r), codepoint('c'));
  EXPECT_EQ(reader_position(s.r).column, 2u);
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
  captured_diagnostics captured;
  reader_report_to(bad.r, &captured.sink);
  EXPECT_EQ(read_space_and_next(bad.r), no_character);
  EXPECT_EQ(captured.text(), "g.y:1:4: Invalid Unicode code point in comment.\n");
}

}  // namespace
