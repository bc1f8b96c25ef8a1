#include "lr/solver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lr/first_follow.h"
#include "support/item_by_item.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

struct solved {
  grammar* g;
  solver* s = solver_new();
  bool ok = false;
  std::string messages;
  explicit solved(const char* text) : g(read_test_grammar(text)) {
    EXPECT_NE(g, nullptr);
    testing::internal::CaptureStderr();
    ok = solve_grammar(s, g);
    messages = testing::internal::GetCapturedStderr();
  }
  ~solved() {
    solver_free(s);
    grammar_free(g);
  }
  state* at(size_t id) const { return s->states->items[id]; }
  size_t after(size_t id, symbol x) const {
    state* target = state_map_find(at(id)->transitions, x);
    return target == nullptr ? SIZE_MAX : target->id;
  }
};

TEST(StateNumbering, NewestUnexploredStateGoesFirst) {
  solved r("%token x y z\n%%\ninput : list { } ;\nlist : x z { } | y z { } ;\n");
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.s->states->count, 6u);
  symbol x = test_t(r.g, "x"), y = test_t(r.g, "y"), z = test_t(r.g, "z");
  EXPECT_EQ(r.after(0, x), 1u);
  EXPECT_EQ(r.after(0, y), 2u);
  EXPECT_EQ(r.after(0, test_n(r.g, "list")), 3u);
  EXPECT_EQ(r.after(2, z), 4u);
  EXPECT_EQ(r.after(1, z), 5u);
  EXPECT_EQ(r.at(3)->transitions, nullptr);
  for (size_t k = 0; k < 6; ++k) EXPECT_EQ(r.at(k)->id, k);
}

TEST(StateNumbering, OnlyTheFirstAlternativeOfTheStartStarts) {
  solved r("%token x y\n%%\ns : x { } | y { } ;\n");
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.s->states->count, 2u);
  EXPECT_EQ(r.after(0, test_t(r.g, "x")), 1u);
  EXPECT_EQ(r.after(0, test_t(r.g, "y")), SIZE_MAX);
  EXPECT_EQ(rule_map_find(r.at(1)->action->accepts, symbol_for_endmark()), test_rule(r.g, "s", 0));
}

TEST(StateNumbering, RepeatedSuccessorReusesItsState) {
  solved r("%token x\n%%\nS : L { } ;\nL : x L { } | x { } ;\n");
  ASSERT_TRUE(r.ok);
  size_t after_x = r.after(0, test_t(r.g, "x"));
  EXPECT_EQ(r.after(after_x, test_t(r.g, "x")), after_x);
  EXPECT_EQ(r.s->states->count, 4u);
}

TEST(Conflicts, ReduceReduceFailsWithTheReport) {
  solved r("%token x\n%%\nS : T { } ;\nT : A { } | B { } ;\nA : x { } ;\nB : x { } ;\n");
  EXPECT_FALSE(r.ok);
  rule* a = test_rule(r.g, "A", 0);
  rule* b = test_rule(r.g, "B", 0);
  std::string rules = a > b ? "A -> x\nB -> x\n" : "B -> x\nA -> x\n";
  EXPECT_EQ(r.messages, "Reduce Conflict\n" + rules + "  example: x \u2022 $\n");
}

TEST(Conflicts, AlternativesOfTheStartAloneDoNotConflict) {
  solved r("%token x\n%%\nS : A { } | B { } ;\nA : x { } ;\nB : x { } ;\n");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.messages, "");
}

TEST(StateNumbering, ASolverHoldsOneAutomaton) {
  solved r("%token x\n%%\nS : x { } ;\n");
  ASSERT_TRUE(r.ok);
  EXPECT_FALSE(solve_grammar(r.s, r.g));
  EXPECT_EQ(r.s->states->count, 2u);
}

TEST(Conflicts, GrammarWithoutRulesFailsSilently) {
  solved r("%token x\n%%\n");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.messages, "");
}

TEST(RowSharing, EqualRowsAreOneRow) {
  solved r("%token x y\n%%\nS : A A { } ;\nA : x { } | y { } ;\n");
  ASSERT_TRUE(r.ok);
  EXPECT_LT(r.s->actions->count, r.s->states->count);
  size_t after_x = r.after(0, test_t(r.g, "x"));
  size_t after_y = r.after(0, test_t(r.g, "y"));
  EXPECT_NE(r.at(after_x)->action, r.at(after_y)->action);
  size_t after_a = r.after(0, test_n(r.g, "A"));
  size_t after_a_x = r.after(after_a, test_t(r.g, "x"));
  // Both reduce A : x only, on x and y or on the end marker: the default rule makes them one row.
  EXPECT_EQ(r.at(after_x)->action, r.at(after_a_x)->action);
  EXPECT_EQ(r.at(after_x)->action->default_rule, test_rule(r.g, "A", 0));
}

