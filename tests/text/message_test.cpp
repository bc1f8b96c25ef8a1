#include "text/message.h"

#include <gtest/gtest.h>

#include <string>

#include "support/captured_diagnostics.h"

namespace {

std::string quoted(codepoint c, reader* r) {
  char out[message_char_size];
  message_quote_char(c, r, out);
  return out;
}

reader* reader_over(const char* bytes) {
  ustring* text = ustring_new();
  ustring_reserve(text, 8);
  for (const char* p = bytes; *p != '\0'; ++p) text->data[text->size++] = static_cast<unsigned char>(*p);
  reader* r = reader_new_string(text);
  ustring_free(text);
  return r;
}

TEST(MessageQuoteChar, PrintableCharactersAppearAsTheirUtf8Encoding) {
  const std::pair<codepoint, const char*> cases[] = {
      {'=', "="}, {' ', " "}, {'~', "~"}, {'\\', "\\"}, {0xF1, "\xC3\xB1"}, {0xA0, "\xC2\xA0"},
      {0x20AC, "\xE2\x82\xAC"}, {0x202F, "\xE2\x80\xAF"}, {0x1F600, "\xF0\x9F\x98\x80"},
  };
  for (const auto& [c, expected] : cases) EXPECT_EQ(quoted(c, nullptr), expected) << std::hex << c;
}

// A grammar must not be able to drive the terminal that shows its messages.
TEST(MessageQuoteChar, ControlAndLayoutCharactersAreEscaped) {
  const std::pair<codepoint, const char*> cases[] = {
      {0x00, "\\x00"},   {0x07, "\\x07"},   {'\t', "\\t"},     {'\n', "\\n"},     {'\v', "\\v"},
      {'\f', "\\f"},     {'\r', "\\r"},     {0x1B, "\\x1B"},   {0x1F, "\\x1F"},   {0x7F, "\\x7F"},
      {0x80, "\\u0080"}, {0x9B, "\\u009B"}, {0x9F, "\\u009F"}, {0x061C, "\\u061C"}, {0x200E, "\\u200E"},
      {0x200F, "\\u200F"}, {0x2028, "\\u2028"}, {0x2029, "\\u2029"}, {0x202A, "\\u202A"},
      {0x202E, "\\u202E"}, {0x2066, "\\u2066"}, {0x2069, "\\u2069"},
  };
  for (const auto& [c, expected] : cases) EXPECT_EQ(quoted(c, nullptr), expected) << std::hex << c;
}

TEST(MessageQuoteChar, NoCharacterTellsEndFromMalformedInput) {
  reader* finished = reader_over("a");
  read_next(finished);
  EXPECT_EQ(quoted(read_next(finished), finished), "end of input");
  reader* malformed = reader_over("\xFE");
  EXPECT_EQ(quoted(read_next(malformed), malformed), "invalid UTF-8");
  EXPECT_EQ(quoted(no_character, nullptr), "end of input");
  EXPECT_EQ(quoted(0xD800, malformed), "invalid UTF-8");
  reader_free(finished);
  reader_free(malformed);
}

TEST(MessageWithChar, ReportsTheQuotedCharacterWhereReadingStopped) {
  reader* r = reader_over("ab\n\x1B");
  captured_diagnostics captured("calc.y");
  reader_report_to(r, &captured.sink);
  for (int i = 0; i < 3; ++i) read_next(r);
  message_with_char("Unexpected '%c' in header section.", peek_next(r), r);
  message_with_char("Failed to read grammar header.", no_character, r);
  EXPECT_EQ(captured.text(), "calc.y:2:1: Unexpected '\\x1B' in header section.\nFailed to read grammar header.\n");
  reader_free(r);
}

}  // namespace
