// The parser runtime on hand-written tables, compiled into this test as it is
// into every generated parser. The allocation calls are routed through
// counters so that a test can make one of them fail.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

size_t allocations = 0;
size_t failing_allocation = 0;  // 0: none fails

// Counts an allocation and tells whether it is the one to fail.
bool allocation_fails() { return ++allocations == failing_allocation; }

}  // namespace

void* test_malloc(size_t size) { return allocation_fails() ? nullptr : malloc(size); }
void* test_realloc(void* block, size_t size) { return allocation_fails() ? nullptr : realloc(block, size); }

typedef int YYSTYPE;
extern YYSTYPE yylval;

// Room for the tables of every grammar below; each test installs its own.
int yypact[32], yycheck[32], yytable[32], yyaccept[32], yydefact[32];
int yygopact[32], yygocheck[32], yygotable[32], yyr1[32], yyr2[32];

namespace {

std::vector<int> tokens;  // what yylex returns, in order; 0 once they are used up
size_t next_token = 0;
size_t lex_calls = 0;
std::vector<int> reductions;  // rules reduced, in order
char token_text[16];

}  // namespace

char* yytext = nullptr;

int yylex(void) {
  ++lex_calls;
  int token = next_token < tokens.size() ? tokens[next_token++] : 0;
  snprintf(token_text, sizeof token_text, "%c", token > 0 && token < 128 ? token : ' ');
  if (token == 0) token_text[0] = '\0';
  yytext = token_text;
  yylval = token;
  return token;
}

// Records the rule and makes each value the sum of its right-hand side's.
int yyaction(int yystate, YYSTYPE* result, int yysp, YYSTYPE* yyvs) {
  reductions.push_back(yystate);
  *result = 0;
  for (int i = yysp - yyr2[yystate]; i < yysp; ++i) *result += yyvs[i];
  return 0;
}

#define malloc test_malloc
#define realloc test_realloc
#include "output/runtime/parser_runtime.c"
#undef malloc
#undef realloc

namespace {

void install(int* table, std::initializer_list<int> values) { std::copy(values.begin(), values.end(), table); }

// s : 'x' n 'y' (rule 0); n : 'z' (rule 1). States: 0, 1 after x, 2 after
// x z (reduces n by default), 3 after x n, 4 after x n y (accepts).
void install_sequence_grammar() {
  install(yypact, {0, 1, 2, 2, 3, 4});
  install(yycheck, {'x', 'z', 'y', -1});
  install(yytable, {2, 3, 5, -1});
  install(yyaccept, {0, 0, 0, 1});
  install(yydefact, {-1, -1, 1, -1, -1});
  install(yygopact, {0, 0, 1, 1, 1, 1});
  install(yygocheck, {1});
  install(yygotable, {3});
  install(yyr1, {0, 1});
  install(yyr2, {3, 1});
}

// list : 'i' list (rule 0, the accepting rule); list : 'i' (rule 1). Only
// the first rule is in the start state, so at least two i are needed. States:
// 0, 1 after i, 2 after i i (and more), 3 after list (accepts).
void install_list_grammar() {
  install(yypact, {0, 1, 2, 3, 4});
  install(yycheck, {'i', 'i', 'i', -1});
  install(yytable, {2, 3, 3, -1});
  install(yyaccept, {0, 0, 0, 1});
  install(yydefact, {-1, -1, 1, -1});
  install(yygopact, {0, 0, 1, 2, 2});
  install(yygocheck, {0, 0});
  install(yygotable, {3, 3});
  install(yyr1, {0, 0});
  install(yyr2, {2, 1});
}

struct outcome {
  int result;
  std::string printed;
};

outcome parse(std::initializer_list<int> input) {
  tokens = input;
  next_token = 0;
  lex_calls = 0;
  reductions.clear();
  testing::internal::CaptureStdout();
  int result = yyparse();
  fflush(stdout);
  return {result, testing::internal::GetCapturedStdout()};
}

TEST(RuntimeParse, AcceptsAndRunsEveryReductionInOrder) {
  install_sequence_grammar();
  outcome o = parse({'x', 'z', 'y'});
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.printed, "");
  EXPECT_EQ(reductions, (std::vector<int>{1, 0}));
  EXPECT_EQ(lex_calls, 5u);  // three tokens, the end of input, and once more after acceptance
}

TEST(RuntimeParse, ReportsATokenWithoutEntryOrDefaultRule) {
  install_sequence_grammar();
  struct Case {
    std::initializer_list<int> input;
    const char* printed;
    std::vector<int> reductions;
  };
  const Case cases[] = {
      {{'x', 'y'}, "No Rule 'y'\n", {}},
      {{'y'}, "No Rule 'y'\n", {}},
      {{}, "No Rule ''\n", {}},
      {{'x', 'z'}, "No Rule ''\n", {1}},  // the default rule runs first, then the end of input has nowhere to go
      {{'x', 'z', 'y', 'x'}, "No Rule 'x'\n", {1}},
  };
  for (const Case& c : cases) {
    outcome o = parse(c.input);
    EXPECT_EQ(o.result, -1) << c.printed;
    EXPECT_EQ(o.printed, c.printed);
    EXPECT_EQ(reductions, c.reductions) << c.printed;
  }
}