// The construction exactly as first described: every symbol tried, every
// state compared with every other by its full item set, rows found by a
// linear search. The fast solver must build the same automaton.
struct reference {
  states* all = states_new();
  actions* rows = actions_new();
  bool ok = false;
  std::string messages;
  ~reference() {
    actions_clear(rows);
    actions_free(rows);
    states_clear(all);
    states_free(all);
  }
};

bool reference_step(reference* ref, states* worklist, state* from, symbol x) {
  state* next = state_new_after_symbol(from, x);
  if (next == nullptr) return false;
  if (next->items->count == 0) {
    state_free(next);
    return true;
  }
  state* target = nullptr;
  for (size_t k = 0; k < ref->all->count && target == nullptr; ++k) {
    if (item_set_same(ref->all->items[k]->items, next->items)) target = ref->all->items[k];
  }
  if (target != nullptr) {
    state_free(next);
  } else {
    next->id = ref->all->count;
    state_push(ref->all, next);
    state_push(worklist, next);
    target = next;
  }
  return state_map_insert(&from->transitions, x, target, nullptr);
}

bool reference_build(reference* ref, grammar* g) {
  if (!solve_firsts(g->nonterms) || !solve_follows(g->start, g->nonterms, symbol_for_endmark())) return false;
  rule* first = grammar_first_rule(g);
  item accept = item_make(first, first->symbols->count, symbol_for_endmark());
  state* start = state_new();
  item_insert(start->items, item_make(first, 0, symbol_for_endmark()), nullptr);
  state_solve_closure(start);
  state_push(ref->all, start);
  states* worklist = states_new();
  state_push(worklist, start);
  while (worklist->count > 0) {
    state* from = state_pop(worklist);
    for (size_t t = 0; t < g->terms->count; ++t) reference_step(ref, worklist, from, symbol_for_term(g->terms->items[t]));
    for (size_t n = 0; n < g->nonterms->count; ++n) {
      reference_step(ref, worklist, from, symbol_for_nonterm(g->nonterms->items[n]));
    }
  }
  states_free(worklist);
  for (size_t k = 0; k < ref->all->count; ++k) {
    state* st = ref->all->items[k];
    action* row = actions_new_for_state(st, accept);
    if (row == nullptr) return false;
    for (size_t i = 0; i < ref->rows->count; ++i) {
      if (action_is_same(ref->rows->items[i], row)) {
        action_free(row);
        row = ref->rows->items[i];
        break;
      }
    }
    if (ref->rows->count == 0 || ref->rows->items[ref->rows->count - 1] != row) {
      bool shared = false;
      for (size_t i = 0; i < ref->rows->count; ++i) shared = shared || ref->rows->items[i] == row;
      if (!shared) action_push(ref->rows, row);
    }
    st->action = row;
    state_solve_gotos(st);
  }
  return true;
}

// A map as text of keys and the ids of their values, so that two automata can be compared.
template <typename V>
std::string map_text(const symbol_map<V>* map) {
  std::string text;
  for (; map != nullptr; map = map->next) {
    if (map->symbol.term != nullptr) {
      text += "t" + std::to_string(map->symbol.term->id);
    } else if (map->symbol.nonterm != nullptr) {
      text += "n" + std::to_string(map->symbol.nonterm->id);
    } else {
      text += "$";
    }
    text += "->" + std::to_string(symbol_map_target(map)->id) + " ";
  }
  return text;
}

std::string row_text(const action* row) {
  return "s " + map_text(row->shifts) + "r " + map_text(row->reduces) + "a " + map_text(row->accepts) + "d " +
         (row->default_rule == nullptr ? std::string("none") : std::to_string(row->default_rule->id));
}

size_t row_number(const actions* rows, const action* row) {
  for (size_t i = 0; i < rows->count; ++i) {
    if (rows->items[i] == row) return i;
  }
  return SIZE_MAX;
}

// Both constructions run on the same grammar, so that record addresses, and
// with them the order of items and of map keys, are the same for both.
void expect_same_automaton(const char* text) {
  solved fast(text);
  reference ref;
  testing::internal::CaptureStderr();
  ref.ok = reference_build(&ref, fast.g);
  ref.messages = testing::internal::GetCapturedStderr();
  ASSERT_EQ(fast.ok, ref.ok) << text;
  // The solver adds an example line after the reference's report.
  ASSERT_EQ(fast.messages.substr(0, ref.messages.size()), ref.messages) << text;
  ASSERT_EQ(fast.messages.size() > ref.messages.size(), !fast.ok) << text;
  ASSERT_EQ(fast.s->states->count, ref.all->count) << text;
  if (fast.ok) {
    ASSERT_EQ(fast.s->actions->count, ref.rows->count) << text;
  }
  for (size_t k = 0; k < ref.all->count; ++k) {
    const state* slow = ref.all->items[k];
    const state* quick = fast.at(k);
    item_set* items = item_set_new();
    ASSERT_TRUE(solver_state_items(fast.s, quick, items));
    EXPECT_TRUE(item_set_same(items, slow->items)) << text << " state " << k;
    item_set_free(items);
    ASSERT_EQ(map_text(quick->transitions), map_text(slow->transitions)) << text << " state " << k;
    if (!fast.ok) continue;
    ASSERT_EQ(map_text(quick->gotos), map_text(slow->gotos)) << text << " state " << k;
    ASSERT_EQ(row_text(quick->action), row_text(slow->action)) << text << " state " << k;
    ASSERT_EQ(row_number(fast.s->actions, quick->action), row_number(ref.rows, slow->action)) << text;
  }
}

