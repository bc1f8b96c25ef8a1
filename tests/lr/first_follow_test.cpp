#include "lr/first_follow.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

std::string set_text(const symbol_set* set) {
  std::string text;
  for (size_t i = 0; i < set->count; ++i) {
    symbol s = set->items[i];
    if (s.term != nullptr) {
      text += std::string(reinterpret_cast<const char*>(s.term->name->data), s.term->name->size);
    } else if (s.nonterm != nullptr) {
      text += std::string(reinterpret_cast<const char*>(s.nonterm->name->data), s.nonterm->name->size);
    } else {
      text += "$";
    }
    text += ' ';
  }
  return text;
}

struct solved {
  grammar* g;
  explicit solved(const char* text) : g(read_test_grammar(text)) {
    EXPECT_NE(g, nullptr);
    EXPECT_TRUE(solve_firsts(g->nonterms));
    EXPECT_TRUE(solve_follows(g->start, g->nonterms, symbol_for_endmark()));
  }
  ~solved() { grammar_free(g); }
  std::string firsts(const char* name) const { return set_text(test_nonterm(g, name)->firsts); }
  std::string follows(const char* name) const { return set_text(test_nonterm(g, name)->follows); }
  bool nullable(const char* name) const { return test_nonterm(g, name)->nullable; }
};

TEST(FirstSets, EmptyRuleMakesNullableWithEmptyFirst) {
  solved s("%%\nS : A 'x' { } ;\nA : { } ;\n");
  EXPECT_TRUE(s.nullable("A"));
  EXPECT_EQ(s.firsts("A"), "");
  testing::internal::CaptureStdout();
  nonterm_print_firsts(test_nonterm(s.g, "A"), stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " eps");
}

TEST(FirstSets, NullablePrefixLetsTheNextSymbolIn) {
  solved s("%token y z\n%%\nA : B z { } ;\nB : y { } | { } ;\n");
  EXPECT_EQ(s.firsts("A"), "y z ");
  EXPECT_FALSE(s.nullable("A"));
}

TEST(FirstSets, LeftRecursionAddsNothingOfItsOwn) {
  solved s("%token x y\n%%\nA : A x { } | y { } ;\n");
  EXPECT_EQ(s.firsts("A"), "y ");
  EXPECT_FALSE(s.nullable("A"));
}

TEST(FirstSets, NullableChainsPropagateThroughEveryLink) {
  solved s("%token z\n%%\nS : A B C z { } ;\nA : B { } ;\nB : C { } ;\nC : { } ;\n");
  EXPECT_TRUE(s.nullable("A"));
  EXPECT_TRUE(s.nullable("B"));
  EXPECT_FALSE(s.nullable("S"));
  EXPECT_EQ(s.firsts("S"), "z ");
  EXPECT_EQ(s.follows("C"), "z ");
}

TEST(FirstSets, NonterminalWithoutRulesStaysEmptyAndNotNullable) {
  solved s("%token x\n%%\nS : U x { } ;\n");
  EXPECT_EQ(s.firsts("U"), "");
  EXPECT_FALSE(s.nullable("U"));
  EXPECT_EQ(s.firsts("S"), "");
}

TEST(FollowSets, StartGetsTheEndMarkerAfterEveryTerminal) {
  solved s("%token x\n%%\nS : x { } | S x { } ;\n");
  EXPECT_EQ(s.follows("S"), "x $ ");
}

TEST(FollowSets, NullableMiddleSymbolsPassFirstsAlong) {
  solved s("%token y z w\n%%\nS : A w { } ;\nA : B D z { } ;\nB : y { } ;\nD : y { } | { } ;\n");
  EXPECT_EQ(s.follows("B"), "y z ");
  EXPECT_EQ(s.follows("D"), "z ");
  EXPECT_EQ(s.follows("A"), "w ");
}

TEST(FollowSets, LastSymbolTakesTheFollowsOfItsRule) {
  solved s("%token x\n%%\nA : x B { } ;\nB : x { } ;\n");
  EXPECT_EQ(s.follows("B"), "$ ");
}

TEST(FollowSets, FailWithoutStartOrRules) {
  grammar* g = read_test_grammar("%%\n");
  ASSERT_NE(g, nullptr);
  EXPECT_FALSE(solve_follows(g->start, g->nonterms, symbol_for_endmark()));
  grammar_free(g);
  g = read_test_grammar("%%\nS : U { } ;\n");
  ASSERT_NE(g, nullptr);
  EXPECT_FALSE(solve_follows(test_nonterm(g, "U"), g->nonterms, symbol_for_endmark()));
  grammar_free(g);
}

TEST(FirstOfSequence, StopsAtTheFirstSymbolThatCannotVanish) {
  solved s("%token y z\n%%\nS : B z { } ;\nB : y { } | { } ;\n");
  symbols* sequence = symbols_new();
  symbol_set* result = symbol_set_new();
  symbol_push_nonterm(sequence, test_nonterm(s.g, "B"));
  symbol_push(sequence, nullptr, nullptr);
  ASSERT_TRUE(solve_firsts_for_symbols(sequence, result));
  EXPECT_EQ(set_text(result), "y $ ");
  sequence->count = 0;
  symbol_push_term(sequence, test_term(s.g, "z"));
  symbol_push_nonterm(sequence, test_nonterm(s.g, "B"));
  ASSERT_TRUE(solve_firsts_for_symbols(sequence, result));
  EXPECT_EQ(set_text(result), "z ");
  symbols_free(sequence);
  symbol_set_free(result);
}

// FIRST and nullable by graph reachability, FOLLOW by the definition applied to every occurrence until stable.
struct reference_sets {
  std::set<const void*> first[8];
  std::set<const void*> follow[8];
  bool nullable[8] = {};
};

