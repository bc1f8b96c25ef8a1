#include "lr/state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lr/first_follow.h"
#include "support/item_by_item.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

struct fixture {
  grammar* g;
  explicit fixture(const char* text) : g(read_test_grammar(text)) {
    EXPECT_NE(g, nullptr);
    solve_firsts(g->nonterms);
  }
  ~fixture() { grammar_free(g); }
  item at(const char* nonterm, size_t k, size_t mark, symbol lookahead) const {
    return item_make(test_rule(g, nonterm, k), mark, lookahead);
  }
  // The closure of the given items, as a fresh state.
  state* closed(std::initializer_list<item> kernel) const {
    state* s = state_new();
    for (item i : kernel) item_insert(s->items, i, nullptr);
    EXPECT_TRUE(state_solve_closure(s));
    return s;
  }
};

bool holds(const state* s, item i) {
  for (size_t k = 0; k < s->items->count; ++k) {
    if (item_equal(s->items->items[k], i)) return true;
  }
  return false;
}

TEST(Closure, LookaheadsComeFromFirstOfTheRestOfTheRule) {
  fixture f("%token x y z\n%%\nA : x B z { } ;\nB : y { } ;\n");
  state* s = f.closed({f.at("A", 0, 1, symbol_for_endmark())});
  EXPECT_EQ(s->items->count, 2u);
  EXPECT_TRUE(holds(s, f.at("B", 0, 0, test_t(f.g, "z"))));
  state_free(s);
}

TEST(Closure, ItemsOwnLookaheadOnlyWhenTheRestCanVanish) {
  fixture f("%token x y z\n%%\nA : x B C { } ;\nB : y { } ;\nC : z { } | { } ;\n");
  state* s = f.closed({f.at("A", 0, 1, symbol_for_endmark())});
  EXPECT_EQ(s->items->count, 3u);
  EXPECT_TRUE(holds(s, f.at("B", 0, 0, test_t(f.g, "z"))));
  EXPECT_TRUE(holds(s, f.at("B", 0, 0, symbol_for_endmark())));
  state_free(s);
}

TEST(Closure, AddsNothingForRulelessOrEmptyFirstRest) {
  fixture f("%token x\n%%\nA : U { } | B U { } ;\nB : x { } ;\n");
  state* s = f.closed({f.at("A", 0, 0, symbol_for_endmark())});
  EXPECT_EQ(s->items->count, 1u);
  state_free(s);
  s = f.closed({f.at("A", 1, 0, symbol_for_endmark())});
  EXPECT_EQ(s->items->count, 1u);  // FIRST(U $) is empty: B gets no items
  state_free(s);
}

TEST(Closure, LeftRecursionEndsAndSpreadsItsOwnFollower) {
  fixture f("%token x y\n%%\nA : A x { } | y { } ;\n");
  state* s = f.closed({f.at("A", 0, 0, symbol_for_endmark())});
  symbol x = test_t(f.g, "x");
  EXPECT_EQ(s->items->count, 3u);
  EXPECT_TRUE(holds(s, f.at("A", 0, 0, x)));
  EXPECT_TRUE(holds(s, f.at("A", 1, 0, x)));
  EXPECT_TRUE(holds(s, f.at("A", 0, 0, symbol_for_endmark())));
  state_free(s);
}

TEST(Successor, UnexpectedSymbolGivesAnEmptyState) {
  fixture f("%token x y\n%%\nA : x { } ;\n");
  state* s = f.closed({f.at("A", 0, 0, symbol_for_endmark())});
  state* next = state_new_after_symbol(s, test_t(f.g, "y"));
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->items->count, 0u);
  state_free(next);
  next = state_new_after_symbol(s, test_t(f.g, "x"));
  EXPECT_EQ(next->items->count, 1u);
  EXPECT_TRUE(holds(next, f.at("A", 0, 1, symbol_for_endmark())));
  state_free(next);
  state_free(s);
}

TEST(Successor, LookaheadsAloneKeepStatesApart) {
  fixture f("%token x y z\n%%\nS : x A y { } | z A x { } ;\nA : x { } ;\n");
  state* after_x = f.closed({f.at("S", 0, 1, symbol_for_endmark())});
  state* after_z = f.closed({f.at("S", 1, 1, symbol_for_endmark())});
  state* a1 = state_new_after_symbol(after_x, test_t(f.g, "x"));
  state* a2 = state_new_after_symbol(after_z, test_t(f.g, "x"));
  EXPECT_EQ(a1->items->count, 1u);
  EXPECT_EQ(a2->items->count, 1u);
  EXPECT_FALSE(item_set_same(a1->items, a2->items));
  for (state* s : {after_x, after_z, a1, a2}) state_free(s);
}

