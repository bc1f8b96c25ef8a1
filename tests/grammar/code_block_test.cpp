#include "grammar/code_block.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "text/memory.h"

namespace {

// A string of arbitrary bytes, malformed UTF-8 included, placed directly in the buffer.
ustring* bytes_of(const std::string& bytes) {
  ustring* u = ustring_new();
  if (!bytes.empty()) {
    ustring_reserve(u, bytes.size());
    std::memcpy(u->data, bytes.data(), bytes.size());
    u->size = bytes.size();
  }
  return u;
}

reader* reader_over(const std::string& bytes) {
  ustring* text = bytes_of(bytes);
  reader* r = reader_new_string(text);
  ustring_free(text);
  return r;
}

std::string as_string(const ustring* s) {
  if (s == nullptr || s->size == 0) return "";
  return std::string(reinterpret_cast<const char*>(s->data), s->size);
}

// Whatever the reader has not consumed yet (valid UTF-8 only).
std::string rest_of(reader* r) {
  ustring* rest = read_user_code(r);
  std::string out = as_string(rest);
  ustring_free(rest);
  return out;
}

// The outcome of one reading: the text (absent on failure), the messages and the unread input.
struct outcome {
  bool ok;
  std::string text;
  std::string messages;
  std::string rest;
};

template <typename Read>
outcome run(const std::string& input, Read read) {
  reader* r = reader_over(input);
  size_t live = memory_live_blocks();
  testing::internal::CaptureStderr();
  ustring* text = read(r);
  outcome o{text != nullptr, as_string(text), testing::internal::GetCapturedStderr(), ""};
  ustring_free(text);
  EXPECT_EQ(memory_live_blocks(), live) << "leak reading: " << input;
  if (o.ok) o.rest = rest_of(r);
  reader_free(r);
  return o;
}

outcome action(const std::string& input) { return run(input, read_action); }
outcome prolog(const std::string& input) { return run(input, read_prolog); }

struct success_case {
  const char* input;
  const char* text;
  const char* rest;
};

TEST(ReadAction, ReadsWholeBlocksAndStopsAfterTheMatchingBrace) {
  const std::vector<success_case> cases = {
      {"{ }", "{ }", ""},
      {"{}", "{}", ""},
      {"  /* lead */ // line\n\t{x} tail", "{x}", " tail"},
      {"{ if (a) { b(); } } rest", "{ if (a) { b(); } }", " rest"},
      {"{{}{{}}}}", "{{}{{}}}", "}"},
      {"{ s = \"}\"; }", "{ s = \"}\"; }", ""},
      {"{ c = '}'; }x", "{ c = '}'; }", "x"},
      {"{ c = '{'; }", "{ c = '{'; }", ""},
      {"{ s = \"{\"; }", "{ s = \"{\"; }", ""},
      {"{ s = \"a\\\"}\"; }", "{ s = \"a\\\"}\"; }", ""},
      {"{ s = \"\\\\\"; }", "{ s = \"\\\\\"; }", ""},
      {"{ s = \"\\\\\\\"}\"; }", "{ s = \"\\\\\\\"}\"; }", ""},
      {"{ c = '\\n'; }", "{ c = '\\n'; }", ""},
      {"{ c = '\\''; }", "{ c = '\\''; }", ""},
      {"{ c = '\"'; }", "{ c = '\"'; }", ""},
      {"{ s = \"'\"; }", "{ s = \"'\"; }", ""},
      {"{ s = \"line\nnext\"; }", "{ s = \"line\nnext\"; }", ""},
      {"{ /* } */ }", "{ /* }", " */ }"},
      {"{ /* \" */ x = \"; }\" }", "{ /* \" */ x = \"; }", "\" }"},
      {"{ u = \"\xC3\xA9\xE2\x82\xAC\"; c = '\xF0\x9F\x98\x80'; }",
       "{ u = \"\xC3\xA9\xE2\x82\xAC\"; c = '\xF0\x9F\x98\x80'; }", ""},
  };
  for (const success_case& c : cases) {
    outcome o = action(c.input);
    EXPECT_TRUE(o.ok) << c.input;
    EXPECT_EQ(o.text, c.text) << c.input;
    EXPECT_EQ(o.messages, "") << c.input;
    EXPECT_EQ(o.rest, c.rest) << c.input;
  }
}

struct failure_case {
  const char* input;
  const char* messages;
};

TEST(ReadAction, FailsWithOneMessageForEachKindOfBrokenBlock) {
  const std::vector<failure_case> cases = {
      {"x", "Missing '{' to start compound statement.\n"},
      {"  /* only a comment */ ", "Missing '{' to start compound statement.\n"},
      {"} {", "Missing '{' to start compound statement.\n"},
      {"{", "error: unexpected end of input.\n"},
      {"{ a; { b; }", "error: unexpected end of input.\n"},
      {"{ s = \"abc; }", "Unexpected end of input in string.\n"},
      {"{ s = \"abc\\\"", "Unexpected end of input in string.\n"},
      {"{ c = '", "Unexpected end of input in character.\n"},
      {"{ c = '\\", "Unexpected end of input in character.\n"},
      {"{ c = 'a", "Missing ''' to end character.\n"},
      {"{ c = '\\x41'; }", "Missing ''' to end character.\n"},
      {"{ c = 'ab'; }", "Missing ''' to end character.\n"},
      {"{ /* don't */ }", "Missing ''' to end character.\n"},
      {"{ { { c = 'xy'; } } }", "Missing ''' to end character.\n"},
      {"{ /* \" */ x = 1; }", "Unexpected end of input in string.\n"},
  };
  for (const failure_case& c : cases) {
    outcome o = action(c.input);
    EXPECT_FALSE(o.ok) << c.input;
    EXPECT_EQ(o.messages, c.messages) << c.input;
  }
}

TEST(ReadAction, MalformedUtf8FailsWithTheCodePointMessageOnly) {
  const char* inputs[] = {
      "{ a = 1; \xC3\x41 }",       // bad continuation byte
      "{ \x80 }",                  // stray continuation byte
      "{ { \xFE } }",              // byte that never leads
      "{ s = \"\xED\xA0\x80\"; }",  // surrogate inside a string
      "{ c = '\xC0\x80'; }",        // overlong form inside a character
      "{ c = '\\\xFF'; }",          // escaped invalid byte
      "{ a = 1; \xE2",             // sequence cut off by the end
  };
  for (const char* input : inputs) {
    outcome o = action(input);
    EXPECT_FALSE(o.ok) << input;
    EXPECT_EQ(o.messages, "Invalid Unicode code point: U+FFFFFFFF\n") << input;
  }
}

TEST(ReadAction, DeepNestingIsReadWithoutExhaustingTheStack) {
  constexpr size_t depth = 100000;
  std::string block = std::string(depth, '{') + "x" + std::string(depth, '}');
  outcome o = action(block + " tail");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.text, block);
  EXPECT_EQ(o.rest, " tail");

