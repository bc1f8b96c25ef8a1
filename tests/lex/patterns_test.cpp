#include "lex/patterns.h"

#include <gtest/gtest.h>

#include <string>

#include "lex_test_support.h"
#include "text/memory.h"

namespace {

const char* const calculator_scanner =
    "/* A scanner for a small calculator language. */\n"
    "%{\n#include \"calc.tab.h\"\n%}\n"
    "%x COMMENT\n"
    "%option prefix=\"calc\"\n"
    "%option fast\n"
    "DIGIT   [0-9]\n"
    "LETTER  [a-zA-Z_]\n"
    "NUM     {DIGIT}+(\".\"{DIGIT}+)?\n"
    "ID      {LETTER}({LETTER}|{DIGIT})*\n"
    "%%\n"
    "{NUM} { value = atof(text); return NUMBER; }\n"
    "{ID} { return IDENT; }\n"
    "\"/*\" { enter(COMMENT); }\n"
    "<COMMENT>\"*/\" { enter(INITIAL); }\n"
    "<COMMENT>[^*\\n]+ ;\n"
    "[ \\t\\n]+ ;\n"
    "<<EOF>> { return 0; }\n"
    ". { return text[0]; }\n"
    "%%\n"
    "int calc_main(void) { return 0; }\n";

struct read_result {
  patterns* p;
  bool ok;
  std::string messages;
};

read_result read_text(const std::string& input) {
  text_reader in(input);
  patterns* p = patterns_new();
  testing::internal::CaptureStderr();
  bool ok = in.r != nullptr && p != nullptr && patterns_read(p, in.r);
  return {p, ok, testing::internal::GetCapturedStderr()};
}

// One line per rule: start condition, expression, action, line and id.
std::string describe(const pattern* rule) {
  return std::string(rule->start == nullptr ? "-" : str(rule->start->name)) + " | " + str(rule->expression) +
         " | " + str(rule->action) + " | " + std::to_string(rule->line) + " | " + std::to_string(rule->id);
}

TEST(PatternsRead, ReadsACompleteScanner) {
  read_result result = read_text(calculator_scanner);
  patterns* p = result.p;
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.messages, "");
  EXPECT_EQ(str(p->prolog), "\n#include \"calc.tab.h\"\n");
  EXPECT_EQ(str(p->user_code), "int calc_main(void) { return 0; }\n");
  EXPECT_EQ(str(p->directives->prefix), "calc");
  ASSERT_EQ(p->starts->count, 2u);
  EXPECT_EQ(str(p->starts->items[0]->name), "INITIAL");
  EXPECT_EQ(str(p->starts->items[1]->name), "COMMENT");
  ASSERT_EQ(p->macros->count, 4u);
  EXPECT_EQ(str(p->macros->items[2]->name), "NUM");
  EXPECT_EQ(str(p->macros->items[2]->value), "{DIGIT}+(\".\"{DIGIT}+)?");
  const char* const rules[] = {
      "- | [0-9]+(\".\"[0-9]+)? | { value = atof(text); return NUMBER; } | 13 | 0",
      "- | [a-zA-Z_]([a-zA-Z_]|[0-9])* | { return IDENT; } | 14 | 1",
      "- | \"/*\" | { enter(COMMENT); } | 15 | 2",
      "COMMENT | \"*/\" | { enter(INITIAL); } | 16 | 3",
      "COMMENT | [^*\\n]+ | <null> | 17 | 4",
      "- | [ \\t\\n]+ | <null> | 18 | 5",
      "- | . | { return text[0]; } | 20 | 6",
  };
  ASSERT_EQ(p->count, std::size(rules));
  for (size_t i = 0; i < p->count; ++i) EXPECT_EQ(describe(p->items[i]), rules[i]);
  EXPECT_EQ(p->items[3]->start, p->starts->items[1]);
  ASSERT_NE(p->eof_pattern, nullptr);
  EXPECT_EQ(describe(p->eof_pattern), "- | <<EOF>> | { return 0; } | 19 | 6");
  patterns_free(p);
}