bool sequence_nullable(const reference_sets& r, const symbol* from, const symbol* to) {
  for (const symbol* s = from; s != to; ++s) {
    if (s->nonterm == nullptr || !r.nullable[s->nonterm->id]) return false;
  }
  return true;
}

reference_sets reference_for(const grammar* g) {
  reference_sets r;
  size_t n = g->nonterms->count;
  for (bool grew = true; grew;) {
    grew = false;
    for (size_t a = 0; a < n; ++a) {
      const rules* alternatives = g->nonterms->items[a]->rules;
      for (size_t k = 0; k < alternatives->count && !r.nullable[a]; ++k) {
        const symbols* rhs = alternatives->items[k]->symbols;
        if (sequence_nullable(r, rhs->items, rhs->items + rhs->count)) r.nullable[a] = grew = true;
      }
    }
  }
  // reach[a][b]: b can begin a string derived from a.
  bool reach[8][8] = {};
  for (size_t a = 0; a < n; ++a) {
    reach[a][a] = true;
    const rules* alternatives = g->nonterms->items[a]->rules;
    for (size_t k = 0; k < alternatives->count; ++k) {
      const symbols* rhs = alternatives->items[k]->symbols;
      for (size_t i = 0; i < rhs->count; ++i) {
        if (!sequence_nullable(r, rhs->items, rhs->items + i)) break;
        if (rhs->items[i].nonterm != nullptr) reach[a][rhs->items[i].nonterm->id] = true;
      }
    }
  }
  for (size_t k = 0; k < n; ++k)
    for (size_t a = 0; a < n; ++a)
      for (size_t b = 0; b < n; ++b)
        if (reach[a][k] && reach[k][b]) reach[a][b] = true;
  for (size_t a = 0; a < n; ++a) {
    for (size_t b = 0; b < n; ++b) {
      if (!reach[a][b]) continue;
      const rules* alternatives = g->nonterms->items[b]->rules;
      for (size_t k = 0; k < alternatives->count; ++k) {
        const symbols* rhs = alternatives->items[k]->symbols;
        for (size_t i = 0; i < rhs->count; ++i) {
          if (!sequence_nullable(r, rhs->items, rhs->items + i)) break;
          if (rhs->items[i].term != nullptr) r.first[a].insert(rhs->items[i].term);
        }
      }
    }
  }
  r.follow[g->start->id].insert(nullptr);
  for (bool grew = true; grew;) {
    grew = false;
    for (size_t a = 0; a < n; ++a) {
      const rules* alternatives = g->nonterms->items[a]->rules;
      for (size_t k = 0; k < alternatives->count; ++k) {
        const symbols* rhs = alternatives->items[k]->symbols;
        for (size_t i = 0; i < rhs->count; ++i) {
          if (rhs->items[i].nonterm == nullptr) continue;
          std::set<const void*>& target = r.follow[rhs->items[i].nonterm->id];
          size_t before = target.size();
          for (size_t j = i + 1; j <= rhs->count; ++j) {
            if (j == rhs->count) {
              target.insert(r.follow[a].begin(), r.follow[a].end());
              break;
            }
            symbol next = rhs->items[j];
            if (next.term != nullptr) {
              target.insert(next.term);
              break;
            }
            target.insert(r.first[next.nonterm->id].begin(), r.first[next.nonterm->id].end());
            if (!r.nullable[next.nonterm->id]) break;
          }
          if (target.size() != before) grew = true;
        }
      }
    }
  }
  return r;
}

std::set<const void*> members(const symbol_set* set) {
  std::set<const void*> result;
  for (size_t i = 0; i < set->count; ++i) result.insert(set->items[i].term);
  return result;
}

TEST(FirstAndFollowSets, AgreeWithReachabilityOnGeneratedGrammars) {
  for (uint64_t seed = 0; seed < 400; ++seed) {
    std::string text = random_grammar_text(seed);
    solved s(text.c_str());
    reference_sets expected = reference_for(s.g);
    for (size_t a = 0; a < s.g->nonterms->count; ++a) {
      const nonterm* n = s.g->nonterms->items[a];
      ASSERT_EQ(n->nullable, expected.nullable[a]) << text;
      ASSERT_EQ(members(n->firsts), expected.first[a]) << text;
      ASSERT_EQ(members(n->follows), expected.follow[a]) << text;
      for (size_t i = 1; i < n->follows->count; ++i) ASSERT_TRUE(symbol_less(n->follows->items[i - 1], n->follows->items[i]));
    }
  }
}

TEST(FirstAndFollowSets, FailCleanlyWhenAnInsertionCannotGrow) {
  grammar* g = read_test_grammar("%token x y\n%%\nS : A B { } ;\nA : x { } | { } ;\nB : y A { } ;\n");
  ASSERT_NE(g, nullptr);
  for (size_t k = 1; k < 20; ++k) {
    memory_fail_at(k);
    bool first = solve_firsts(g->nonterms);
    bool follow = first && solve_follows(g->start, g->nonterms, symbol_for_endmark());
    memory_fail_at(0);
    if (first && follow) break;
  }
  // Sets only grow: a full run after the failed ones gives the sound result.
  ASSERT_TRUE(solve_firsts(g->nonterms));
  ASSERT_TRUE(solve_follows(g->start, g->nonterms, symbol_for_endmark()));
  EXPECT_EQ(set_text(test_nonterm(g, "B")->follows), "$ ");
  EXPECT_EQ(set_text(test_nonterm(g, "A")->follows), "y $ ");
  grammar_free(g);
}

}  // namespace