  outcome open = action(std::string(depth, '{') + std::string(depth - 1, '}'));
  EXPECT_FALSE(open.ok);
  EXPECT_EQ(open.messages, "error: unexpected end of input.\n");
}

TEST(ReadAction, LargeBlockIsReadWhole) {
  const std::string line = "  if (s[i] == '}') { t = \"{ \\\" }\"; /* { } */ }\n";
  std::string block = "{\n";
  while (block.size() < 5 * 1024 * 1024) block += line;
  block += "}";
  outcome o = action(block + "\n%%");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.text.size(), block.size());
  EXPECT_TRUE(o.text == block);
  EXPECT_EQ(o.rest, "\n%%");
}

TEST(ReadAction, AllocationFailureLeaksNothing) {
  const std::string input = "{ s = \"a string longer than sixteen bytes\"; c = 'x'; { } }";
  for (size_t k = 1;; ++k) {
    reader* r = reader_over(input);
    size_t live = memory_live_blocks();
    memory_fail_at(k);
    ustring* text = read_action(r);
    memory_fail_at(0);
    EXPECT_EQ(memory_live_blocks(), live + (text != nullptr ? 2 : 0)) << "failing allocation " << k;
    reader_free(r);
    if (text != nullptr) {
      EXPECT_EQ(as_string(text), input);
      ustring_free(text);
      break;
    }
  }
}

