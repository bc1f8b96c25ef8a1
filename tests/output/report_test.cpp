#include "output/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "support/item_by_item.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

struct solved {
  grammar* g;
  solver* s = solver_new();
  explicit solved(const char* text) : g(read_test_grammar(text)) {
    EXPECT_NE(g, nullptr);
    EXPECT_TRUE(solve_grammar(s, g));
  }
  ~solved() {
    solver_free(s);
    grammar_free(g);
  }
};

std::string report(const grammar* g, const solver* s) {
  testing::internal::CaptureStdout();
  print_parser(g, s);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(Report, SingleRuleGrammarPrintsBothTables) {
  solved r("%%\nS : 'a' { } ;\n");
  EXPECT_EQ(report(r.g, r.s),
            "      0    1\n"
            "a    1s     \n"
            "$         0a\n"
            "any           \n"
            "\n"
            "      0    1\n"
            "S           \n"
            "\n");
}

// Only the first rule starts, so "num" alone is no sentence: state 1 reduces on '+' only,
// and state 4 accepts on the end marker and reduces the same rule on '+' by default.
TEST(Report, DefaultRuleShowsApostrophesAndTheAnyRow) {
  solved r("%token num\n%%\nsum : sum '+' num { } | num { } ;\n");
  EXPECT_EQ(report(r.g, r.s),
            "        0    1    2    3    4\n"
            "num    1s    '        4s    '\n"
            "+            '   3s         '\n"
            "$            '             0a\n"
            "any         1r             0r\n"
            "\n"
            "        0    1    2    3    4\n"
            "sum     2                    \n"
            "\n");
}

void rename(ustring* name, std::initializer_list<codepoint> text) {
  ustring_clear(name);
  for (codepoint c : text) ustring_push(name, c);
}

TEST(Report, LabelsPadToTheWidestNameInCodePoints) {
  grammar* g = read_test_grammar("%%\nlongest : 'e' { } ;\n");
  ASSERT_NE(g, nullptr);
  rename(g->terms->items[0]->name, {0xE9});
  rename(g->nonterms->items[0]->name, {'l', 0xE4, 'n', 'g', 's', 't'});
  solver* s = solver_new();
  ASSERT_TRUE(solve_grammar(s, g));
  EXPECT_EQ(report(g, s),
            "           0    1\n"
            "\xC3\xA9         1s     \n"
            "$              0a\n"
            "any              \n"
            "\n"
            "           0    1\n"
            "l\xC3\xA4ngst           \n"
            "\n");
  solver_free(s);
  grammar_free(g);
}

// A solver put together by hand, with state numbers too wide for their cells.
struct wide_numbers {
  grammar* g = read_test_grammar("%token x\n%%\nS : x { } | { } ;\nT : x { } ;\n");
  solver* s = solver_new();
  action* row = action_new();
  state* small = state_new();
  state* big = state_new();
  wide_numbers() {
    small->id = 7;
    big->id = 123456;
    state_push(s->states, small);
    state_push(s->states, big);
    action_push(s->actions, row);
    small->action = row;
    big->action = row;
    state_map_insert(&row->shifts, test_t(g, "x"), big, nullptr);
    rule* wide_rule = test_rule(g, "S", 1);
    wide_rule->id = 98765;
    row->default_rule = wide_rule;
    rule_map_insert(&row->accepts, symbol_for_endmark(), wide_rule, nullptr);
    state_add_transition(small, test_n(g, "S"), big);  // a nonterminal one: a goto
  }
  ~wide_numbers() {
    solver_free(s);
    grammar_free(g);
  }
};

TEST(Report, WideNumbersWidenOnlyTheirOwnCells) {
  wide_numbers w;
  EXPECT_EQ(report(w.g, w.s),
            "      7123456\n"
            "x 123456s123456s\n"
            "$ 98765a98765a\n"
            "any 98765r98765r\n"
            "\n"
            "      7123456\n"
            "S 123456     \n"
            "T           \n"
            "\n");
}

TEST(Report, ActionCellsCoverEveryCase) {
  wide_numbers w;
  std::pair<symbol, const char*> cases[] = {{test_t(w.g, "x"), "123456s"}, {symbol_for_endmark(), "98765a"}};
  for (auto& [lookahead, text] : cases) {
    testing::internal::CaptureStdout();
    print_action(w.row, lookahead);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), text);
  }
  rule_map_insert(&w.row->reduces, test_t(w.g, "x"), test_rule(w.g, "T", 0), nullptr);
  state_map_free(w.row->shifts);
  w.row->shifts = nullptr;
  rule_map_free(w.row->accepts);
  w.row->accepts = nullptr;
  const char* expected[] = {"   2r", "    '", "     "};
  for (int step = 0; step < 3; ++step) {
    testing::internal::CaptureStdout();
    print_action(w.row, step == 0 ? test_t(w.g, "x") : symbol_for_endmark());
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected[step]);
    if (step == 1) w.row->default_rule = nullptr;
  }
}

