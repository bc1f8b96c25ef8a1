#include "output/action_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/test_grammar.h"
#include "grammar/grammar_reader.h"
#include "text/memory.h"

namespace {

const output_names plain_names{};

// Reads text as a grammar file; fails the test when it does not read.
grammar* read_grammar(const std::string& text) {
  grammar* g = read_test_grammar(text.c_str());
  EXPECT_NE(g, nullptr);
  return g;
}

// What write(stream) puts on a stream, and what it returned.
template <typename Write>
std::string captured(Write write, bool* result = nullptr) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  bool returned = write(stream);
  if (result != nullptr) *result = returned;
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// The rewritten text of the first rule of a grammar whose rules section is rules.
std::string rewritten(const std::string& header, const std::string& rules) {
  grammar* g = read_grammar(header + "%%\n" + rules);
  bool written = false;
  std::string text = captured([&](FILE* s) { return write_rule_action(grammar_first_rule(g), s); }, &written);
  EXPECT_TRUE(written);
  grammar_free(g);
  return text;
}

const std::string tagged_header =
    "%union { int num; char *str; }\n"
    "%token <num> NUM\n"
    "%token <str> NAME\n"
    "%token PLAIN\n"
    "%type <num> expr\n";

TEST(RuleAction, RewritesEveryKindOfReference) {
  struct Case {
    const char* action;
    const char* expected;
  };
  // expr (tagged num) : expr '+' expr, so n = 3 and '+' has no tag.
  const Case cases[] = {
      {"{ $$ }", "{ yyval.num }"},
      {"{ $1 }", "{ yyvs[yysp + (1 - 3 - 1)].num }"},
      {"{ $2 }", "{ yyvs[yysp + (2 - 3 - 1)].? }"},
      {"{ $3 }", "{ yyvs[yysp + (3 - 3 - 1)].num }"},
      {"{ $4 }", "{ /* INVALID $4 */ }"},
      {"{ $9 }", "{ /* INVALID $9 */ }"},
      {"{ $0 }", "{ $0 }"},
      {"{ $13 }", "{ yyvs[yysp + (1 - 3 - 1)].num3 }"},
      {"{ $$$ }", "{ yyval.num$ }"},
      {"{ $$$1 }", "{ yyval.numyyvs[yysp + (1 - 3 - 1)].num }"},
      {"{ $<num>1 }", "{ $<num>1 }"},
      {"{ $ 1 }", "{ $ 1 }"},
      {"{ $a$1 }", "{ $ayyvs[yysp + (1 - 3 - 1)].num }"},
      {"{ $$ = $1 + $3; }", "{ yyval.num = yyvs[yysp + (1 - 3 - 1)].num + yyvs[yysp + (3 - 3 - 1)].num; }"},
      {"{ é$1ü }", "{ éyyvs[yysp + (1 - 3 - 1)].numü }"},
      // Comments and literals reach the generated parser as they were
      // written; the code between them is still rewritten.
      {"{ s = \"$1\"; }", "{ s = \"$1\"; }"},
      {"{ /* $2 */ }", "{ /* $2 */ }"},
      {"{ /* $5 */ $1 }", "{ /* $5 */ yyvs[yysp + (1 - 3 - 1)].num }"},
      {"{ // $$ and $1\n$$ = 0; }", "{ // $$ and $1\nyyval.num = 0; }"},
      {"{ c = '$'; $$ = c; }", "{ c = '$'; yyval.num = c; }"},
      {"{ c = '\\''; $1; }", "{ c = '\\''; yyvs[yysp + (1 - 3 - 1)].num; }"},
      {"{ s = \"a\\\"$1\"; $1; }", "{ s = \"a\\\"$1\"; yyvs[yysp + (1 - 3 - 1)].num; }"},
      {"{ s = \"\\\\\"; $1; }", "{ s = \"\\\\\"; yyvs[yysp + (1 - 3 - 1)].num; }"},
      {"{ /*/ $1 */ $3 }", "{ /*/ $1 */ yyvs[yysp + (3 - 3 - 1)].num }"},
      {"{ /* $1 */ $1 /* $1 */ }", "{ /* $1 */ yyvs[yysp + (1 - 3 - 1)].num /* $1 */ }"},
      {"{ a = b / $1; }", "{ a = b / yyvs[yysp + (1 - 3 - 1)].num; }"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rewritten(tagged_header, std::string("expr : expr '+' expr ") + c.action + " ;\n"), c.expected)
        << c.action;
  }
}

TEST(RuleAction, TakesEachSymbolsOwnTag) {
  EXPECT_EQ(rewritten(tagged_header, "expr : NUM NAME PLAIN { $1 $2 $3 } ;\n"),
            "{ yyvs[yysp + (1 - 3 - 1)].num yyvs[yysp + (2 - 3 - 1)].str yyvs[yysp + (3 - 3 - 1)].? }");
}

TEST(RuleAction, LeavesTheBareValueForAnUntaggedLeftHandSide) {
  EXPECT_EQ(rewritten("", "line : 'x' { $$= $1; } ;\n"), "{ yyval.= yyvs[yysp + (1 - 1 - 1)].?; }");
}

TEST(RuleAction, MarksEveryReferenceOfAnEmptyRuleInvalid) {
  EXPECT_EQ(rewritten(tagged_header, "expr : { $$ = $1 + $2; } ;\n"),
            "{ yyval.num = /* INVALID $1 */ + /* INVALID $2 */; }");
}

TEST(RuleAction, KeepsADollarThatEndsTheText) {
  grammar* g = read_grammar("%%\ns : 'x' { } ;\n");
  rule* r = grammar_first_rule(g);
  ustring_clear(r->action);
  ustring_append_cstr(r->action, "{ }$");
  EXPECT_EQ(captured([&](FILE* s) { return write_rule_action(r, s); }), "{ }$");
  grammar_free(g);
}

TEST(RuleAction, WritesNothingWhenMemoryRunsOut) {
  grammar* g = read_grammar(tagged_header + "%%\nexpr : expr '+' expr { $$ = $1 + $3 + $2; } ;\n");
  const rule* r = grammar_first_rule(g);
  const std::string expected = captured([&](FILE* s) { return write_rule_action(r, s); });
  bool written = false;
  for (size_t k = 1; !written; ++k) {
    size_t live = memory_live_blocks();
    memory_fail_at(k);
    std::string text = captured([&](FILE* s) { return write_rule_action(r, s); }, &written);
    memory_fail_at(0);
    EXPECT_EQ(memory_live_blocks(), live) << "failing allocation " << k;
    EXPECT_EQ(text, written ? expected : "") << "failing allocation " << k;
  }
  grammar_free(g);
}

TEST(ActionFunction, HasOneCasePerRuleWithItsActionOnTheBreakLine) {
  grammar* g = read_grammar(
      "%%\n"
      "list : list item { $$ = $2; }\n"
      "     | {}\n"
      "     ;\n"
      "item : 'x' {\n  count++;\n} ;\n");
  bool written = false;
  std::string text = captured([&](FILE* s) { return write_actions(g, &plain_names, nullptr, s); }, &written);
  EXPECT_TRUE(written);
  EXPECT_EQ(text,
            "int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs)\n"
            "{\n"
            "    YYSTYPE yyval;\n"
            "    memset(&yyval, 0, sizeof(yyval));\n"
            "    switch (yystate) {\n"
            "        case 0:\n"
            "{ yyval. = yyvs[yysp + (2 - 2 - 1)].?; }            break;\n"
            "        case 1:\n"
            "{}            break;\n"
            "        case 2:\n"
            "{\n  count++;\n}            break;\n"
            "        default:\n"
            "            break;\n"
            "    }\n"
            "    *result = yyval;\n"
            "    return 0;\n"
            "}\n");
  grammar_free(g);
}

TEST(ActionFunction, LeavesTheCaseOfAnActionThatCannotBeRewrittenEmpty) {
  grammar* g = read_grammar("%%\ns : 'x' { $$ = 1; } ;\n");
  memory_fail_at(1);  // the first allocation is the reader of the only action
  bool written = true;
  std::string text = captured([&](FILE* s) { return write_actions(g, &plain_names, nullptr, s); }, &written);
  memory_fail_at(0);
  EXPECT_FALSE(written);
  EXPECT_NE(text.find("        case 0:\n            break;\n        default:\n"), std::string::npos) << text;
  grammar_free(g);
}

TEST(ActionFunction, SkipsRulesWithoutActionText) {
  grammar* g = read_grammar("%%\ns : 'x' { a(); } | 'y' { b(); } ;\n");
  ustring_free(g->start->rules->items[0]->action);
  g->start->rules->items[0]->action = nullptr;
  std::string text = captured([&](FILE* s) { return write_actions(g, &plain_names, nullptr, s); });
  EXPECT_EQ(text.find("case 0:"), std::string::npos);
  EXPECT_NE(text.find("        case 1:\n{ b(); }            break;\n"), std::string::npos);
  grammar_free(g);
}

}  // namespace