TEST(ReadActionParts, AppendToTheGivenText) {
  reader* r = reader_over("\"a\\\"b\" 'c' '\\t'{ \"}\" } rest");
  ustring* text = bytes_of("pre:");
  EXPECT_TRUE(read_action_string(r, text));
  EXPECT_EQ(read_next(r), static_cast<codepoint>(' '));
  EXPECT_TRUE(read_action_quote(r, text));
  EXPECT_EQ(read_next(r), static_cast<codepoint>(' '));
  EXPECT_TRUE(read_action_quote(r, text));
  EXPECT_TRUE(read_action_brace(r, text));
  EXPECT_EQ(as_string(text), "pre:\"a\\\"b\"'c''\\t'{ \"}\" }");
  EXPECT_EQ(rest_of(r), " rest");
  ustring_free(text);
  reader_free(r);
}

TEST(ReadProlog, ReturnsTheTextBetweenTheMarkers) {
  const std::vector<success_case> cases = {
      {"%{\nint x;\n%}", "\nint x;\n", ""},
      {"%{%}", "", ""},
      {"%{ a %}\n%%", " a ", "\n%%"},
      {"%{ % } %%} x", " % } %", " x"},
      {"%{ s = \"%}\"; %}", " s = \"", "\"; %}"},
      {"%{ /* %} */", " /* ", " */"},
      {"%{ '{' \"unterminated \xC3\xA9 %}", " '{' \"unterminated \xC3\xA9 ", ""},
  };
  for (const success_case& c : cases) {
    outcome o = prolog(c.input);
    EXPECT_TRUE(o.ok) << c.input;
    EXPECT_EQ(o.text, c.text) << c.input;
    EXPECT_EQ(o.messages, "") << c.input;
    EXPECT_EQ(o.rest, c.rest) << c.input;
  }
}

TEST(ReadProlog, Failures) {
  const std::vector<failure_case> cases = {
      {"%{ int x;", "Unexpected end of file in prolog.\n"},
      {"%{ int x; %", "Unexpected end of file in prolog.\n"},
      {"%{", "Unexpected end of file in prolog.\n"},
      {"%%", ""},
      {"{%", ""},
      {"%", ""},
      {"%{ bad \xC3\x41 %}", "Invalid Unicode code point: U+FFFFFFFF\n"},
      {"%{ cut \xF0\x9F", "Invalid Unicode code point: U+FFFFFFFF\n"},
  };
  for (const failure_case& c : cases) {
    outcome o = prolog(c.input);
    EXPECT_FALSE(o.ok) << c.input;
    EXPECT_EQ(o.messages, c.messages) << c.input;
  }
}

TEST(ReadProlog, EndMarkerStraddlingTheStreamWindow) {
  // The closing "%}" is placed so that its two characters fall on either side
  // of the first 256-byte read from the stream.
  std::string body(reader_window - 3, 'a');
  std::string input = "%{" + body + "%}tail";
  FILE* stream = tmpfile();
  ASSERT_NE(stream, nullptr);
  std::fwrite(input.data(), 1, input.size(), stream);
  std::rewind(stream);
  reader* r = reader_new(stream);
  ustring* text = read_prolog(r);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(as_string(text), body);
  EXPECT_EQ(rest_of(r), "tail");
  ustring_free(text);
  reader_free(r);
  std::fclose(stream);
}

TEST(ReadUserCode, CopiesTheRestVerbatim) {
  outcome o = run("\nint main(void) { return yyparse(); }\n/* \xE2\x82\xAC */ '", read_user_code);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.text, "\nint main(void) { return yyparse(); }\n/* \xE2\x82\xAC */ '");
  EXPECT_EQ(o.messages, "");

  outcome bad = run("int a;\n\x80", read_user_code);
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.messages, "Invalid Unicode code point: U+FFFFFFFF\n");
}

TEST(ReadUserCode, AtTheEndGivesAnEmptyText) {
  FILE* stream = tmpfile();
  ASSERT_NE(stream, nullptr);
  reader* r = reader_new(stream);
  ustring* text = read_user_code(r);
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(ustring_is_empty(text));
  ustring_free(text);
  reader_free(r);
  std::fclose(stream);
}

}  // namespace
