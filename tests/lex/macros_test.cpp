#include "lex/macros.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "lex_test_support.h"

namespace {

using definitions = std::vector<std::pair<std::string, std::string>>;

macro_table* table_of(const definitions& defs) {
  macro_table* table = macro_table_new();
  for (const auto& [name, value] : defs) {
    ustring* n = make_text(name);
    ustring* v = make_text(value);
    EXPECT_TRUE(macro_add(table, n, v));
    ustring_free(n);
    ustring_free(v);
  }
  return table;
}

std::string expand(const macro_table* table, const std::string& text) {
  ustring* in = make_text(text);
  ustring* out = macro_expand_new(table, in);
  std::string result = str(out);
  ustring_free(in);
  ustring_free(out);
  return result;
}

TEST(MacroAdd, RedefinitionReplacesTheValueInPlace) {
  macro_table* table = table_of({{"DIGIT", "[0-9]"}, {"ALPHA", "[a-z]"}, {"DIGIT", "[0-7]"}});
  ASSERT_EQ(table->count, 2u);
  EXPECT_EQ(str(table->items[0]->name), "DIGIT");
  EXPECT_EQ(str(table->items[0]->value), "[0-7]");
  ustring* name = make_text("ALPHA");
  EXPECT_EQ(str(macro_find(table, name)), "[a-z]");
  ustring_free(name);
  macro_table_free(table);
}

TEST(MacroAdd, EmptyNameOrValueIsRefusedWithAMessage) {
  macro_table* table = macro_table_new();
  ustring* empty = make_text("");
  ustring* word = make_text("D");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(macro_add(table, empty, word));
  EXPECT_FALSE(macro_add(table, word, empty));
  EXPECT_EQ(macro_new(nullptr, word), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Macro must have a non-empty name and value.\n"
            "Error: Macro must have a non-empty name and value.\n"
            "Error: Macro must have a non-empty name and value.\n");
  EXPECT_EQ(table->count, 0u);
  ustring_free(empty);
  ustring_free(word);
  macro_table_free(table);
}

TEST(MacroExpand, ReplacesReferencesAndCopiesEverythingElse) {
  macro_table* table = table_of({{"DIGIT", "[0-9]"}, {"NUM", "{DIGIT}+"}, {"Q", "\"{DIGIT}"}});
  const std::pair<const char*, const char*> cases[] = {
      {"{NUM}.", "[0-9]+."},
      {"\\{DIGIT}", "\\{DIGIT}"},
      {"\\\\{DIGIT}", "\\\\[0-9]"},
      {"\"{DIGIT}\"{DIGIT}", "\"{DIGIT}\"[0-9]"},
      {"\"a\\\"{DIGIT}\"", "\"a\\\"{DIGIT}\""},
      {"[{DIGIT}]", "[[0-9]]"},
      {"{Q}x", "\"{DIGIT}x"},  // an open quote ends with the macro's text
      {"{1,3}", "<null>"},
      {"{UNDEFINED}", "<null>"},
      {"{DIGIT", "<null>"},
      {"", "<null>"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(expand(table, text), expected) << text;
  macro_table_free(table);
}

TEST(MacroExpand, CyclesFailButRepeatedUseDoesNot) {
  macro_table* table = table_of({{"SELF", "a{SELF}"},
                                 {"PING", "{PONG}"},
                                 {"PONG", "x{PING}"},
                                 {"ONE", "1"},
                                 {"TWO", "{ONE}{ONE}"},
                                 {"FOUR", "{TWO}{TWO}"}});
  EXPECT_EQ(expand(table, "{SELF}"), "<null>");
  EXPECT_EQ(expand(table, "{PING}"), "<null>");
  EXPECT_EQ(expand(table, "{FOUR}{ONE}"), "11111");
  macro_table_free(table);
}

TEST(MacroExpand, LongChainExpandsWithoutDeepRecursion) {
  constexpr int links = 5000;
  definitions defs = {{"M0", "x"}};
  for (int i = 1; i < links; ++i) defs.push_back({"M" + std::to_string(i), "{M" + std::to_string(i - 1) + "}y"});
  macro_table* table = table_of(defs);
  EXPECT_EQ(expand(table, "{M" + std::to_string(links - 1) + "}"), "x" + std::string(links - 1, 'y'));
  macro_table_free(table);
}

// The expansion rules read as directly as possible: recursive, with a depth beyond the number of
// macros taken as a cycle.
bool expand_slowly(const definitions& defs, const std::string& text, size_t depth, std::string& out) {
  if (text.empty() || depth > defs.size()) return false;
  bool escaped = false;
  for (size_t i = 0; i < text.size();) {
    char c = text[i++];
    if (c == '\\') {
      out += c;
      escaped = !escaped;
      continue;
    }
    if (c == '"' && !escaped) {
      out += c;
      for (bool quoted_escape = false; i < text.size();) {
        char d = text[i++];
        out += d;
        if (d == '"' && !quoted_escape) break;
        quoted_escape = d == '\\' && !quoted_escape;
      }
    } else if (c == '{' && !escaped) {
      size_t close = text.find('}', i);
      if (close == std::string::npos) return false;
      std::string name = text.substr(i, close - i);
      i = close + 1;
      auto found = std::find_if(defs.begin(), defs.end(), [&](const auto& d) { return d.first == name; });
      if (found == defs.end() || !expand_slowly(defs, found->second, depth + 1, out)) return false;
    } else {
      out += c;
    }
    escaped = false;
  }
  return true;
}

std::string random_text(std::mt19937& random, size_t min_pieces) {
  static const char* const pieces[] = {"a", "{A}", "{B}", "{C}", "{X}", "\"", "\\", "{", "}", " "};
  std::string text;
  size_t count = min_pieces + random() % 6;
  for (size_t i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
  return text;
}

TEST(MacroExpand, AgreesWithTheRecursiveReadingOnRandomTables) {
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    definitions defs;
    for (const char* name : {"A", "B", "C"}) {
      if (random() % 4 != 0) defs.push_back({name, random_text(random, 1)});
    }
    macro_table* table = table_of(defs);
    std::string text = random_text(random, 0);
    std::string slow;
    std::string expected = expand_slowly(defs, text, 0, slow) ? slow : "<null>";
    EXPECT_EQ(expand(table, text), expected) << text;
    macro_table_free(table);
  }
}

TEST(IsMacro, RecognisesReferencesToDefinedMacrosWithoutConsuming) {
  macro_table* table = table_of({{"DIGIT", "[0-9]"}});
  const std::pair<const char*, bool> cases[] = {
      {"{DIGIT}", true}, {"{1x}", false}, {"{D", false}, {"{DIGIT", false},
      {"{DIGITS}", false}, {"{DIG IT}", false}, {"DIGIT}", false},
  };
  for (const auto& [input, expected] : cases) {
    text_reader in(input);
    EXPECT_EQ(is_macro(table, in.r, 0), expected) << input;
    EXPECT_EQ(peek_next(in.r), codepoint(input[0]));
  }
  text_reader later("ab {DIGIT}");
  EXPECT_TRUE(is_macro(table, later.r, 3));
  EXPECT_FALSE(is_macro(table, later.r, 2));
  macro_table_free(table);
}

}  // namespace
