#include "lr/action.h"

#include <gtest/gtest.h>

#include <string>

#include "lr/first_follow.h"
#include "support/item_by_item.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

struct fixture {
  grammar* g;
  explicit fixture(const char* text) : g(read_test_grammar(text)) { EXPECT_NE(g, nullptr); }
  ~fixture() { grammar_free(g); }
};

constexpr const char* four_rules = "%token p q r s\n%%\nS : p { } | q { } | r { } | s { } ;\n";

TEST(DefaultRule, TieGoesToTheSmallestRuleId) {
  fixture f(four_rules);
  rule* r1 = test_rule(f.g, "S", 1);
  rule* r3 = test_rule(f.g, "S", 3);
  action* row = action_new();
  rule_map_insert(&row->reduces, test_t(f.g, "p"), r3, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "q"), r3, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "r"), r1, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "s"), r1, nullptr);
  ASSERT_TRUE(action_select_any_rule(row));
  EXPECT_EQ(row->default_rule, r1);
  EXPECT_EQ(rule_map_find(row->reduces, test_t(f.g, "p")), r3);
  EXPECT_EQ(rule_map_find(row->reduces, test_t(f.g, "q")), r3);
  EXPECT_EQ(rule_map_find(row->reduces, test_t(f.g, "r")), nullptr);
  EXPECT_EQ(row->reduces->next->next, nullptr);
  action_free(row);
}

TEST(DefaultRule, MostReductionsWinAndAcceptsDoNotCount) {
  fixture f(four_rules);
  rule* r0 = test_rule(f.g, "S", 0);
  rule* r2 = test_rule(f.g, "S", 2);
  action* row = action_new();
  ASSERT_TRUE(action_select_any_rule(row));
  EXPECT_EQ(row->default_rule, nullptr);
  rule_map_insert(&row->accepts, symbol_for_endmark(), r0, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "p"), r0, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "q"), r2, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "r"), r2, nullptr);
  ASSERT_TRUE(action_select_any_rule(row));
  EXPECT_EQ(row->default_rule, r2);
  EXPECT_EQ(rule_map_find(row->reduces, test_t(f.g, "p")), r0);
  action_free(row);
}

TEST(DefaultRule, ReductionsTakenByShiftsDoNotVote) {
  fixture f(four_rules);
  rule* r1 = test_rule(f.g, "S", 1);
  rule* r2 = test_rule(f.g, "S", 2);
  state* target = reinterpret_cast<state*>(&f);  // never dereferenced
  action* row = action_new();
  state_map_insert(&row->shifts, test_t(f.g, "p"), target, nullptr);
  state_map_insert(&row->shifts, test_t(f.g, "q"), target, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "p"), r1, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "q"), r1, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "r"), r2, nullptr);
  ASSERT_TRUE(action_select_any_rule(row));
  EXPECT_EQ(row->default_rule, r2);
  EXPECT_EQ(rule_map_find(row->reduces, test_t(f.g, "r")), nullptr);
  action_free(row);

  row = action_new();  // every reduction shifted over: no default at all
  state_map_insert(&row->shifts, test_t(f.g, "p"), target, nullptr);
  rule_map_insert(&row->reduces, test_t(f.g, "p"), r1, nullptr);
  ASSERT_TRUE(action_select_any_rule(row));
  EXPECT_EQ(row->default_rule, nullptr);
  EXPECT_EQ(rule_map_find(row->reduces, test_t(f.g, "p")), r1);
  action_free(row);
}

TEST(DefaultRule, FailedScratchLeavesTheRowUnchanged) {
  fixture f(four_rules);
  action* row = action_new();
  rule_map_insert(&row->reduces, test_t(f.g, "p"), test_rule(f.g, "S", 0), nullptr);
  size_t live = memory_live_blocks();
  memory_fail_at(1);
  EXPECT_FALSE(action_select_any_rule(row));
  EXPECT_EQ(memory_live_blocks(), live);
  EXPECT_EQ(row->default_rule, nullptr);
  EXPECT_NE(row->reduces, nullptr);
  action_free(row);
}

TEST(Conflicts, ShiftAndAcceptChecksReportTheirInvariants) {
  fixture f(four_rules);
  state* one = state_new();
  state* two = state_new();
  action* row = action_new();
  ASSERT_TRUE(action_add_shift(row, test_t(f.g, "p"), one));
  ASSERT_TRUE(action_add_shift(row, test_t(f.g, "p"), one));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(action_add_shift(row, test_t(f.g, "p"), two));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Shift conflict on terminal 'p'\n");
  item accept = item_make(test_rule(f.g, "S", 0), 1, symbol_for_endmark());
  bool conflicted = false;
  ASSERT_TRUE(action_add_completion(row, accept, true, &conflicted));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(action_add_completion(row, accept, true, &conflicted));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Accept conflict on lookahead symbol\n");
  EXPECT_FALSE(conflicted);
  // A reduction on the end marker beside the accept entry is no conflict.
  ASSERT_TRUE(action_add_completion(row, item_make(test_rule(f.g, "S", 1), 1, symbol_for_endmark()), false, &conflicted));
  // Two start rules accepting on the end marker are two reductions in one place.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(action_add_completion(row, item_make(test_rule(f.g, "S", 2), 1, symbol_for_endmark()), true, &conflicted));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Reduce Conflict\nS -> p\nS -> r\n");
  EXPECT_TRUE(conflicted);
  action_free(row);
  state_free(one);
  state_free(two);
}