TEST(PatternsRead, ReadsADescriptionOfRealisticSize) {
  constexpr size_t size = 40;
  std::string input = "M0 a\n";
  for (size_t i = 1; i < size; ++i) input += "M" + std::to_string(i) + " {M" + std::to_string(i - 1) + "}b\n";
  input += "%%\n";
  for (size_t i = 0; i < size; ++i) input += "{M" + std::to_string(i) + "} { return " + std::to_string(i) + "; }\n";
  read_result result = read_text(input);
  ASSERT_TRUE(result.ok) << result.messages;
  ASSERT_EQ(result.p->macros->count, size);
  ASSERT_EQ(result.p->count, size);
  for (size_t i = 0; i < size; ++i) {
    std::string expected = "- | a" + std::string(i, 'b') + " | { return " + std::to_string(i) + "; } | " +
                           std::to_string(size + 2 + i) + " | " + std::to_string(i);
    EXPECT_EQ(describe(result.p->items[i]), expected);
  }
  patterns_free(result.p);
}

TEST(PatternsRead, SectionEdges) {
  read_result bare = read_text("%%");
  EXPECT_TRUE(bare.ok);
  EXPECT_EQ(bare.p->count, 0u);
  EXPECT_EQ(bare.p->user_code, nullptr);
  EXPECT_EQ(bare.p->prolog, nullptr);
  patterns_free(bare.p);

  read_result eof = read_text("%%\n<<EOF>> ;\n<<EOF>> { end(); }\nab\ncd ;\n");
  ASSERT_TRUE(eof.ok);
  ASSERT_EQ(eof.p->count, 1u);
  EXPECT_EQ(describe(eof.p->eof_pattern), "- | <<EOF>> | { end(); } | 3 | 0");
  EXPECT_EQ(describe(eof.p->items[0]), "- | ab\ncd | <null> | 5 | 0");
  patterns_free(eof.p);
}

TEST(PatternsRead, FailuresReportTheirMessagesInOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"  /* only a comment */\n", "Failed to read header section.\n"},
      {"DIGIT [0-9]\n", "Failed to read header section.\n"},
      {"DIGIT", "Invalid Unicode code point: U+FFFFFFFF\nFailed to read header section.\n"},
      {"%{\nint x;\n", "Unexpected end of file in prolog.\nFailed to read header section.\n"},
      {"%-\n%%\n", "Failed to read header section.\n"},
      {"%x 1\n%%\n", "Failed to read header section.\n"},
      {"\xff\n%%\n", "Invalid Unicode code point.\nFailed to read header section.\n"},
      {"/* \xff */\n%%\n", "Invalid Unicode code point in comment.\nFailed to read header section.\n"},
      // A comment that fails inside a name fails its section: no name, start
      // condition or option value is ever taken from the comment's text.
      {"%x /*\xC3\x41S */ T\n%%\n", "Invalid Unicode code point in comment.\nFailed to read header section.\n"},
      {"%/*\xC3\x41x */ S\n%%\n", "Invalid Unicode code point in comment.\nFailed to read header section.\n"},
      {"%option /*\xC3\x41 prefix=\"q\" */ W\n%%\n",
       "Invalid Unicode code point in comment.\nFailed to read header section.\n"},
      {"%option prefix=\"/*\xC3\x41*/q\"\n%%\n", "Invalid Unicode code point in comment.\nFailed to read header section.\n"},
      {"%option prefix=\"q\" /* open\n", "Unexpected end of file in comment.\nFailed to read header section.\n"},
      {"%x S\n%%\n</*\xC3\x41INITIAL>a ;\n", "Invalid Unicode code point in comment.\nerror: invalid rules section.\n"},
      {"%x S\n%%\n< /* open\n", "Unexpected end of file in comment.\nerror: invalid rules section.\n"},
      {"%%\nabc ;\n  <COMMENT>abc ;\n",
       "error: unknown start condition on line 3.\nerror: invalid rules section.\n"},
      {"%x S\n%%\n<S abc ;\n",
       "error: expected '>' after start condition on line 3.\nerror: invalid rules section.\n"},
      {"%x S\n%%\n\n<S> abc ;\n",
       "error: invalid macros in expression starting on line 4.\nerror: invalid rules section.\n"},
      {"%%\nabc", "Unexpected end of input in expression.\n"
                  "error: invalid expression starting on line 2.\nerror: invalid rules section.\n"},
      {"%%\n\"abc ;\n", "Unexpected end of input in quoted expression.\n"
                        "error: invalid expression starting on line 2.\nerror: invalid rules section.\n"},
      {"%%\nabc x\n",
       "error: unexpected character 'x' after expression starting on line 2.\nerror: invalid rules section.\n"},
      {"%%\nabc \xc3\xa9\n", "error: unexpected character '\xc3\xa9' after expression starting on line 2.\n"
                             "error: invalid rules section.\n"},
      {"%%\nabc ", "error: unexpected character 'end of input' after expression starting on line 2.\n"
                   "error: invalid rules section.\n"},
      {"%%\nabc {\n", "error: unexpected end of input.\n"
                      "error: invalid action after expression starting on line 2.\nerror: invalid rules section.\n"},
      {"%%\nabc /* open\n", "Unexpected end of file in comment.\n"
                            "error: invalid action after expression starting on line 2.\nerror: invalid rules section.\n"},
      {"%%\n{U} ;\n", "error: invalid macros in expression starting on line 2.\nerror: invalid rules section.\n"},
      {"A x{B}\nB {A}\n%%\n{A} ;\n",
       "error: invalid macros in expression starting on line 4.\nerror: invalid rules section.\n"},
      {"%%\n\x80\n", "Invalid Unicode code point.\nerror: invalid rules section.\n"},
      {"%%\n%%\nab\xff", "Invalid Unicode code point: U+FFFFFFFF\nFailed to read user code section.\n"},
      {"%%\n%%\n/* open", "Unexpected end of file in comment.\nFailed to read user code section.\n"},
  };
  for (const auto& [input, messages] : cases) {
    read_result result = read_text(input);
    EXPECT_FALSE(result.ok) << input;
    EXPECT_EQ(result.messages, messages) << input;
    patterns_free(result.p);
  }
}

