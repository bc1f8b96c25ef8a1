#include "lr/item.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_grammar.h"

namespace {

struct fixture {
  grammar* g = read_test_grammar("%token x z\n%%\nA : x B { } ;\nB : { } ;\n");
  ~fixture() { grammar_free(g); }
};

std::string printed(item i) {
  testing::internal::CaptureStdout();
  item_print(i, stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(ItemPrint, ShowsTheDotAndTheLookahead) {
  fixture f;
  rule* a = test_rule(f.g, "A", 0);
  rule* b = test_rule(f.g, "B", 0);
  EXPECT_EQ(printed(item_make(a, 1, symbol_for_endmark())), "  x . B , $");
  EXPECT_EQ(printed(item_make(a, 2, test_t(f.g, "z"))), "  x B ., z");
  EXPECT_EQ(printed(item_make(b, 0, test_t(f.g, "z"))), "  ., z");
}

TEST(ItemSymbols, NextNonterminalOnlyBeforeANonterminal) {
  fixture f;
  rule* a = test_rule(f.g, "A", 0);
  rule* b = test_rule(f.g, "B", 0);
  symbol end = symbol_for_endmark();
  EXPECT_EQ(item_next_nonterm(item_make(a, 0, end)), nullptr);
  EXPECT_EQ(item_next_nonterm(item_make(a, 1, end)), test_nonterm(f.g, "B"));
  EXPECT_EQ(item_next_nonterm(item_make(a, 2, end)), nullptr);
  EXPECT_TRUE(item_has_next(item_make(a, 1, end)));
  EXPECT_FALSE(item_has_next(item_make(a, 2, end)));
  EXPECT_FALSE(item_has_next(item_make(b, 0, end)));
  EXPECT_TRUE(item_equal(item_advance_mark(item_make(a, 0, end)), item_make(a, 1, end)));
}

TEST(ItemOrder, RuleAddressThenMarkThenLookahead) {
  fixture f;
  rule* a = test_rule(f.g, "A", 0);
  rule* b = test_rule(f.g, "B", 0);
  rule* low = a < b ? a : b;
  rule* high = a < b ? b : a;
  symbol x = test_t(f.g, "x");
  symbol end = symbol_for_endmark();
  EXPECT_TRUE(item_less(item_make(low, 5, end), item_make(high, 0, x)));
  EXPECT_TRUE(item_less(item_make(a, 0, end), item_make(a, 1, x)));
  EXPECT_TRUE(item_less(item_make(a, 1, x), item_make(a, 1, end)));
  EXPECT_FALSE(item_less(item_make(a, 1, x), item_make(a, 1, x)));
  EXPECT_FALSE(item_equal(item_make(a, 1, x), item_make(a, 1, end)));
}

}  // namespace