TEST(Conflicts, ReduceReportNamesTheStoredRuleFirst) {
  fixture f(four_rules);
  action* row = action_new();
  bool conflicted = false;
  ASSERT_TRUE(action_add_completion(row, item_make(test_rule(f.g, "S", 2), 1, test_t(f.g, "q")), false, &conflicted));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(action_add_completion(row, item_make(test_rule(f.g, "S", 1), 1, test_t(f.g, "q")), false, &conflicted));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Reduce Conflict\nS -> r\nS -> q\n");
  action_free(row);
}

// The row of a state built item by item: its closure plus transitions to stand-in targets.
struct literal_state {
  fixture f;
  state* s = state_new();
  state* target = state_new();
  item accept;
  explicit literal_state(const char* text, const char* start_nonterm) : f(text) {
    solve_firsts(f.g->nonterms);
    rule* first = test_rule(f.g, start_nonterm, 0);
    accept = item_make(first, first->symbols->count, symbol_for_endmark());
  }
  ~literal_state() {
    state_free(s);
    state_free(target);
  }
};

TEST(RowForState, ShiftAndReduceOnOneTerminalKeepTheShiftAndRecordTheConflict) {
  literal_state l("%token x\n%%\nS : A x { } ;\nA : x { } | { } ;\n", "S");
  item_insert(l.s->items, item_make(test_rule(l.f.g, "S", 0), 0, symbol_for_endmark()), nullptr);
  ASSERT_TRUE(state_solve_closure(l.s));
  state_add_transition(l.s, test_t(l.f.g, "x"), l.target);
  conflicts* found = conflicts_new();
  testing::internal::CaptureStderr();
  action* row = actions_new_for_state(l.s, l.accept, found);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(state_map_find(row->shifts, test_t(l.f.g, "x")), l.target);
  EXPECT_EQ(row->default_rule, nullptr);  // the only reduction is shifted over
  EXPECT_EQ(row->reduces, nullptr);
  ASSERT_EQ(found->count, 1u);
  EXPECT_EQ(found->items[0].state, l.s);
  EXPECT_TRUE(symbol_equals(found->items[0].lookahead, test_t(l.f.g, "x")));
  EXPECT_EQ(found->items[0].reduce, test_rule(l.f.g, "A", 1));
  EXPECT_EQ(found->items[0].how, resolution::shift);
  EXPECT_EQ(conflicts_unresolved(found), 1u);
  conflicts_free(found);
  action_free(row);
}

TEST(RowForState, AcceptItemAloneGivesAnAcceptEntryAndNoDefault) {
  literal_state l("%token x\n%%\nS : x { } ;\n", "S");
  item_insert(l.s->items, l.accept, nullptr);
  action* row = actions_new_for_state(l.s, l.accept);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(rule_map_find(row->accepts, symbol_for_endmark()), test_rule(l.f.g, "S", 0));
  EXPECT_EQ(row->reduces, nullptr);
  EXPECT_EQ(row->default_rule, nullptr);
  action_free(row);
}

TEST(RowForState, FirstConflictInItemOrderIsReported) {
  literal_state l("%token x\n%%\nS : T { } ;\nT : A { } | B { } ;\nA : x { } ;\nB : x { } ;\n", "S");
  rule* a = test_rule(l.f.g, "A", 0);
  rule* b = test_rule(l.f.g, "B", 0);
  item_insert(l.s->items, item_make(a, 1, symbol_for_endmark()), nullptr);
  item_insert(l.s->items, item_make(b, 1, symbol_for_endmark()), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(actions_new_for_state(l.s, l.accept), nullptr);
  std::string expected = a > b ? "Reduce Conflict\nA -> x\nB -> x\n" : "Reduce Conflict\nB -> x\nA -> x\n";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
}

TEST(RowSharing, AnyDifferenceSeparatesRows) {
  fixture f(four_rules);
  state* target = state_new();
  action* left = action_new();
  action* right = action_new();
  EXPECT_TRUE(action_is_same(left, right));
  rule_map_insert(&left->reduces, test_t(f.g, "p"), test_rule(f.g, "S", 0), nullptr);
  EXPECT_FALSE(action_is_same(left, right));
  rule_map_insert(&right->reduces, test_t(f.g, "p"), test_rule(f.g, "S", 0), nullptr);
  EXPECT_TRUE(action_is_same(left, right));
  state_map_insert(&left->shifts, test_t(f.g, "q"), target, nullptr);
  EXPECT_FALSE(action_is_same(left, right));
  state_map_insert(&right->shifts, test_t(f.g, "q"), target, nullptr);
  right->default_rule = test_rule(f.g, "S", 3);
  EXPECT_FALSE(action_is_same(left, right));
  left->default_rule = right->default_rule;
  rule_map_insert(&left->accepts, symbol_for_endmark(), test_rule(f.g, "S", 0), nullptr);
  EXPECT_FALSE(action_is_same(left, right));
  actions* rows = actions_new();
  action_push(rows, left);
  action_push(rows, right);
  actions_clear(rows);
  EXPECT_EQ(rows->count, 0u);
  actions_free(rows);
  state_free(target);
}

}  // namespace