// Everything a reader made over any source puts into the record, as one text.
std::string describe(const patterns* p) {
  std::string text = str(p->prolog) + "\n" + str(p->user_code) + "\n" + str(p->directives->prefix) + "\n";
  for (size_t i = 0; i < p->count; ++i) text += describe(p->items[i]) + "\n";
  return text + (p->eof_pattern == nullptr ? "-" : describe(p->eof_pattern));
}

TEST(PatternsRead, StreamAndStringReadersAgreePastTheLookAheadWindow) {
  std::string input = std::string(calculator_scanner);
  input.replace(input.find("{ID} {"), 4, "{ID}" + std::string(300, ' ') + "{NUM}");
  read_result from_string = read_text(input);
  ASSERT_TRUE(from_string.ok);
  EXPECT_EQ(str(from_string.p->items[1]->expression),
            "[a-zA-Z_]([a-zA-Z_]|[0-9])*" + std::string(300, ' ') + "[0-9]+(\".\"[0-9]+)?");

  FILE* stream = tmpfile();
  ASSERT_NE(stream, nullptr);
  fputs(input.c_str(), stream);
  rewind(stream);
  reader* r = reader_new(stream);
  patterns* p = patterns_new();
  EXPECT_TRUE(patterns_read(p, r));
  EXPECT_EQ(describe(p), describe(from_string.p));
  patterns_free(p);
  reader_free(r);
  fclose(stream);
  patterns_free(from_string.p);
}

TEST(PatternsRead, EveryAllocationFailureFailsCleanly) {
  const char* const input =
      "%{ int n; %}\n%x C\n%option prefix=\"p\"\nD [0-9]\nD [0-7]\n%%\n"
      "<C>{D}+ { n++; }\n<<EOF>> ;\n\"x\"[ ] ;\n%%\ncode\n";
  size_t failures = 0;
  for (size_t k = 1;; ++k) {
    size_t live = memory_live_blocks();
    size_t first = memory_allocation_count();
    memory_fail_at(k);
    read_result result = read_text(input);
    bool injected = memory_allocation_count() - first >= k;
    memory_fail_at(0);
    if (!injected) {
      EXPECT_TRUE(result.ok);
      patterns_free(result.p);
      break;
    }
    ++failures;
    EXPECT_FALSE(result.ok) << "allocation " << k;
    patterns_free(result.p);
    EXPECT_EQ(memory_live_blocks(), live) << "allocation " << k;
  }
  EXPECT_GT(failures, 20u);
}

}  // namespace
