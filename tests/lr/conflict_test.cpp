#include "lr/conflict.h"

#include <gtest/gtest.h>

#include "support/test_grammar.h"

namespace {

struct fixture {
  grammar* g = read_test_grammar("%token a b\n%%\ne : e a e { } | e b { } | b e a { } ;\n");
  ~fixture() { grammar_free(g); }
  void level(const char* name, uint32_t precedence, associativity assoc) {
    test_term(g, name)->precedence = precedence;
    test_term(g, name)->assoc = assoc;
  }
};

TEST(RulePrecedence, IsTheOverrideOrElseTheLastTerminalThatHasOne) {
  fixture f;
  rule* infix = test_rule(f.g, "e", 0);
  rule* postfix = test_rule(f.g, "e", 1);
  rule* both = test_rule(f.g, "e", 2);
  EXPECT_EQ(rule_precedence(infix), nullptr);
  f.level("b", 1, associativity::left);
  EXPECT_EQ(rule_precedence(infix), nullptr);
  EXPECT_EQ(rule_precedence(postfix), test_term(f.g, "b"));
  EXPECT_EQ(rule_precedence(both), test_term(f.g, "b"));  // a, the last terminal, has none
  f.level("a", 2, associativity::right);
  EXPECT_EQ(rule_precedence(both), test_term(f.g, "a"));
  both->precedence = test_term(f.g, "b");
  EXPECT_EQ(rule_precedence(both), test_term(f.g, "b"));
}

TEST(Resolution, FollowsLevelsThenGroupingAndCountsOnlyWhatNothingDecides) {
  struct row {
    uint32_t term_level;
    uint32_t rule_level;
    associativity grouping;
    resolution expected;
  };
  const row rows[] = {
      {0, 0, associativity::none, resolution::shift},
      {0, 1, associativity::left, resolution::shift},
      {1, 0, associativity::left, resolution::shift},
      {2, 1, associativity::left, resolution::shift_by_precedence},
      {1, 2, associativity::right, resolution::reduce_by_precedence},
      {1, 1, associativity::left, resolution::reduce_by_associativity},
      {1, 1, associativity::right, resolution::shift_by_associativity},
      {1, 1, associativity::nonassoc, resolution::error_by_nonassociativity},
  };
  for (const row& r : rows) {
    fixture f;
    rule* postfix = test_rule(f.g, "e", 1);  // e : e b, whose precedence is b's
    if (r.term_level != 0) f.level("a", r.term_level, r.grouping);
    if (r.rule_level != 0) {
      f.level("b", r.rule_level, r.grouping);
    }
    EXPECT_EQ(resolve_shift_reduce(test_term(f.g, "a"), postfix), r.expected)
        << r.term_level << " against " << r.rule_level;
  }
  conflicts* list = conflicts_new();
  conflict_push(list, conflict{nullptr, symbol_for_endmark(), nullptr, resolution::shift});
  conflict_push(list, conflict{nullptr, symbol_for_endmark(), nullptr, resolution::reduce_by_associativity});
  conflict_push(list, conflict{nullptr, symbol_for_endmark(), nullptr, resolution::shift});
  EXPECT_EQ(conflicts_unresolved(list), 2u);
  conflicts_free(list);
}

}  // namespace
