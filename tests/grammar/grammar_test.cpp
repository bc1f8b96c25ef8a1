#include "grammar/grammar.h"

#include <gtest/gtest.h>

#include <string>

#include "grammar/symbol.h"
#include "text/memory.h"

namespace {

ustring* name_of(const char* text) {
  ustring* s = ustring_new();
  ustring_append_cstr(s, text);
  return s;
}

term* add_term(grammar* g, const char* name) {
  ustring* s = name_of(name);
  term* t = term_new(s);
  ustring_free(s);
  term_push(g->terms, t);
  return t;
}

nonterm* add_nonterm(grammar* g, const char* name) {
  ustring* s = name_of(name);
  nonterm* n = nonterm_new(s);
  ustring_free(s);
  nonterm_push(g->nonterms, n);
  return n;
}

rule* add_rule(nonterm* n) {
  rule* r = rule_new(n);
  rules_push(n->rules, r);
  return r;
}

class GrammarTest : public testing::Test {
 protected:
  void SetUp() override {
    baseline_ = memory_live_blocks();
    g_ = grammar_new();
    ASSERT_NE(g_, nullptr);
  }

  void TearDown() override {
    grammar_free(g_);
    EXPECT_EQ(memory_live_blocks(), baseline_);
  }

  grammar* g_ = nullptr;
  size_t baseline_ = 0;
};

TEST_F(GrammarTest, NewGrammarIsEmpty) {
  EXPECT_EQ(g_->terms->count, 0u);
  EXPECT_EQ(g_->nonterms->count, 0u);
  EXPECT_EQ(g_->start, nullptr);
  EXPECT_TRUE(ustring_is_empty(g_->prolog));
  EXPECT_TRUE(ustring_is_empty(g_->union_body));
  EXPECT_TRUE(ustring_is_empty(g_->user_code));
  EXPECT_EQ(g_->next_token_value, 0x110000);
}

TEST(GrammarMemory, NewReleasesEverythingWhenAnyAllocationFails) {
  size_t baseline = memory_live_blocks();
  size_t before = memory_allocation_count();
  grammar_free(grammar_new());
  size_t allocations = memory_allocation_count() - before;
  ASSERT_GE(allocations, 6u);
  for (size_t k = 1; k <= allocations; ++k) {
    SCOPED_TRACE(k);
    memory_fail_at(k);
    EXPECT_EQ(grammar_new(), nullptr);
    memory_fail_at(0);
    EXPECT_EQ(memory_live_blocks(), baseline);
  }
  grammar_free(nullptr);
}

TEST_F(GrammarTest, IdsFollowArrayPositionsAndRulesRunThroughNonterminals) {
  term* x = add_term(g_, "x");
  term* y = add_term(g_, "y");
  nonterm* s = add_nonterm(g_, "s");
  nonterm* t = add_nonterm(g_, "t");
  nonterm* u = add_nonterm(g_, "u");  // no rules: numbering passes over it
  nonterm* v = add_nonterm(g_, "v");
  rule* r0 = add_rule(s);
  rule* r1 = add_rule(s);
  rule* r2 = add_rule(t);
  rule* r3 = add_rule(v);
  x->id = y->id = s->id = t->id = 99;
  grammar_assign_ids(g_);
  EXPECT_EQ(x->id, 0u);
  EXPECT_EQ(y->id, 1u);
  EXPECT_EQ(s->id, 0u);
  EXPECT_EQ(t->id, 1u);
  EXPECT_EQ(u->id, 2u);
  EXPECT_EQ(v->id, 3u);
  EXPECT_EQ(r0->id, 0u);
  EXPECT_EQ(r1->id, 1u);
  EXPECT_EQ(r2->id, 2u);
  EXPECT_EQ(r3->id, 3u);
}

TEST_F(GrammarTest, FirstRuleIsTheStartsFirstAlternative) {
  nonterm* a = add_nonterm(g_, "a");
  nonterm* b = add_nonterm(g_, "b");
  EXPECT_EQ(grammar_first_rule(g_), nullptr);  // no start
  g_->start = b;
  EXPECT_EQ(grammar_first_rule(g_), nullptr);  // start without rules
  add_rule(a);
  rule* first = add_rule(b);
  add_rule(b);
  EXPECT_EQ(grammar_first_rule(g_), first);
}

TEST_F(GrammarTest, PrintListsRulesThenFirstAndFollowSets) {
  term* x = add_term(g_, "x");
  nonterm* s = add_nonterm(g_, "s");
  nonterm* t = add_nonterm(g_, "t");
  rule* r0 = add_rule(s);
  symbol_push_nonterm(r0->symbols, t);
  symbol_push_term(r0->symbols, x);
  add_rule(t);
  symbol_insert(s->firsts, symbol_for_term(x), nullptr);
  t->nullable = true;
  symbol_insert(s->follows, symbol_for_endmark(), nullptr);
  symbol_insert(t->follows, symbol_for_term(x), nullptr);

  testing::internal::CaptureStdout();
  grammar_print(g_, stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "s:s -> t x\n|;\n"
            "t:t -> \n|;\n"
            "Firsts:\n"
            "s: x \n"
            "t:  eps\n"
            "Follows:\n"
            "s: $ \n"
            "t: x \n");
}

}  // namespace