// The report as described cell by cell, through print_action and formatted prints only.
std::string report_cell_by_cell(const grammar* g, const solver* s) {
  size_t width = 0;
  for (size_t i = 0; i < g->terms->count; ++i) width = std::max(width, ustring_length(g->terms->items[i]->name));
  for (size_t i = 0; i < g->nonterms->count; ++i) width = std::max(width, ustring_length(g->nonterms->items[i]->name));
  auto label = [width](const std::string& name) {
    std::string text = name;
    while (text.size() < width) text += ' ';
    std::printf("%s ", text.c_str());
  };
  auto name_of = [](const ustring* u) { return std::string(reinterpret_cast<const char*>(u->data), u->size); };
  auto header = [&]() {
    std::printf("%*s ", static_cast<int>(width), "");
    for (size_t k = 0; k < s->states->count; ++k) std::printf("%5lu", static_cast<unsigned long>(s->states->items[k]->id));
    std::printf("\n");
  };
  testing::internal::CaptureStdout();
  header();
  for (size_t i = 0; i <= g->terms->count; ++i) {
    label(i < g->terms->count ? name_of(g->terms->items[i]->name) : "$");
    symbol key = i < g->terms->count ? symbol_for_term(g->terms->items[i]) : symbol_for_endmark();
    for (size_t k = 0; k < s->states->count; ++k) print_action(s->states->items[k]->action, key);
    std::printf("\n");
  }
  label("any");
  for (size_t k = 0; k < s->states->count; ++k) {
    const rule* d = s->states->items[k]->action->default_rule;
    if (d != nullptr) {
      std::printf("%4lur", static_cast<unsigned long>(d->id));
    } else {
      std::printf("%5s", "");
    }
  }
  std::printf("\n\n");
  header();
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    label(name_of(g->nonterms->items[i]->name));
    for (size_t k = 0; k < s->states->count; ++k) {
      const state* target = state_map_find(s->states->items[k]->gotos, symbol_for_nonterm(g->nonterms->items[i]));
      if (target != nullptr) {
        std::printf("%5lu", static_cast<unsigned long>(target->id));
      } else {
        std::printf("     ");
      }
    }
    std::printf("\n");
  }
  std::printf("\n");
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

constexpr const char* expressions =
    "%token NUM ID\n%%\n"
    "stmt : ID '=' expr ';' { } | expr ';' { } ;\n"
    "expr : expr '+' term { } | expr '-' term { } | term { } ;\n"
    "term : term '*' factor { } | factor { } ;\n"
    "factor : NUM { } | ID { } | '(' expr ')' { } | '-' factor { } ;\n";

TEST(Report, AgreesWithTheCellByCellReport) {
  solved r(expressions);
  EXPECT_EQ(report(r.g, r.s), report_cell_by_cell(r.g, r.s));
}

TEST(Report, AgreesWhenRecordsAreOutOfAddressOrder) {
  solved r(expressions);
  // Rows are printed in array order; reversing the arrays defeats the forward walk.
  for (size_t i = 0, j = r.g->terms->count - 1; i < j; ++i, --j) std::swap(r.g->terms->items[i], r.g->terms->items[j]);
  for (size_t i = 0, j = r.g->nonterms->count - 1; i < j; ++i, --j) {
    std::swap(r.g->nonterms->items[i], r.g->nonterms->items[j]);
  }
  EXPECT_EQ(report(r.g, r.s), report_cell_by_cell(r.g, r.s));
}

TEST(Report, StopsAfterTheHeadersWhenNoScratchCanBeMade) {
  solved r("%%\nS : 'a' { } ;\n");
  for (size_t k = 1; k < 8; ++k) {
    memory_fail_at(k);
    std::string text = report(r.g, r.s);
    memory_fail_at(0);
    EXPECT_EQ(text.substr(0, 13), "      0    1\n");
  }
}

// A report is either whole or said to be cut short: no failed allocation may
// leave a partial report that claims to be complete.
TEST(Report, ClaimsCompletenessOnlyForTheWholeReport) {
  solved r(expressions);
  std::string whole = report(r.g, r.s);
  size_t first = memory_allocation_count();
  testing::internal::CaptureStdout();
  ASSERT_TRUE(print_parser(r.g, r.s));
  std::fflush(stdout);
  testing::internal::GetCapturedStdout();
  size_t allocations = memory_allocation_count() - first;
  size_t cut_short = 0;
  for (size_t k = 1; k <= allocations; ++k) {
    size_t live = memory_live_blocks();
    memory_fail_at(k);
    testing::internal::CaptureStdout();
    bool complete = print_parser(r.g, r.s);
    std::fflush(stdout);
    std::string text = testing::internal::GetCapturedStdout();
    memory_fail_at(0);
    EXPECT_EQ(memory_live_blocks(), live) << "allocation " << k;
    if (complete) {
      EXPECT_EQ(text, whole) << "allocation " << k;
    } else {
      ++cut_short;
      EXPECT_NE(text, whole) << "allocation " << k;
    }
  }
  EXPECT_GT(cut_short, 0u);
}

}  // namespace