TEST(FastConstruction, AgreesWithTheItemByItemConstructionOnGeneratedGrammars) {
  for (uint64_t seed = 0; seed < 300; ++seed) {
    std::string text = random_grammar_text(seed);
    expect_same_automaton(text.c_str());
    if (testing::Test::HasFatalFailure()) return;
  }
}

constexpr const char* statements =
    "%token NUM ID IF ELSE WHILE RETURN\n"
    "%%\n"
    "program : items { } ;\n"
    "items : items item { } | { } ;\n"
    "item : ID '(' params ')' block { } | statement { } ;\n"
    "params : params ',' ID { } | ID { } | { } ;\n"
    "block : '{' statements '}' { } ;\n"
    "statements : statements statement { } | { } ;\n"
    "statement : expr ';' { } | IF '(' expr ')' statement else_part { } | WHILE '(' expr ')' statement { }\n"
    "  | RETURN opt_expr ';' { } | block { } ;\n"
    "else_part : ELSE statement { } | { } ;\n"
    "opt_expr : expr { } | { } ;\n"
    "expr : expr '+' term { } | expr '-' term { } | term { } | ID '=' expr { } ;\n"
    "term : term '*' factor { } | factor { } ;\n"
    "factor : NUM { } | ID { } | '(' expr ')' { } | ID '(' args ')' { } ;\n"
    "args : args ',' expr { } | expr { } | { } ;\n";

TEST(FastConstruction, AgreesOnAMediumGrammarWithConflicts) { expect_same_automaton(statements); }

TEST(FastConstruction, AgreesOnNullableChainsAndLeftRecursion) {
  expect_same_automaton("%token x y z\n%%\nS : A B C z { } ;\nA : A x { } | B { } ;\nB : C { } | y { } ;\nC : { } | C z { } ;\n");
  expect_same_automaton("%token x\n%%\nS : { } ;\n");
  expect_same_automaton("%token x y\n%%\nS : x S y { } | S S { } | { } ;\n");
}

TEST(SolverMemory, EveryFailedAllocationReleasesEverything) {
  grammar* g = read_test_grammar("%token x y\n%%\nS : A A { } ;\nA : x A { } | y { } | { } ;\n");
  ASSERT_NE(g, nullptr);
  // The FIRST and FOLLOW sets belong to the grammar: let them reach their size first.
  ASSERT_TRUE(solve_firsts(g->nonterms));
  ASSERT_TRUE(solve_follows(g->start, g->nonterms, symbol_for_endmark()));
  size_t live = memory_live_blocks();
  for (size_t k = 1;; ++k) {
    memory_fail_at(k);
    solver* s = solver_new();
    bool solved = s != nullptr && solve_grammar(s, g);
    memory_fail_at(0);
    solver_free(s);
    ASSERT_EQ(memory_live_blocks(), live) << "failure at allocation " << k;
    if (solved) break;
    ASSERT_LT(k, 5000u);
  }
  grammar_free(g);
}

// A limit on the number of states stops an automaton that grows too large,
// cleanly and silently, and lets through one that fits exactly.
TEST(StateLimit, StopsTheConstructionAtTheLimitAndReleasesEverything) {
  const char* text = "%token x y z\n%%\ninput : list { } ;\nlist : x z { } | y z { } ;\n";
  size_t states = solved(text).s->states->count;
  ASSERT_EQ(states, 6u);
  for (size_t limit : {size_t{1}, size_t{2}, states - 1, states, states + 1}) {
    grammar* g = read_test_grammar(text);
    ASSERT_NE(g, nullptr);
    ASSERT_TRUE(solve_firsts(g->nonterms));
    ASSERT_TRUE(solve_follows(g->start, g->nonterms, symbol_for_endmark()));
    size_t live = memory_live_blocks();
    solver* s = solver_new();
    s->state_limit = limit;
    testing::internal::CaptureStderr();
    bool ok = solve_grammar(s, g);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ok, limit >= states) << "limit " << limit;
    EXPECT_LE(s->states->count, limit);
    solver_free(s);
    EXPECT_EQ(memory_live_blocks(), live);
    grammar_free(g);
  }
}

}  // namespace
