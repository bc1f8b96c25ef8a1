#include "lr/row_draft.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lr/first_follow.h"
#include "support/item_by_item.h"
#include "support/test_grammar.h"

namespace {

// One rule's completed items: its alternative of S, the lookaheads (terminal
// names, "$" for the end marker) and whether the end marker accepts.
struct completion {
  size_t alternative;
  std::vector<const char*> lookaheads;
  bool accepting;
};

// A grammar, its numbering and a draft, with one row being built.
struct drafting {
  grammar* g;
  core_table* table = nullptr;
  row_draft* draft = nullptr;
  action* row = nullptr;        // once built
  state* st = state_new();      // the state whose row is drafted
  state* target = state_new();  // where every shift goes
  explicit drafting(const char* text) : g(read_test_grammar(text)) {
    EXPECT_TRUE(solve_firsts(g->nonterms));
    table = core_table_new(g);
    draft = row_draft_new(table);
  }
  ~drafting() {
    action_free(row);
    state_free(st);
    state_free(target);
    row_draft_free(draft);
    core_table_free(table);
    grammar_free(g);
  }

  std::vector<lookahead_word> set_of(const std::vector<const char*>& names) const {
    std::vector<lookahead_word> set(table->words, 0);
    for (const char* name : names) {
      bool end = std::string(name) == "$";
      lookahead_set_add(set.data(), end ? table->end_marker_bit : table->bit_of_term[test_term(g, name)->id]);
    }
    return set;
  }

  // Adds every completion in order, with the conflict report it writes; false at the first failure.
  bool add(const std::vector<completion>& completions, std::string* report, symbol* clash) {
    bool conflicted = false;
    bool added = row_draft_begin(draft, st, completions.size());
    testing::internal::CaptureStderr();
    for (size_t k = 0; added && k < completions.size(); ++k) {
      const completion& c = completions[k];
      added = row_draft_add(draft, test_rule(g, "S", c.alternative), set_of(c.lookaheads).data(), c.accepting, clash,
                            &conflicted);
    }
    *report = testing::internal::GetCapturedStderr();
    EXPECT_EQ(conflicted, !report->empty());
    return added;
  }

  void shift(const char* name) { ASSERT_TRUE(state_add_transition(st, test_t(g, name), target)); }

  // Chooses the default rule and builds the row.
  void build() {
    row_draft_choose_default(draft);
    row = row_draft_build(draft);
    ASSERT_NE(row, nullptr);
  }

