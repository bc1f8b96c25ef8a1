#include "grammar/rule.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "text/memory.h"
#include "support/grammar_objects.h"

namespace {

class RuleTest : public testing::Test {
 protected:
  void SetUp() override {
    ustring* text = text_of("list");
    list = nonterm_new(text);
    ustring_free(text);
    text = text_of("item");
    item = nonterm_new(text);
    ustring_free(text);
    text = text_of(",");
    comma = term_new(text);
    ustring_free(text);
  }
  void TearDown() override {
    nonterm_free(list);
    nonterm_free(item);
    term_free(comma);
  }
  nonterm* list;
  nonterm* item;
  term* comma;
};

TEST_F(RuleTest, AllocationFailureLeaksNothing) {
  size_t live = memory_live_blocks();
  for (size_t k = 1; k <= 2; ++k) {
    memory_fail_at(k);
    EXPECT_EQ(rule_new(list), nullptr) << "failing allocation " << k;
    memory_fail_at(0);
    EXPECT_EQ(memory_live_blocks(), live) << "failing allocation " << k;
  }
  memory_fail_at(1);
  EXPECT_EQ(rules_new(), nullptr);
  EXPECT_EQ(memory_live_blocks(), live);
}

TEST_F(RuleTest, PrintsHeadArrowAndRightHandSide) {
  rule* r = rule_new(list);
  symbol_push_nonterm(r->symbols, list);
  symbol_push_term(r->symbols, comma);
  symbol_push_nonterm(r->symbols, item);
  EXPECT_EQ(printed([&](FILE* f) { rule_print(r, f); }), "list -> list , item\n");
  rule* empty = rule_new(list);
  EXPECT_EQ(printed([&](FILE* f) { rule_print(empty, f); }), "list -> \n");
  rule_free(r);
  rule_free(empty);
}

TEST_F(RuleTest, ListingEndsEachRuleWithABarAndTheArrayWithASemicolon) {
  rules* array = rules_new();
  EXPECT_EQ(printed([&](FILE* f) { rules_print(array, f); }), ";\n");
  rule* first = rule_new(list);
  symbol_push_nonterm(first->symbols, item);
  rule* second = rule_new(list);
  symbol_push_term(second->symbols, comma);
  rules_push(array, first);
  rules_push(array, second);
  EXPECT_EQ(printed([&](FILE* f) { rules_print(array, f); }), "list -> item\n|list -> ,\n|;\n");
  rules_clear(array);
  EXPECT_EQ(array->count, 0u);
  rules_clear(nullptr);
  rules_free(array);
  rules_free(nullptr);
  rule_free(nullptr);
}

TEST_F(RuleTest, ClearReleasesEachRuleWithItsSymbolsAndAction) {
  size_t live = memory_live_blocks();
  rules* array = rules_new();
  for (int i = 0; i < 9; ++i) {
    rule* r = rule_new(list);
    symbol_push_term(r->symbols, comma);
    r->action = text_of("{ $$ = $1; }");
    ASSERT_TRUE(rules_push(array, r));
  }
  EXPECT_EQ(array->capacity, 16u);
  rules_clear(array);
  rules_free(array);
  EXPECT_EQ(memory_live_blocks(), live);
}

}  // namespace
