#include "output/state_report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/grammar_objects.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

// A grammar with a comparison that does not group, a subtraction without precedence and a named start.
struct compared {
  grammar* g = read_test_grammar("%token N\n%%\ne : e '<' e { } | e '-' e { } | N { } ;\n");
  solver* s = solver_new();
  compared() {
    test_term(g, "<")->precedence = 1;
    test_term(g, "<")->assoc = associativity::nonassoc;
    g->declared_start = g->start;
    EXPECT_TRUE(solve_grammar(s, g));
  }
  ~compared() {
    solver_free(s);
    grammar_free(g);
  }
};

TEST(StateReport, ListsItemsMovesAndConflictsOfEveryState) {
  compared c;
  EXPECT_EQ(printed([&](FILE* stream) { EXPECT_TRUE(write_state_report(c.g, c.s, stream)); }),
      "Rules\n"
      "\n"
      "    0  e -> e '<' e\n"
      "    1  e -> e '-' e\n"
      "    2  e -> N\n"
      "\n"
      "7 states, 3 shift/reduce conflicts resolved by shifting, 1 resolved by precedence\n"
      "\n"
      "State 0\n"
      "\n"
      "    e -> \u2022 e '<' e   ['<' '-' $]\n"
      "    e -> \u2022 e '-' e   ['<' '-' $]\n"
      "    e -> \u2022 N   ['<' '-' $]\n"
      "\n"
      "    N  shift, go to state 1\n"
      "    e  go to state 2\n"
      "\n"
      "State 1\n"
      "\n"
      "    e -> N \u2022   ['<' '-' $]\n"
      "\n"
      "    $  accept by rule 2 (e -> N)\n"
      "    any other  reduce by rule 2 (e -> N)\n"
      "\n"
      "State 2\n"
      "\n"
      "    e -> e \u2022 '<' e   ['<' '-' $]\n"
      "    e -> e \u2022 '-' e   ['<' '-' $]\n"
      "\n"
      "    '<'  shift, go to state 3\n"
      "    '-'  shift, go to state 4\n"
      "\n"
      "State 3\n"
      "\n"
      "    e -> \u2022 e '<' e   ['<' '-' $]\n"
      "    e -> e '<' \u2022 e   ['<' '-' $]\n"
      "    e -> \u2022 e '-' e   ['<' '-' $]\n"
      "    e -> \u2022 N   ['<' '-' $]\n"
      "\n"
      "    N  shift, go to state 1\n"
      "    e  go to state 6\n"
      "\n"
      "State 4\n"
      "\n"
      "    e -> \u2022 e '<' e   ['<' '-' $]\n"
      "    e -> \u2022 e '-' e   ['<' '-' $]\n"
      "    e -> e '-' \u2022 e   ['<' '-' $]\n"
      "    e -> \u2022 N   ['<' '-' $]\n"
      "\n"
      "    N  shift, go to state 1\n"
      "    e  go to state 5\n"
      "\n"
      "State 5\n"
      "\n"
      "    e -> e \u2022 '<' e   ['<' '-' $]\n"
      "    e -> e \u2022 '-' e   ['<' '-' $]\n"
      "    e -> e '-' e \u2022   ['<' '-' $]\n"
      "\n"
      "    '<'  shift, go to state 3\n"
      "    '-'  shift, go to state 4\n"
      "    $  accept by rule 1 (e -> e '-' e)\n"
      "\n"
      "  conflict in state 5 on '<': shift e -> e \u2022 '<' e, reduce e -> e '-' e \u2022; resolved by shift (no precedence decides)\n"
      "  example: e '-' e \u2022 '<'\n"
      "  ambiguous, two derivations of e: e '-' e '<' e\n"
      "    reduce: e -> [e -> e '-' e] '<' e\n"
      "    shift:  e -> e '-' [e -> e '<' e]\n"
      "\n"
      "  conflict in state 5 on '-': shift e -> e \u2022 '-' e, reduce e -> e '-' e \u2022; resolved by shift (no precedence decides)\n"
      "  example: e '-' e \u2022 '-'\n"
      "  ambiguous, two derivations of e: e '-' e '-' e\n"
      "    reduce: e -> [e -> e '-' e] '-' e\n"
      "    shift:  e -> e '-' [e -> e '-' e]\n"
      "\n"
      "State 6\n"
      "\n"
      "    e -> e \u2022 '<' e   ['<' '-' $]\n"
      "    e -> e '<' e \u2022   ['<' '-' $]\n"
      "    e -> e \u2022 '-' e   ['<' '-' $]\n"
      "\n"
      "    '-'  shift, go to state 4\n"
      "    '<'  error (nonassociative)\n"
      "    $  accept by rule 0 (e -> e '<' e)\n"
      "\n"
      "  conflict in state 6 on '<': shift e -> e \u2022 '<' e, reduce e -> e '<' e \u2022; resolved by syntax error (nonassociative)\n"
      "  example: e '<' e \u2022 '<'\n"
      "\n"
      "  conflict in state 6 on '-': shift e -> e \u2022 '-' e, reduce e -> e '<' e \u2022; resolved by shift (no precedence decides)\n"
      "  example: e '<' e \u2022 '-'\n"
      "  ambiguous, two derivations of e: e '<' e '-' e\n"
      "    reduce: e -> [e -> e '<' e] '-' e\n"
      "    shift:  e -> e '<' [e -> e '-' e]\n");
}

TEST(StateReport, EveryFailedAllocationEndsTheReportAndReleasesEverything) {
  compared c;
  FILE* sink = std::fopen("/dev/null", "w");
  size_t live = memory_live_blocks();
  size_t before = memory_allocation_count();
  ASSERT_TRUE(write_state_report(c.g, c.s, sink));
  size_t allocations = memory_allocation_count() - before;
  for (size_t k = 1;; ++k) {
    memory_fail_at(k);
    bool complete = write_state_report(c.g, c.s, sink);
    memory_fail_at(0);
    ASSERT_EQ(memory_live_blocks(), live) << "failure at allocation " << k;
    if (complete) {
      EXPECT_EQ(k, allocations + 1);  // no failure before it passed unnoticed
      break;
    }
  }
  std::fclose(sink);
}

}  // namespace