TEST(RuntimeParse, ReportsAReductionWithNowhereToGo) {
  install_sequence_grammar();
  install(yygopact, {0, 0, 0, 0, 0, 0});  // state 1 loses its goto on n
  outcome o = parse({'x', 'z', 'y'});
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "No Goto or Accept 'y'\n");
}

TEST(RuntimeParse, PrintsNothingForTheTextOfAScannerThatNeverSetIt) {
  install_sequence_grammar();
  yytext = nullptr;
  tokens.clear();
  testing::internal::CaptureStdout();
  struct parser* p = parser_new();
  EXPECT_FALSE(parser_advance(p, 'y', 0));
  parser_free(p);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "No Rule ''\n");
}

TEST(RuntimeAccept, AcceptsOnlyWhenTheBottomOfTheStackIsExposed) {
  install_list_grammar();
  outcome o = parse({'i', 'i', 'i'});
  EXPECT_EQ(o.result, 0);
  // The accepting rule is reduced twice: once deep in the stack, where it is
  // an ordinary reduction, and once over the bottom entry.
  EXPECT_EQ(reductions, (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(parse({'i', 'i'}).result, 0);
  EXPECT_EQ(reductions, (std::vector<int>{1, 0}));
  EXPECT_EQ(parse({'i'}).printed, "No Rule ''\n");
}

TEST(RuntimeAccept, PassesTheValuesOfTheWholeInputUp) {
  install_list_grammar();
  tokens = {'i', 'i', 'i', 'i'};
  next_token = 0;
  struct parser* p = parser_new();
  ASSERT_TRUE(parser_scan(p));
  EXPECT_EQ(p->count, 2u);
  EXPECT_EQ(p->states[1], -1);  // the accepting push; state 0 has no goto on list
  EXPECT_EQ(p->values[1], 4 * 'i');
  parser_free(p);
}

TEST(RuntimeAccept, FailsATokenThatFollowsAcceptance) {
  install_list_grammar();
  outcome o = parse({'i', 'i', 0, 'i'});
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "No Rule 'i'\n");
  EXPECT_EQ(reductions, (std::vector<int>{1, 0}));
}

TEST(RuntimeAccept, FailsATokenAfterAcceptanceIntoAState) {
  install_sequence_grammar();
  install(yygopact, {0, 1, 2, 2, 2, 2});  // state 0 gets a goto on s to state 3
  install(yygocheck, {0, 1});
  install(yygotable, {3, 3});
  outcome o = parse({'x', 'z', 'y', 0, 'y'});
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "No Rule 'y'\n");
}

TEST(RuntimeStack, StartsWithOneEntryAndGrowsByDoubling) {
  struct parser* p = parser_new();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->count, 1u);
  EXPECT_EQ(p->capacity, 4u);
  EXPECT_EQ(p->states[0], 0);
  EXPECT_EQ(p->values[0], 0);
  EXPECT_FALSE(p->accept);
  for (int i = 1; i < 4; ++i) ASSERT_TRUE(parser_push(p, i, i, i));
  EXPECT_EQ(p->capacity, 4u);
  ASSERT_TRUE(parser_push(p, 4, 4, 4));  // the fifth entry
  EXPECT_EQ(p->capacity, 8u);
  parser_pop(p, 3);
  EXPECT_EQ(p->count, 2u);
  EXPECT_EQ(p->capacity, 8u);
  EXPECT_EQ(p->states[1], 1);
  parser_free(p);
  parser_free(nullptr);
}

TEST(RuntimeStack, StaysUsableWhenOnlySomeArraysGrow) {
  for (size_t failing = 1; failing <= 3; ++failing) {
    struct parser* p = parser_new();
    for (int i = 1; i < 4; ++i) ASSERT_TRUE(parser_push(p, i, 10 + i, 20 + i));
    allocations = 0;
    failing_allocation = failing;  // states, values or symbols
    EXPECT_FALSE(parser_push(p, 4, 14, 24)) << failing;
    EXPECT_EQ(p->capacity, 4u);
    EXPECT_EQ(p->count, 4u);
    failing_allocation = 0;
    ASSERT_TRUE(parser_push(p, 4, 14, 24)) << failing;
    EXPECT_EQ(p->capacity, 8u);
    for (int i = 1; i <= 4; ++i) {
      EXPECT_EQ(p->states[i], 10 + i);
      EXPECT_EQ(p->values[i], 20 + i);
      EXPECT_EQ(p->symbols[i], i);
    }
    parser_free(p);
  }
}

TEST(RuntimeStack, FailsTheParseWhenTheStackCannotGrow) {
  install_list_grammar();
  allocations = 0;
  failing_allocation = 5;  // the record and three arrays, then the first growth
  outcome o = parse({'i', 'i', 'i', 'i', 'i'});
  failing_allocation = 0;
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "Out of memory 'i'\n");
}

TEST(RuntimeStack, FailsQuietlyWhenNoStackCanBeMade) {
  install_list_grammar();
  for (size_t failing = 1; failing <= 4; ++failing) {
    allocations = 0;
    failing_allocation = failing;
    outcome o = parse({'i', 'i'});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.printed, "");
    EXPECT_EQ(lex_calls, 0u);
  }
  failing_allocation = 0;
}

}  // namespace
