#include "lr/solver.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
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
  explicit solved(const char* text, const std::function<void(grammar*)>& prepare = nullptr)
      : g(read_test_grammar(text)) {
    EXPECT_NE(g, nullptr);
    if (prepare) prepare(g);
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
    state* target = state_transition(at(id), x);
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
  EXPECT_EQ(r.at(3)->gotos, nullptr);
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

TEST(StartSymbol, ANamedStartAcceptsEveryAlternativeWhereverItsGroupStands) {
  solved r("%token x y\n%%\nt : s x { } ;\ns : x { } | y { } ;\n",
           [](grammar* g) { g->declared_start = test_nonterm(g, "s"); });
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.s->states->count, 3u);  // the rule group of t is never entered
  for (const char* name : {"x", "y"}) {
    size_t after = r.after(0, test_t(r.g, name));
    ASSERT_NE(after, SIZE_MAX) << name;
    EXPECT_NE(rule_map_find(r.at(after)->action->accepts, symbol_for_endmark()), nullptr) << name;
  }
}

// What a state does on a terminal once its row is built.
std::string move_on(const state* st, symbol t) {
  const action* row = st->action;
  if (state_map_find(row->shifts, t) != nullptr) return "shift";
  if (rule_map_find(row->errors, t) != nullptr) return "error";
  if (const rule* r = rule_map_find(row->reduces, t)) return "reduce " + std::to_string(r->id);
  if (row->default_rule != nullptr) return "reduce " + std::to_string(row->default_rule->id);
  return "none";
}

TEST(Precedence, LevelsAndGroupingDecideEachShiftAgainstEachReduction) {
  // '<' does not group, '-' groups to the left and binds tighter, '^' groups to the right and binds tightest.
  solved r("%token NUM\n%%\ns : e { } ;\ne : e '-' e { } | e '^' e { } | e '<' e { } | NUM { } ;\n",
           [](grammar* g) {
             const std::pair<const char*, associativity> levels[] = {
                 {"<", associativity::nonassoc}, {"-", associativity::left}, {"^", associativity::right}};
             for (uint32_t k = 0; k < 3; ++k) {
               test_term(g, levels[k].first)->precedence = k + 1;
               test_term(g, levels[k].first)->assoc = levels[k].second;
             }
           });
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.messages, "");
  EXPECT_EQ(conflicts_unresolved(r.s->conflicts), 0u);
  symbol e = test_n(r.g, "e");
  size_t first = r.after(0, e);
  struct row_case {
    const char* op;
    const char* on;
    const char* move;
  };
  const row_case cases[] = {
      {"-", "-", "reduce 1"}, {"-", "^", "shift"}, {"-", "<", "reduce 1"},
      {"^", "^", "shift"},    {"^", "-", "reduce 2"}, {"^", "<", "reduce 2"},
      {"<", "<", "error"},    {"<", "-", "shift"},    {"<", "^", "shift"},
  };
  for (const row_case& c : cases) {
    size_t after = r.after(r.after(r.after(0, e), test_t(r.g, c.op)), e);
    ASSERT_NE(after, SIZE_MAX) << c.op;
    EXPECT_EQ(move_on(r.at(after), test_t(r.g, c.on)), c.move) << "e " << c.op << " e, then " << c.on;
  }
  // The state after "e < e" keeps its reduction on the end of input as an entry: no default stands in for the error.
  const state* compared = r.at(r.after(r.after(first, test_t(r.g, "<")), e));
  EXPECT_EQ(compared->action->default_rule, nullptr);
  EXPECT_EQ(rule_map_find(compared->action->reduces, symbol_for_endmark()), test_rule(r.g, "e", 2));
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
  conflicts* found = conflicts_new();
  bool ok = false;
  std::string messages;
  ~reference() {
    conflicts_free(found);
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
  return state_add_transition(from, x, target);
}

