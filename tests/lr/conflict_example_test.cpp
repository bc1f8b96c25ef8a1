#include "lr/conflict_example.h"

#include <gtest/gtest.h>

#include <string>

#include "lr/ambiguity.h"
#include "support/test_grammar.h"

namespace {

// Every conflict of a grammar, whose first rule group is its named start symbol, explained with a search.
std::string explained(const char* text) {
  grammar* g = read_test_grammar(text);
  EXPECT_NE(g, nullptr);
  if (g == nullptr) return "";
  g->declared_start = g->start;
  solver* s = solver_new();
  EXPECT_TRUE(solve_grammar(s, g));
  state_paths* paths = state_paths_new(s);
  ustring* lines = ustring_new();
  size_t trees_left = ambiguity_search_budget;
  for (size_t k = 0; k < s->conflicts->count; ++k) {
    EXPECT_TRUE(explain_conflict(g, s, paths, s->conflicts->items[k], &trees_left, lines));
  }
  std::string out(reinterpret_cast<const char*>(lines->data), lines->size);
  ustring_free(lines);
  state_paths_free(paths);
  solver_free(s);
  grammar_free(g);
  return out;
}

TEST(ConflictExample, DanglingElseShowsTheShortestWayInAndBothDerivations) {
  EXPECT_EQ(explained("%token IF ELSE X\n%%\n"
                      "stmt : IF '(' X ')' stmt { } | IF '(' X ')' stmt ELSE stmt { } | X { } ;\n"),
            "conflict in state 14 on ELSE: shift stmt -> IF '(' X ')' stmt \u2022 ELSE stmt, reduce stmt -> IF '(' X "
            "')' stmt \u2022; resolved by shift (no precedence decides)\n"
            "  example: IF '(' X ')' IF '(' X ')' stmt \u2022 ELSE\n"
            "  ambiguous, two derivations of stmt: IF '(' X ')' IF '(' X ')' stmt ELSE stmt\n"
            "    reduce: stmt -> IF '(' X ')' [stmt -> IF '(' X ')' stmt] ELSE stmt\n"
            "    shift:  stmt -> IF '(' X ')' [stmt -> IF '(' X ')' stmt ELSE stmt]\n");
}

TEST(ConflictExample, OperatorsWithoutPrecedenceShowWhichGroupingEachReadingMakes) {
  EXPECT_EQ(explained("%token N\n%%\ne : e '-' e { } | N { } ;\n"),
            "conflict in state 4 on '-': shift e -> e \u2022 '-' e, reduce e -> e '-' e \u2022; resolved by shift (no "
            "precedence decides)\n"
            "  example: e '-' e \u2022 '-'\n"
            "  ambiguous, two derivations of e: e '-' e '-' e\n"
            "    reduce: e -> [e -> e '-' e] '-' e\n"
            "    shift:  e -> e '-' [e -> e '-' e]\n");
}

TEST(ConflictExample, AConflictOfAnUnambiguousGrammarHasNoDerivations) {
  // Two symbols of lookahead would tell "q x x" from "q x y": no sentence has two derivations.
  EXPECT_EQ(explained("%%\ns : a 'x' 'x' { } | 'q' 'x' 'y' { } ;\na : 'q' { } ;\n"),
            "conflict in state 1 on 'x': shift s -> 'q' \u2022 'x' 'y', reduce a -> 'q' \u2022; resolved by shift (no "
            "precedence decides)\n"
            "  example: 'q' \u2022 'x'\n");
}

}  // namespace