  // The finished row as text: for each terminal in declaration order, then
  // the end marker, what it does ("s" shift, "e" error, a rule id or "-"),
  // then the accept entry and the default rule.
  std::string row_text() const {
    std::string text;
    std::vector<symbol> keys;
    for (size_t i = 0; i < g->terms->count; ++i) keys.push_back(symbol_for_term(g->terms->items[i]));
    keys.push_back(symbol_for_endmark());
    for (symbol key : keys) {
      if (state_map_find(row->shifts, key) != nullptr) {
        text += "s";
      } else if (rule_map_find(row->errors, key) != nullptr) {
        text += "e";
      } else if (const rule* r = rule_map_find(row->reduces, key)) {
        text += std::to_string(r->id);
      } else {
        text += "-";
      }
    }
    const rule* accepted = rule_map_find(row->accepts, symbol_for_endmark());
    text += " a" + (accepted == nullptr ? std::string("-") : std::to_string(accepted->id));
    text += " d" + (row->default_rule == nullptr ? std::string("-") : std::to_string(row->default_rule->id));
    return text;
  }
};

constexpr const char* four_rules = "%token p q r s\n%%\nS : p { } | q { } | r { } | s { } ;\n";

TEST(RowDraft, DefaultRuleHasTheMostLookaheadsAndTheSmallestIdOnATie) {
  struct row_case {
    const char* name;
    std::vector<completion> completions;
    const char* expected;  // p q r s $, accept, default
  };
  const row_case cases[] = {
      {"tie", {{3, {"p", "q"}, false}, {1, {"r", "s"}, false}}, "33--- a- d1"},
      {"most", {{0, {"p", "$"}, true}, {2, {"q", "r"}, false}}, "0---- a0 d2"},
      {"one rule", {{1, {"p", "q", "$"}, false}}, "----- a- d1"},
      {"accept alone", {{0, {"$"}, true}}, "----- a0 d-"},
      {"nothing", {}, "----- a- d-"},
      {"end marker entry", {{2, {"$"}, false}, {3, {"p", "q"}, false}}, "----2 a- d3"},
  };
  for (const row_case& c : cases) {
    SCOPED_TRACE(c.name);
    drafting d(four_rules);
    std::string report;
    symbol clash = symbol_for_endmark();
    ASSERT_TRUE(d.add(c.completions, &report, &clash));
    d.build();
    EXPECT_EQ(d.row_text(), c.expected);
  }
}

TEST(RowDraft, FirstClashInItemOrderIsReportedWithTheStoredRuleFirst) {
  struct clash_case {
    const char* name;
    std::vector<completion> completions;
    const char* report;
    const char* clash;  // terminal name, or "$"
  };
  const clash_case cases[] = {
      {"two reductions", {{2, {"q"}, false}, {1, {"q"}, false}}, "Reduce Conflict\nS -> r\nS -> q\n", "q"},
      {"two accepts", {{0, {"$"}, true}, {2, {"$"}, true}}, "Reduce Conflict\nS -> p\nS -> r\n", "$"},
      {"accept beside a reduction", {{0, {"$"}, true}, {1, {"$"}, false}}, "", ""},
      {"third rule", {{0, {"p"}, false}, {1, {"q"}, false}, {3, {"s", "q"}, false}}, "Reduce Conflict\nS -> q\nS -> s\n", "q"},
  };
  for (const clash_case& c : cases) {
    SCOPED_TRACE(c.name);
    drafting d(four_rules);
    std::string report;
    symbol clash = test_t(d.g, "s");
    EXPECT_EQ(d.add(c.completions, &report, &clash), std::string(c.report).empty());
    EXPECT_EQ(report, c.report);
    if (*c.clash != '\0') {
      symbol expected = std::string(c.clash) == "$" ? symbol_for_endmark() : test_t(d.g, c.clash);
      EXPECT_TRUE(symbol_equals(clash, expected));
    }
  }
  // Lookaheads are met greatest first: of two shared ones, the greater is the clash.
  drafting d(four_rules);
  std::string report;
  symbol clash = symbol_for_endmark();
  EXPECT_FALSE(d.add({{0, {"p", "r"}, false}, {1, {"p", "q", "r"}, false}}, &report, &clash));
  symbol greater = symbol_less(test_t(d.g, "p"), test_t(d.g, "r")) ? test_t(d.g, "r") : test_t(d.g, "p");
  EXPECT_TRUE(symbol_equals(clash, greater));
}

TEST(RowDraft, SettlingKeepsOneSideOrMakesAnErrorAndRecordsEachTerminal) {
  // Without precedence the shift stays; "n" does not group, so it becomes an error.
  drafting d("%token p q s\n%nonassoc n\n%%\nS : p { } | q { } | s n { } | n { } ;\n");
  d.shift("p");
  d.shift("n");
  std::string report;
  symbol clash = symbol_for_endmark();
  ASSERT_TRUE(d.add({{1, {"p", "q"}, false}, {2, {"n", "s"}, false}}, &report, &clash));
  conflicts* found = conflicts_new();
  ASSERT_TRUE(row_draft_settle(d.draft, found));
  d.build();
  // p q s n $: with an error entry there is no default rule.
  EXPECT_EQ(d.row_text(), "s12e- a- d-");
  ASSERT_EQ(found->count, 2u);
  bool p_first = symbol_less(test_t(d.g, "p"), test_t(d.g, "n"));
  const conflict& on_p = found->items[p_first ? 0 : 1];
  const conflict& on_n = found->items[p_first ? 1 : 0];
  EXPECT_EQ(on_p.how, resolution::shift);
  EXPECT_EQ(on_p.reduce, test_rule(d.g, "S", 1));
  EXPECT_EQ(on_n.how, resolution::error_by_nonassociativity);
  EXPECT_EQ(on_n.reduce, test_rule(d.g, "S", 2));
  conflicts_free(found);
}

TEST(RowDraft, AnEqualDraftFindsTheBuiltRowAndAnyDifferenceMissesIt) {
  struct variant {
    const char* name;
    std::vector<const char*> shifts;
    std::vector<completion> completions;
    bool same;
  };
  const std::vector<completion> built_from = {{1, {"q", "r"}, false}, {2, {"s"}, false}, {0, {"$"}, true}};
  const variant variants[] = {
      {"equal", {"p"}, built_from, true},
      {"no shift", {}, built_from, false},
      {"another shift", {"p", "q"}, built_from, false},
      {"another default", {"p"}, {{1, {"q"}, false}, {2, {"s", "r"}, false}, {0, {"$"}, true}}, false},
      {"no accept", {"p"}, {{1, {"q", "r"}, false}, {2, {"s"}, false}}, false},
      {"reduce instead of accept", {"p"}, {{1, {"q", "r"}, false}, {2, {"s"}, false}, {0, {"$"}, false}}, false},
  };
  drafting d(four_rules);
  d.shift("p");
  std::string report;
  symbol clash = symbol_for_endmark();
  conflicts* found = conflicts_new();
  ASSERT_TRUE(d.add(built_from, &report, &clash));
  ASSERT_TRUE(row_draft_settle(d.draft, found));
  row_draft_choose_default(d.draft);
  uint64_t hash = row_draft_hash(d.draft);
  d.row = row_draft_build(d.draft);
  ASSERT_NE(d.row, nullptr);
  for (const variant& v : variants) {
    SCOPED_TRACE(v.name);
    state* other = state_new();
    for (const char* name : v.shifts) state_add_transition(other, test_t(d.g, name), d.target);
    std::swap(d.st, other);
    ASSERT_TRUE(d.add(v.completions, &report, &clash));
    ASSERT_TRUE(row_draft_settle(d.draft, found));
    row_draft_choose_default(d.draft);
    EXPECT_EQ(row_draft_matches(d.draft, d.row), v.same);
    if (v.same) {
      EXPECT_EQ(row_draft_hash(d.draft), hash);
    }
    std::swap(d.st, other);
    state_free(other);
  }
  conflicts_free(found);
}

}  // namespace