bool reference_build(reference* ref, grammar* g) {
  nonterm* start_symbol = grammar_start_symbol(g);
  if (!solve_firsts(g->nonterms) || !solve_follows(start_symbol, g->nonterms, symbol_for_endmark())) return false;
  rule* first = grammar_first_rule(g);
  item accept = item_make(first, first->symbols->count, symbol_for_endmark());
  state* start = state_new();
  if (g->declared_start == nullptr) {
    item_insert(start->items, item_make(first, 0, symbol_for_endmark()), nullptr);
  } else {
    for (size_t k = 0; k < start_symbol->rules->count; ++k) {
      item_insert(start->items, item_make(start_symbol->rules->items[k], 0, symbol_for_endmark()), nullptr);
    }
  }
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
    action* row = actions_new_for_state(st, accept, ref->found, g->declared_start);
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
  conflicts_sort(ref->found);
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

std::string transitions_text(const state* st) {
  std::string text;
  for (size_t k = 0; k < state_transition_count(st); ++k) {
    const term_transition& move = term_transitions_items(st->transitions)[k];
    text += "t" + std::to_string(move.term->id) + "->" + std::to_string(move.target->id) + " ";
  }
  return text;
}

std::string row_text(const action* row) {
  return "s " + map_text(row->shifts) + "r " + map_text(row->reduces) + "a " + map_text(row->accepts) + "e " +
         map_text(row->errors) + "d " +
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
std::string conflicts_text(const conflicts* list) {
  std::string text;
  for (size_t k = 0; k < list->count; ++k) {
    const conflict& c = list->items[k];
    text += std::to_string(c.state->id) + ":t" + std::to_string(c.lookahead.term->id) + ":r" +
            std::to_string(c.reduce->id) + ":" + resolution_text(c.how) + "\n";
  }
  return text;
}

void expect_same_automaton(const char* text, const std::function<void(grammar*)>& prepare = nullptr) {
  solved fast(text, prepare);
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
    ASSERT_EQ(conflicts_text(fast.s->conflicts), conflicts_text(ref.found)) << text;
  }
  for (size_t k = 0; k < ref.all->count; ++k) {
    const state* slow = ref.all->items[k];
    const state* quick = fast.at(k);
    item_set* items = item_set_new();
    ASSERT_TRUE(solver_state_items(fast.s, quick, items));
    EXPECT_TRUE(item_set_same(items, slow->items)) << text << " state " << k;
    item_set_free(items);
    ASSERT_EQ(transitions_text(quick), transitions_text(slow)) << text << " state " << k;
    ASSERT_EQ(map_text(quick->gotos), map_text(slow->gotos)) << text << " state " << k;
    if (!fast.ok) continue;
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

// Random precedence levels (each with one grouping) on the terminals, random
// precedence overrides on the rules and, now and then, a named start symbol.
void random_precedence(grammar* g, uint64_t seed) {
  grammar_dice dice{seed * 40503u + 7};
  associativity grouping[4];
  for (associativity& a : grouping) a = static_cast<associativity>(1 + roll(&dice, 3));
  for (size_t t = 0; t < g->terms->count; ++t) {
    term* x = g->terms->items[t];
    x->precedence = static_cast<uint32_t>(roll(&dice, 4));
    x->assoc = x->precedence == 0 ? associativity::none : grouping[x->precedence];
  }
  for (size_t n = 0; n < g->nonterms->count; ++n) {
    const rules* alternatives = g->nonterms->items[n]->rules;
    for (size_t k = 0; k < alternatives->count; ++k) {
      if (roll(&dice, 4) == 0) alternatives->items[k]->precedence = g->terms->items[roll(&dice, g->terms->count)];
    }
    if (alternatives->count > 0 && roll(&dice, 5) == 0) g->declared_start = g->nonterms->items[n];
  }
}

TEST(FastConstruction, AgreesWithTheItemByItemConstructionUnderPrecedenceAndANamedStart) {
  std::vector<size_t> seen(6, 0);
  for (uint64_t seed = 0; seed < 300; ++seed) {
    std::string text = random_grammar_text(seed);
    expect_same_automaton(text.c_str(), [seed](grammar* g) { random_precedence(g, seed); });
    if (testing::Test::HasFatalFailure()) return;
    solved again(text.c_str(), [seed](grammar* g) { random_precedence(g, seed); });
    for (size_t k = 0; again.ok && k < again.s->conflicts->count; ++k) ++seen[static_cast<size_t>(again.s->conflicts->items[k].how)];
  }
  for (size_t how = 0; how < seen.size(); ++how) EXPECT_GT(seen[how], 0u) << "resolution " << how << " never met";
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

// The statements after each keyword close over the same rules, and most
// of those states expect no terminal of their own: they take one list of
// moves on terminals, made by the first of them.
TEST(FastConstruction, AgreesWhereStatesTakeTheMovesOfTheirContext) {
  expect_same_automaton(keyword_statements_grammar);
  solved r(keyword_statements_grammar);
  ASSERT_TRUE(r.ok);
  std::map<const term_transitions*, size_t> holders;
  for (size_t k = 0; k < r.s->states->count; ++k) {
    if (r.at(k)->transitions != nullptr && r.at(k)->transitions->shared) ++holders[r.at(k)->transitions];
  }
  size_t most = 0;
  for (const auto& [moves, count] : holders) most = std::max(most, count);
  EXPECT_GE(most, 5u);  // the statements after the keywords and the labels
}

TEST(FastConstruction, AgreesOnNullableChainsAndLeftRecursion) {
  expect_same_automaton("%token x y z\n%%\nS : A B C z { } ;\nA : A x { } | B { } ;\nB : C { } | y { } ;\nC : { } | C z { } ;\n");
  expect_same_automaton("%token x\n%%\nS : { } ;\n");
  expect_same_automaton("%token x y\n%%\nS : x S y { } | S S { } | { } ;\n");
}

TEST(SolverMemory, EveryFailedAllocationReleasesEverything) {
  // The keyword statements' states share closure contexts, which are allocated too.
  for (const char* text : {"%token x y\n%%\nS : A A { } ;\nA : x A { } | y { } | { } ;\n", keyword_statements_grammar}) {
    grammar* g = read_test_grammar(text);
    ASSERT_NE(g, nullptr);
    // The FIRST and FOLLOW sets belong to the grammar: let them reach their size first.
    ASSERT_TRUE(solve_firsts(g->nonterms));
    ASSERT_TRUE(solve_follows(g->start, g->nonterms, symbol_for_endmark()));
    size_t live = memory_live_blocks();
    for (size_t k = 1;; ++k) {
      memory_fail_at(k);
      solver* s = solver_new();
      testing::internal::CaptureStderr();
      bool solved = s != nullptr && solve_grammar(s, g);
      testing::internal::GetCapturedStderr();
      memory_fail_at(0);
      solver_free(s);
      ASSERT_EQ(memory_live_blocks(), live) << "failure at allocation " << k;
      if (solved) break;
      ASSERT_LT(k, 5000u);
    }
    grammar_free(g);
  }
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