// Successors given in symbol order come back one by one, those on
// terminals as the transitions, the rest as the gotos; a failed allocation
// leaves the state without any.
TEST(Transitions, TerminalsAreTheTransitionsAndNonterminalsTheGotos) {
  fixture f("%token x y z\n%%\nS : A B x { } ;\nA : y { } ;\nB : z { } ;\n");
  std::vector<symbol> keys;
  for (size_t i = 0; i < f.g->terms->count; ++i) keys.push_back(symbol_for_term(f.g->terms->items[i]));
  for (size_t i = 0; i < f.g->nonterms->count; ++i) keys.push_back(symbol_for_nonterm(f.g->nonterms->items[i]));
  std::sort(keys.begin(), keys.end(), symbol_less);
  std::vector<state*> targets;
  for (size_t k = 0; k < keys.size(); ++k) targets.push_back(state_new());
  state* s = state_new();
  size_t live = memory_live_blocks();
  for (size_t k = 1;; ++k) {
    memory_fail_at(k);
    bool set = state_set_transitions(s, keys.data(), targets.data(), keys.size());
    memory_fail_at(0);
    if (set) break;
    EXPECT_EQ(memory_live_blocks(), live) << "failure at allocation " << k;
    EXPECT_EQ(s->transitions, nullptr);
    EXPECT_EQ(s->gotos, nullptr);
  }
  EXPECT_EQ(state_transition_count(s), f.g->terms->count);
  size_t gotos = 0;
  for (const state_map* node = s->gotos; node != nullptr; node = node->next) {
    EXPECT_NE(node->symbol.nonterm, nullptr);
    ++gotos;
  }
  EXPECT_EQ(gotos, f.g->nonterms->count);
  for (size_t k = 0; k < keys.size(); ++k) EXPECT_EQ(state_transition(s, keys[k]), targets[k]) << k;
  EXPECT_EQ(state_transition(s, symbol_for_endmark()), nullptr);
  ASSERT_TRUE(state_solve_gotos(s));
  state_free(s);
  for (state* t : targets) state_free(t);
}

// States with the same moves on several terminals share one list, which
// outlives them until the index is freed; moves on fewer terminals, or to
// other targets, make lists of their own; a failed allocation leaves the
// state without successors and the index as it was.
TEST(Transitions, EqualListsOfSeveralMovesAreShared) {
  fixture f("%token a b c d e\n%%\nS : a b c d e { } ;\n");
  std::vector<symbol> keys;
  for (size_t i = 0; i < f.g->terms->count; ++i) keys.push_back(symbol_for_term(f.g->terms->items[i]));
  std::sort(keys.begin(), keys.end(), symbol_less);
  state* target = state_new();
  state* other = state_new();
  std::vector<state*> targets(keys.size(), target);
  hash_index<term_transitions> shared{};
  state* first = state_new_compact();
  ASSERT_TRUE(state_share_transitions(first, &shared, keys.data(), targets.data(), keys.size()));
  size_t live = memory_live_blocks();
  state* second = state_new_compact();
  for (size_t k = 1;; ++k) {
    memory_fail_at(k);
    bool set = state_share_transitions(second, &shared, keys.data(), targets.data(), keys.size());
    memory_fail_at(0);
    if (set) break;
    EXPECT_EQ(second->transitions, nullptr);
  }
  EXPECT_EQ(second->transitions, first->transitions);
  EXPECT_TRUE(first->transitions->shared);
  EXPECT_EQ(shared.count, 1u);
  targets.back() = other;
  state* elsewhere = state_new_compact();
  ASSERT_TRUE(state_share_transitions(elsewhere, &shared, keys.data(), targets.data(), keys.size()));
  EXPECT_NE(elsewhere->transitions, first->transitions);
  EXPECT_EQ(state_transition(elsewhere, keys.back()), other);
  state* few = state_new_compact();
  ASSERT_TRUE(state_share_transitions(few, &shared, keys.data(), targets.data(), 2));
  EXPECT_FALSE(few->transitions->shared);
  EXPECT_EQ(shared.count, 2u);
  for (state* s : {first, second, elsewhere, few}) state_free(s);
  // Less the first state's record, plus the list that the index keeps for the third state.
  EXPECT_EQ(memory_live_blocks(), live);
  term_transitions_free_shared(&shared);
  EXPECT_EQ(memory_live_blocks(), live - 3);  // both shared lists and the index's slots
  state_free(target);
  state_free(other);
}

TEST(StatePrint, ListsTheItemsInsideBraces) {
  fixture f("%token x\n%%\nA : x { } ;\n");
  state* s = f.closed({f.at("A", 0, 0, symbol_for_endmark())});
  testing::internal::CaptureStdout();
  state_print(s, stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "State {\n  . x , $\n}");
  state_free(s);
  state* compact = state_new_compact();  // the construction's states hold no item set
  testing::internal::CaptureStdout();
  state_print(compact, stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "State {\n}");
  state_free(compact);
}

TEST(StateMemory, EveryFailedAllocationReleasesWhatWasMade) {
  fixture f("%token x y z\n%%\nS : A B { } ;\nA : x A { } | { } ;\nB : y { } | z B { } ;\n");
  state* start = f.closed({f.at("S", 0, 0, symbol_for_endmark())});
  size_t live = memory_live_blocks();
  for (size_t k = 1;; ++k) {
    memory_fail_at(k);
    state* next = state_new_after_symbol(start, test_t(f.g, "x"));
    bool failed = next == nullptr;
    memory_fail_at(0);
    state_free(next);
    ASSERT_EQ(memory_live_blocks(), live) << "failure at allocation " << k;
    if (!failed) break;
  }
  states* list = states_new();
  state* first = state_new();
  state* second = state_new();
  state_push(list, first);
  state_push(list, second);
  EXPECT_EQ(state_pop(list), second);
  state_free(second);
  states_clear(list);
  EXPECT_EQ(list->count, 0u);
  EXPECT_EQ(state_pop(list), nullptr);
  states_free(list);
  EXPECT_EQ(memory_live_blocks(), live);
  state_free(start);
}

}  // namespace
