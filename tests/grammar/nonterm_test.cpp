#include "grammar/nonterm.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "grammar/term.h"
#include "text/memory.h"
#include "support/grammar_objects.h"

namespace {

TEST(NontermNew, StartsEmptyWithItsName) {
  ustring* name = text_of("expr");
  nonterm* n = nonterm_new(name);
  ASSERT_NE(n, nullptr);
  EXPECT_TRUE(ustring_is_empty(name));
  ustring_free(name);
  EXPECT_EQ(ustring_compare(n->name, "expr"), 0);
  EXPECT_TRUE(ustring_is_empty(n->type));
  EXPECT_EQ(n->rules->count, 0u);
  EXPECT_EQ(n->firsts->count, 0u);
  EXPECT_EQ(n->follows->count, 0u);
  EXPECT_FALSE(n->nullable);
  EXPECT_EQ(n->id, 0u);
  nonterm_free(n);
  nonterm_free(nullptr);
}

TEST(NontermNew, AllocationFailureLeaksNothingAndKeepsTheCallersName) {
  for (size_t k = 1;; ++k) {
    ustring* name = text_of("expr");
    size_t live = memory_live_blocks();
    memory_fail_at(k);
    nonterm* n = nonterm_new(name);
    memory_fail_at(0);
    if (n != nullptr) {
      EXPECT_GT(k, 5u);  // record, type, rules, two sets and the name each allocate
      nonterm_free(n);
      ustring_free(name);
      break;
    }
    EXPECT_EQ(memory_live_blocks(), live) << "failing allocation " << k;
    EXPECT_EQ(ustring_compare(name, "expr"), 0) << "failing allocation " << k;
    ustring_free(name);
  }
}

TEST(NontermFree, ReleasesRulesAndSets) {
  size_t live = memory_live_blocks();
  nonterm* n = make_nonterm("list");
  term* x = make_term("x");
  for (int i = 0; i < 3; ++i) {
    rule* r = rule_new(n);
    symbol_push_term(r->symbols, x);
    r->action = text_of("{ }");
    ASSERT_TRUE(rules_push(n->rules, r));
  }
  symbol_insert(n->firsts, symbol_for_term(x), nullptr);
  symbol_insert(n->follows, symbol_for_endmark(), nullptr);
  nonterm_free(n);
  term_free(x);
  EXPECT_EQ(memory_live_blocks(), live);
}

TEST(Nonterms, FindAndClear) {
  size_t live = memory_live_blocks();
  nonterms* array = nonterms_new();
  ustring* probe = text_of("b");
  EXPECT_EQ(nonterm_find_with_name(array, probe), nullptr);
  nonterm* a = make_nonterm("a");
  nonterm* b = make_nonterm("b");
  ASSERT_TRUE(nonterm_push(array, a));
  ASSERT_TRUE(nonterm_push(array, b));
  EXPECT_EQ(nonterm_find_with_name(array, probe), b);
  EXPECT_EQ(nonterm_find_with_name(array, probe), b);
  ustring_clear(probe);
  ustring_append_cstr(probe, "B");
  EXPECT_EQ(nonterm_find_with_name(array, probe), nullptr);
  EXPECT_EQ(nonterm_find_with_name(nullptr, probe), nullptr);
  ustring_free(probe);
  nonterms_clear(array);
  EXPECT_EQ(array->count, 0u);
  nonterms_clear(nullptr);
  nonterms_free(array);
  nonterms_free(nullptr);
  EXPECT_EQ(memory_live_blocks(), live);
}

class NontermPrint : public testing::Test {
 protected:
  void SetUp() override {
    x = make_term("x");
    y = make_term("y");
    a = make_nonterm("a");
    b = make_nonterm("b");
    for (term* t : {x, y}) {
      rule* r = rule_new(a);
      symbol_push_term(r->symbols, t);
      rules_push(a->rules, r);
    }
    rules_push(b->rules, rule_new(b));
    array = nonterms_new();
    nonterm_push(array, a);
    nonterm_push(array, b);
  }
  void TearDown() override {
    nonterms_clear(array);
    nonterms_free(array);
    term_free(x);
    term_free(y);
  }
  term* x;
  term* y;
  nonterm* a;
  nonterm* b;
  nonterms* array;
};

TEST_F(NontermPrint, ListsRulesWithBarsAndSemicolon) {
  EXPECT_EQ(printed([&](FILE* f) { nonterm_print(a, f); }), "a:a -> x\n|a -> y\n|;\n");
  EXPECT_EQ(printed([&](FILE* f) { nonterms_print(array, f); }),
            "a:a -> x\n|a -> y\n|;\nb:b -> \n|;\n");
}

TEST_F(NontermPrint, FirstSetWithEpsAndFollowSet) {
  bool x_first = symbol_less(symbol_for_term(x), symbol_for_term(y));
  symbol_insert(a->firsts, symbol_for_term(y), nullptr);
  symbol_insert(a->firsts, symbol_for_term(x), nullptr);
  EXPECT_EQ(printed([&](FILE* f) { nonterm_print_firsts(a, f); }),
            x_first ? "x y " : "y x ");
  a->nullable = true;
  EXPECT_EQ(printed([&](FILE* f) { nonterm_print_firsts(a, f); }),
            x_first ? "x y  eps" : "y x  eps");
  symbol_insert(a->follows, symbol_for_endmark(), nullptr);
  symbol_insert(a->follows, symbol_for_term(x), nullptr);
  EXPECT_EQ(printed([&](FILE* f) { nonterm_print_follows(a, f); }), "x $ ");
  EXPECT_EQ(printed([&](FILE* f) { nonterm_print_follows(b, f); }), "");
}

}  // namespace
