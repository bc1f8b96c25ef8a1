#include "lex/expression.h"

#include <gtest/gtest.h>

#include <string>

#include "lex_test_support.h"

namespace {

struct expression_case {
  const char* input;
  const char* expression;  // "<null>" when reading fails
  const char* messages;
};

class ReadExpression : public testing::Test {
 protected:
  void SetUp() override {
    macros = macro_table_new();
    ustring* name = make_text("D");
    ustring* value = make_text("[0-9]");
    macro_add(macros, name, value);
    ustring_free(name);
    ustring_free(value);
  }
  void TearDown() override { macro_table_free(macros); }

  std::string read(const std::string& input, codepoint* next = nullptr) {
    text_reader in(input);
    ustring* text = read_expression(in.r, macros);
    if (next != nullptr) *next = peek_next(in.r);
    std::string result = str(text);
    ustring_free(text);
    return result;
  }

  macro_table* macros = nullptr;
};

TEST_F(ReadExpression, EndsOnlyAtBlanksNotFollowedByAMacroReference) {
  const expression_case cases[] = {
      {"abc ;", "abc", ""},
      {"a\"b c\"d ;", "a\"b c\"d", ""},
      {"[ \"]x ;", "[ \"]x", ""},
      {"\"[ \"x ;", "\"[ \"x", ""},
      {"a\\\"b c\" ;", "a\\\"b", ""},
      {"a\\ b ;", "a\\", ""},
      {"a\tb\nc ;", "a\tb\nc", ""},
      {"{D} {D} {x}", "{D} {D}", ""},
      {"a \t {D}x ;", "a \t {D}x", ""},
      {"a {U} ;", "a", ""},
      {"a {1} ;", "a", ""},
      {" x", "", ""},
      {"a   ", "a", ""},
      {"abc", "<null>", "Unexpected end of input in expression.\n"},
      {"a\"bc ;", "<null>", "Unexpected end of input in quoted expression.\n"},
      {"[a\\]", "<null>", "Unexpected end of input in bracket expression.\n"},
      {"a\xff ;", "<null>", "Invalid Unicode code point: U+FFFFFFFF\n"},
  };
  for (const expression_case& c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(read(c.input), c.expression) << c.input;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages) << c.input;
  }
}

TEST_F(ReadExpression, LeavesTheReaderAfterTheEndingBlanks) {
  codepoint next = 0;
  read("ab \t ;", &next);
  EXPECT_EQ(next, codepoint(';'));
}

TEST_F(ReadExpression, StreamWindowDoesNotHideAReferenceAfterManyBlanks) {
  // Far more blanks than a stream reader can look past in one window.
  std::string input = "x" + std::string(300, ' ') + "{D} ;";
  std::string expected = "x" + std::string(300, ' ') + "{D}";
  EXPECT_EQ(read(input), expected);
  FILE* stream = tmpfile();
  ASSERT_NE(stream, nullptr);
  fputs(input.c_str(), stream);
  rewind(stream);
  reader* r = reader_new(stream);
  ustring* text = read_expression(r, macros);
  EXPECT_EQ(str(text), expected);
  EXPECT_EQ(peek_next(r), codepoint(';'));
  ustring_free(text);
  reader_free(r);
  fclose(stream);
}

TEST_F(ReadExpression, EndTestLooksAheadWithoutConsuming) {
  const std::pair<const char*, bool> cases[] = {
      {" \t{D}", false}, {" {E}", true}, {" ", true}, {"  x", true}, {"{D}", false},
  };
  for (const auto& [input, expected] : cases) {
    text_reader in(input);
    EXPECT_EQ(at_expression_end(in.r, macros), expected) << input;
    EXPECT_EQ(peek_next(in.r), codepoint(input[0]));
  }
}

}  // namespace
