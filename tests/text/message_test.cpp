#include "text/message.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string message_for(codepoint c, reader* r) {
  testing::internal::CaptureStderr();
  message_with_char("Unexpected '%c' in rule.\n", c, r);
  return testing::internal::GetCapturedStderr();
}

reader* reader_over(const char* bytes) {
  ustring* text = ustring_new();
  ustring_reserve(text, 8);
  for (const char* p = bytes; *p != '\0'; ++p) text->data[text->size++] = static_cast<unsigned char>(*p);
  reader* r = reader_new_string(text);
  ustring_free(text);
  return r;
}

TEST(MessageWithChar, CharactersAppearAsTheirUtf8Encoding) {
  const std::pair<codepoint, const char*> cases[] = {
      {'=', "Unexpected '=' in rule.\n"},
      {0xF1, "Unexpected '\xC3\xB1' in rule.\n"},
      {0x20AC, "Unexpected '\xE2\x82\xAC' in rule.\n"},
      {0x1F600, "Unexpected '\xF0\x9F\x98\x80' in rule.\n"},
  };
  for (const auto& [c, expected] : cases) EXPECT_EQ(message_for(c, nullptr), expected);
}

TEST(MessageWithChar, NoCharacterTellsEndFromMalformedInput) {
  reader* finished = reader_over("a");
  read_next(finished);
  EXPECT_EQ(message_for(read_next(finished), finished), "Unexpected 'end of input' in rule.\n");
  reader* malformed = reader_over("\xFE");
  EXPECT_EQ(message_for(read_next(malformed), malformed), "Unexpected 'invalid UTF-8' in rule.\n");
  EXPECT_EQ(message_for(no_character, nullptr), "Unexpected 'end of input' in rule.\n");
  EXPECT_EQ(message_for(0xD800, malformed), "Unexpected 'invalid UTF-8' in rule.\n");
  reader_free(finished);
  reader_free(malformed);
}

}  // namespace
