// The parser runtime on hand-written tables and on the tables generated for
// grammars, compiled into this test as it is into every generated parser.
// The allocation calls are routed through counters so that a test can make
// one of them fail.
#include <gtest/gtest.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <climits>
#include <random>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "lr/solver.h"
#include "output/lookup_table.h"
#include "output/parser_writer.h"
#include "support/grammar_objects.h"
#include "support/recogniser.h"
#include "support/test_grammar.h"

namespace {

size_t allocations = 0;
size_t failing_allocation = 0;  // 0: none fails

// Counts an allocation and tells whether it is the one to fail.
bool allocation_fails() { return ++allocations == failing_allocation; }

}  // namespace

void* test_malloc(size_t size) { return allocation_fails() ? nullptr : malloc(size); }

typedef int YYSTYPE;
extern YYSTYPE yylval;

// Room for the tables of every grammar below; each test installs its own.
constexpr size_t table_room = 1 << 16;
int yypact[table_room], yycheck[table_room], yytable[table_room], yyaccept[table_room], yydefact[table_room];
int yygopact[table_room], yygocheck[table_room], yygotable[table_room], yyr1[table_room], yyr2[table_room];
int yylookup[5], yyactbase[table_room], yyactcheck[table_room], yyactvalue[table_room];
int yygotobase[table_room], yygotocheck[table_room], yygotovalue[table_room], yygotodefault[table_room];

namespace {

std::vector<int> tokens;  // what yylex returns, in order; 0 once they are used up
size_t next_token = 0;
size_t lex_calls = 0;
std::vector<int> reductions;  // rules reduced, in order
size_t reduction_budget = 0;  // 0: none; otherwise the most reductions one parse may make
char token_text[16];

// Thrown out of a parse that made more reductions than its budget allows.
struct budget_spent {};

}  // namespace

char* yytext = nullptr;

int yylex(void) {
  ++lex_calls;
  int token = next_token < tokens.size() ? tokens[next_token++] : 0;
  snprintf(token_text, sizeof token_text, "%c", token > 0 && token < 128 ? token : ' ');
  if (token == 0) token_text[0] = '\0';
  yytext = token_text;
  yylval = token;
  return token;
}

// Records the rule and makes each value the sum of its right-hand side's.
int yyaction(int yystate, YYSTYPE* result, int yysp, YYSTYPE* yyvs) {
  reductions.push_back(yystate);
  if (reduction_budget != 0 && reductions.size() > reduction_budget) throw budget_spent{};
  *result = 0;
  for (int i = yysp - yyr2[yystate]; i < yysp; ++i) *result += yyvs[i];
  return 0;
}

namespace {

std::string printed_text;  // what the runtime printed since the last parse began

}  // namespace

int test_printf(const char* format, ...) {
  char line[256];
  va_list arguments;
  va_start(arguments, format);
  int length = vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  printed_text += line;
  return length;
}

#define malloc test_malloc
#define printf test_printf
#include "output/runtime/parser_runtime.c"
#undef malloc
#undef printf

namespace {

void install(int* table, std::initializer_list<int> values) { std::copy(values.begin(), values.end(), table); }

// The runtime gathers its state records once per program; each test installs tables of its own.
void gather_rows_again() {
  parser_rows_gathered = false;
  parser_gather_rows();
}

// Installs the lookup arrays computed, as the writer computes them, from the installed tables of states states.
bool install_lookup(size_t states) {
  table_rows action_rows{yypact, yycheck, yytable, yyaccept, states};
  table_rows goto_rows{yygopact, yygocheck, yygotable, nullptr, states};
  column_map columns = lookup_columns(&action_rows, first_token_value);
  lookup_table actions{};
  lookup_table gotos{};
  size_t nonterms = 0;
  for (int i = 0; i < yygopact[states]; ++i) nonterms = std::max(nonterms, static_cast<size_t>(yygocheck[i]) + 1);
  std::fill(yygotodefault, yygotodefault + table_room, -1);
  bool built = lookup_table_build_actions(&action_rows, &columns, &actions) &&
               lookup_goto_defaults(&goto_rows, nonterms, yygotodefault) &&
               lookup_table_build_gotos(&goto_rows, yygotodefault, &gotos) && actions.length <= table_room &&
               gotos.length <= table_room;
  if (built) {
    install(yylookup, {columns.low_columns, columns.first_high, static_cast<int>(actions.length),
                       static_cast<int>(gotos.length), 0});
    std::copy(actions.base, actions.base + states, yyactbase);
    std::copy(actions.check, actions.check + actions.length, yyactcheck);
    std::copy(actions.value, actions.value + actions.length, yyactvalue);
    std::copy(gotos.base, gotos.base + states, yygotobase);
    std::copy(gotos.check, gotos.check + gotos.length, yygotocheck);
    std::copy(gotos.value, gotos.value + gotos.length, yygotovalue);
    gather_rows_again();
  }
  lookup_table_release(&actions);
  lookup_table_release(&gotos);
  return built;
}

// s : 'x' n 'y' (rule 0); n : 'z' (rule 1). States: 0, 1 after x, 2 after
// x z (reduces n by default), 3 after x n, 4 after x n y (accepts).
void install_sequence_grammar() {
  install(yypact, {0, 1, 2, 2, 3, 4});
  install(yycheck, {'x', 'z', 'y', -1});
  install(yytable, {2, 3, 5, -1});
  install(yyaccept, {0, 0, 0, 1});
  install(yydefact, {-1, -1, 1, -1, -1});
  install(yygopact, {0, 0, 1, 1, 1, 1});
  install(yygocheck, {1});
  install(yygotable, {3});
  install(yyr1, {0, 1});
  install(yyr2, {3, 1});
  install_lookup(5);
}

// list : 'i' list (rule 0, the accepting rule); list : 'i' (rule 1). Only
// the first rule is in the start state, so at least two i are needed. States:
// 0, 1 after i, 2 after i i (and more), 3 after list (accepts).
void install_list_grammar() {
  install(yypact, {0, 1, 2, 3, 4});
  install(yycheck, {'i', 'i', 'i', -1});
  install(yytable, {2, 3, 3, -1});
  install(yyaccept, {0, 0, 0, 1});
  install(yydefact, {-1, -1, 1, -1});
  install(yygopact, {0, 0, 1, 2, 2});
  install(yygocheck, {0, 0});
  install(yygotable, {3, 3});
  install(yyr1, {0, 0});
  install(yyr2, {2, 1});
  install_lookup(4);
}

struct outcome {
  int result;
  std::string printed;
};

outcome parse(const std::vector<int>& input) {
  tokens = input;
  next_token = 0;
  lex_calls = 0;
  reductions.clear();
  printed_text.clear();
  int result = yyparse();
  return {result, printed_text};
}

TEST(RuntimeParse, AcceptsAndRunsEveryReductionInOrder) {
  install_sequence_grammar();
  outcome o = parse({'x', 'z', 'y'});
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.printed, "");
  EXPECT_EQ(reductions, (std::vector<int>{1, 0}));
  EXPECT_EQ(lex_calls, 5u);  // three tokens, the end of input, and once more after acceptance
}

TEST(RuntimeParse, ReportsATokenWithoutEntryOrDefaultRule) {
  install_sequence_grammar();
  struct Case {
    std::initializer_list<int> input;
    const char* printed;
    std::vector<int> reductions;
  };
  const Case cases[] = {
      {{'x', 'y'}, "No Rule 'y'\n", {}},
      {{'y'}, "No Rule 'y'\n", {}},
      {{}, "No Rule ''\n", {}},
      {{'x', 'z'}, "No Rule ''\n", {1}},  // the default rule runs first, then the end of input has nowhere to go
      {{'x', 'z', 'y', 'x'}, "No Rule 'x'\n", {1}},
  };
  for (const Case& c : cases) {
    outcome o = parse(c.input);
    EXPECT_EQ(o.result, -1) << c.printed;
    EXPECT_EQ(o.printed, c.printed);
    EXPECT_EQ(reductions, c.reductions) << c.printed;
  }
}

TEST(RuntimeParse, ReportsAReductionWithNowhereToGo) {
  install_sequence_grammar();
  install(yygopact, {0, 0, 0, 0, 0, 0});  // state 1 loses its goto on n
  install_lookup(5);
  outcome o = parse({'x', 'z', 'y'});
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "No Goto or Accept 'y'\n");
}

TEST(RuntimeParse, PrintsNothingForTheTextOfAScannerThatNeverSetIt) {
  install_sequence_grammar();
  yytext = nullptr;
  tokens.clear();
  printed_text.clear();
  struct parser* p = parser_new();
  EXPECT_FALSE(parser_advance(p, 'y', 0));
  parser_free(p);
  EXPECT_EQ(printed_text, "No Rule ''\n");
}

TEST(RuntimeAccept, AcceptsOnlyWhenTheBottomOfTheStackIsExposed) {
  install_list_grammar();
  outcome o = parse({'i', 'i', 'i'});
  EXPECT_EQ(o.result, 0);
  // The accepting rule is reduced twice: once deep in the stack, where it is
  // an ordinary reduction, and once over the bottom entry.
  EXPECT_EQ(reductions, (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(parse({'i', 'i'}).result, 0);
  EXPECT_EQ(reductions, (std::vector<int>{1, 0}));
  EXPECT_EQ(parse({'i'}).printed, "No Rule ''\n");
}

TEST(RuntimeAccept, PassesTheValuesOfTheWholeInputUp) {
  install_list_grammar();
  tokens = {'i', 'i', 'i', 'i'};
  next_token = 0;
  struct parser* p = parser_new();
  ASSERT_TRUE(parser_scan(p));
  EXPECT_EQ(p->count, 2u);
  EXPECT_TRUE(p->accept);  // the accepting push, whose state nothing reads
  EXPECT_EQ(p->values[1], 4 * 'i');
  parser_free(p);
}

TEST(RuntimeAccept, FailsATokenThatFollowsAcceptance) {
  install_list_grammar();
  outcome o = parse({'i', 'i', 0, 'i'});
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "No Rule 'i'\n");
  EXPECT_EQ(reductions, (std::vector<int>{1, 0}));
}

TEST(RuntimeAccept, FailsATokenAfterAcceptanceIntoAState) {
  install_sequence_grammar();
  install(yygopact, {0, 1, 2, 2, 2, 2});  // state 0 gets a goto on s to state 3
  install(yygocheck, {0, 1});
  install(yygotable, {3, 3});
  install_lookup(5);
  outcome o = parse({'x', 'z', 'y', 0, 'y'});
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "No Rule 'y'\n");
}

TEST(RuntimeStack, StartsWithOneEntryAndGrowsByDoubling) {
  struct parser* p = parser_new();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->count, 1u);
  EXPECT_EQ(p->capacity, 64u);
  EXPECT_EQ(p->states[0], 0);
  EXPECT_EQ(p->values[0], 0);
  EXPECT_FALSE(p->accept);
  for (int i = 1; i < 64; ++i) ASSERT_TRUE(parser_push(p, i, i, i));
  EXPECT_EQ(p->capacity, 64u);
  ASSERT_TRUE(parser_push(p, 64, 64, 64));  // the 65th entry
  EXPECT_EQ(p->capacity, 128u);
  parser_pop(p, 63);
  EXPECT_EQ(p->count, 2u);
  EXPECT_EQ(p->capacity, 128u);
  EXPECT_EQ(p->states[1], 1);
  parser_free(p);
  parser_free(nullptr);
}

TEST(RuntimeStack, StaysUsableWhenItCannotGrow) {
  struct parser* p = parser_new();
  for (int i = 1; i < 64; ++i) ASSERT_TRUE(parser_push(p, 100 + i, 300 + i, 200 + i));
  allocations = 0;
  failing_allocation = 1;
  EXPECT_FALSE(parser_push(p, 164, 364, 264));
  EXPECT_EQ(p->capacity, 64u);
  EXPECT_EQ(p->count, 64u);
  failing_allocation = 0;
  ASSERT_TRUE(parser_push(p, 164, 364, 264));
  EXPECT_EQ(p->capacity, 128u);
  for (int i = 1; i <= 64; ++i) {
    EXPECT_EQ(p->states[i], 100 + i);
    EXPECT_EQ(p->values[i], 200 + i);
    EXPECT_EQ(p->gotos[i], 300 + i);
  }
  parser_free(p);
}

TEST(RuntimeStack, FailsTheParseWhenTheStackCannotGrow) {
  install_list_grammar();
  allocations = 0;
  failing_allocation = 2;  // the record, then the first growth
  std::vector<int> input(65, 'i');
  outcome o = parse(input);
  failing_allocation = 0;
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "Out of memory 'i'\n");
}

TEST(RuntimeStack, FailsQuietlyWhenNoStackCanBeMade) {
  install_list_grammar();
  allocations = 0;
  failing_allocation = 1;  // the record, which holds the first entries
  outcome o = parse({'i', 'i'});
  failing_allocation = 0;
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.printed, "");
  EXPECT_EQ(lex_calls, 0u);
  EXPECT_EQ(allocations, 1u);
}

// The arrays of generated C text, by name, as "int name[] = {...};" writes them.
std::map<std::string, std::vector<int>> arrays_in(const std::string& text) {
  std::map<std::string, std::vector<int>> arrays;
  for (size_t at = text.find("int "); at != std::string::npos; at = text.find("int ", at + 1)) {
    size_t open = text.find("[] = {", at);
    if (open == std::string::npos) break;
    std::vector<int>& values = arrays[text.substr(at + 4, open - at - 4)];
    const char* cursor = text.c_str() + open + 6;
    while (*cursor != '}') {
      char* end = nullptr;
      values.push_back(static_cast<int>(strtol(cursor, &end, 10)));
      cursor = *end == ',' ? end + 1 : end;
    }
  }
  return arrays;
}

// A grammar read and solved, its generated tables installed in the runtime's arrays.
struct generated {
  grammar* g = nullptr;
  solver* s = nullptr;
  bool ready = false;

  explicit generated(const std::string& text) {
    g = read_test_grammar(text.c_str());
    s = solver_new();
    testing::internal::CaptureStderr();  // conflicts are reported there
    bool solved = g != nullptr && s != nullptr && solve_grammar(s, g);
    testing::internal::GetCapturedStderr();
    if (!solved) return;
    const output_names plain{};
    std::string tables = printed([&](FILE* out) {
      write_action_tables(g, s, &plain, out);
      write_default_rules(s, &plain, out);
      write_the_gotos(s, g, &plain, out);
      write_the_rules(g, &plain, out);
      write_lookup_tables(g, s, &plain, out);
    });
    std::map<std::string, std::vector<int>> arrays = arrays_in(tables);
    ready = place(yypact, arrays["yypact"]) && place(yycheck, arrays["yycheck"]) && place(yytable, arrays["yytable"]) &&
            place(yyaccept, arrays["yyaccept"]) && place(yydefact, arrays["yydefact"]) &&
            place(yygopact, arrays["yygopact"]) && place(yygocheck, arrays["yygocheck"]) &&
            place(yygotable, arrays["yygotable"]) && place(yyr1, arrays["yyr1"]) && place(yyr2, arrays["yyr2"]) &&
            place(yylookup, arrays["yylookup"]) && place(yyactbase, arrays["yyactbase"]) &&
            place(yyactcheck, arrays["yyactcheck"]) && place(yyactvalue, arrays["yyactvalue"]) &&
            place(yygotobase, arrays["yygotobase"]) && place(yygotocheck, arrays["yygotocheck"]) &&
            place(yygotovalue, arrays["yygotovalue"]) && place(yygotodefault, arrays["yygotodefault"]);
    gather_rows_again();
  }
  ~generated() {
    solver_free(s);
    grammar_free(g);
  }

  static bool place(int* table, const std::vector<int>& values) {
    if (values.size() > table_room) return false;
    std::copy(values.begin(), values.end(), table);
    return true;
  }
};

enum class ending { accepted, rejected, looped };

void PrintTo(ending e, std::ostream* out) {
  *out << (e == ending::accepted ? "accepted" : e == ending::rejected ? "rejected" : "looped");
}

// Reductions allowed per token (the end of input counts as one): far more
// than any of the grammars below needs, and far fewer than a loop makes.
constexpr size_t reductions_per_token = 100;

// Parses terminals of the installed grammar, given by id, within a budget of
// reductions proportional to the input's length.
ending parse_within_budget(const grammar* g, const std::vector<size_t>& input) {
  tokens.clear();
  for (size_t id : input) tokens.push_back(g->terms->items[id]->value);
  next_token = 0;
  reductions.clear();
  printed_text.clear();
  reduction_budget = reductions_per_token * (input.size() + 1);
  struct parser* p = parser_new();
  ending result = ending::looped;
  try {
    result = parser_scan(p) ? ending::accepted : ending::rejected;
  } catch (const budget_spent&) {
  }
  parser_free(p);
  reduction_budget = 0;
  return result;
}

// The terminals of g, by name, as ids.
std::vector<size_t> terminals_of(const grammar* g, std::initializer_list<const char*> names) {
  std::vector<size_t> ids;
  for (const char* name : names) ids.push_back(test_term(g, name)->id);
  return ids;
}

TEST(RuntimeLoops, EndsWhereReductionsWouldRepeatForEver) {
  struct Case {
    const char* rules;
    std::initializer_list<const char*> input;
    ending expected;
  };
  const Case cases[] = {
      {"n : n n 'b' { } | { } ;", {}, ending::rejected},
      {"n : n n 'b' { } | { } ;", {"a"}, ending::rejected},
      {"n : n n 'b' { } | { } ;", {"b", "b"}, ending::accepted},
      {"list : list item { } | { } ; item : 'a' { } | { } ;", {}, ending::accepted},
      {"list : list item { } | { } ; item : 'a' { } | { } ;", {"a", "a"}, ending::accepted},
      {"s : s s { } | { } ;", {}, ending::accepted},
      {"s : s s { } | { } ;", {"a", "a"}, ending::rejected},           // the stack grows
      {"s : s s s { } | { } ;", {"a"}, ending::rejected},
      {"s : a x { } | a { } ; x : x { } | { } | x a { } ;", {"a"}, ending::accepted},
      {"s : a x { } | a { } ; x : x { } | { } | x a { } ;", {"a", "c"}, ending::rejected},  // constant depth
      {"s : x s { } | 'b' { } | s x { } ; x : { } ;", {"b"}, ending::accepted},
      {"s : x s { } | 'b' { } | s x { } ; x : { } ;", {"b", "b"}, ending::rejected},
      {"s : s { } | x { } | { } ; x : '+' { } | s { } ;", {}, ending::accepted},
      {"s : s { } | x { } | { } ; x : '+' { } | s { } ;", {"+", "+"}, ending::rejected},
      // A start symbol that derives itself: the circle through the accepting rule still accepts.
      {"s : s { } | { } | 'b' 'b' s { } ;", {"b", "b"}, ending::accepted},
  };
  for (const Case& c : cases) {
    generated parser(std::string("%token a c\n%%\n") + c.rules + "\n");
    ASSERT_TRUE(parser.ready) << c.rules;
    ending result = parse_within_budget(parser.g, terminals_of(parser.g, c.input));
    EXPECT_EQ(result, c.expected) << c.rules << " on " << c.input.size() << " tokens";
    if (result == ending::accepted) {
      EXPECT_TRUE(recogniser(parser.g, terminals_of(parser.g, c.input)).accepts()) << c.rules;
    } else {
      EXPECT_EQ(printed_text.rfind("No Rule '", 0), 0u) << printed_text;
    }
  }
}

// Every sequence of up to length terminals of g, by id.
std::vector<std::vector<size_t>> every_input(const grammar* g, size_t length) {
  std::vector<std::vector<size_t>> inputs = {{}};
  for (size_t from = 0; inputs.back().size() < length;) {
    size_t to = inputs.size();
    for (size_t k = from; k < to; ++k) {
      for (size_t t = 0; t < g->terms->count; ++t) {
        inputs.push_back(inputs[k]);
        inputs.back().push_back(t);
      }
    }
    from = to;
  }
  return inputs;
}

// Random grammars, conflicts among them, on every short input: the parser
// always ends within its budget, accepts only what the grammar derives, and
// accepts all of it when no state has two actions on one lookahead.
TEST(RuntimeLoops, AgreesWithASlowRecogniserOnRandomGrammars) {
  size_t solved = 0, with_conflicts = 0, accepted = 0;
  for (uint64_t seed = 0; seed < 1000; ++seed) {
    std::string text = random_grammar_text(seed);
    generated parser(text);
    if (!parser.ready) continue;
    ++solved;
    bool exact = !has_conflicts(parser.s);
    with_conflicts += !exact;
    for (const std::vector<size_t>& input : every_input(parser.g, 4)) {
      ending result = parse_within_budget(parser.g, input);
      bool derived = recogniser(parser.g, input).accepts();
      ASSERT_NE(result, ending::looped) << text << input.size() << " tokens";
      if (result == ending::accepted) {
        EXPECT_TRUE(derived) << text << input.size() << " tokens";
      } else if (exact) {
        EXPECT_FALSE(derived) << text << input.size() << " tokens";
      }
      accepted += result == ending::accepted;
    }
  }
  EXPECT_GT(solved, 500u);
  EXPECT_GT(with_conflicts, 100u);
  EXPECT_GT(accepted, 300u);
}

// ---------------------------------------------------------------------------
// The constant-time lookups against a scan of the written tables.

// What a state does on a symbol, as a scan of yypact, yycheck, yytable and
// yyaccept finds it (the first entry for the symbol wins), falling back on
// yydefact: the shift target + 1, or -(2 rule + 1), -(2 rule + 2) when
// accepting, or 0 for an error.
int scanned_action(int top, int symbol) {
  for (int i = yypact[top]; i < yypact[top + 1]; ++i) {
    if (yycheck[i] != symbol) continue;
    return yytable[i] > 0 ? yytable[i] : -(2 * -(yytable[i] + 1) + (yyaccept[i] == 1 ? 2 : 1));
  }
  return yydefact[top] >= 0 ? -(2 * yydefact[top] + 1) : 0;
}

// The same, through the runtime's lookups; an entry's record also holds
// what the parser reads next: the record of the state shifted to, or the
// rule reduced with its length and nonterminal.
int looked_up_action(int top, int symbol) {
  struct parser_row row = parser_row_of(top);
  const struct parser_action* action = find_action(&row, find_column(symbol));
  if (action != nullptr && action->value > 0) {
    EXPECT_EQ(action->row.actions, parser_row_of(action->value - 1).actions);
    EXPECT_EQ(action->row.gotos, parser_row_of(action->value - 1).gotos);
  } else if (action != nullptr) {
    int reduced = -(action->value + 1) / 2;
    EXPECT_EQ(action->row.rule, reduced);
    EXPECT_EQ(action->row.length, yyr2[reduced]) << "value " << action->value << " rule " << action->row.rule << " top " << top << " sym " << symbol;
    EXPECT_EQ(action->row.nonterm, yyr1[reduced] * static_cast<int>(sizeof(struct parser_goto)));
  }
  if (action != nullptr) return action->value;
  int rule = row.rule;
  return rule >= 0 ? -(2 * rule + 1) : 0;
}

int scanned_goto(int top, int nonterm) {
  for (int i = yygopact[top]; i < yygopact[top + 1]; ++i) {
    if (yygocheck[i] == nonterm) return yygotable[i];
  }
  return -1;
}

// The state that a default reduction of one symbol in state reaches from the
// exposed state, as the scan finds it, or -1 when there is none.
int scanned_goto_after(int exposed, int state) {
  if (state < 0 || yydefact[state] < 0 || yyr2[yydefact[state]] != 1) return -1;
  return scanned_goto(exposed, yyr1[yydefact[state]]);
}

// Statements that each start with one of count keywords K0, K1, ...: the
// even ones open an expression, the odd ones end their statement at once,
// and every seventh is also an operand.
std::string wide_grammar_text(size_t count) {
  std::string text = "%token ID";
  for (size_t k = 0; k < count; ++k) text += " K" + std::to_string(k);
  text += "\n%%\ninput : prog { } ;\nprog : prog stmt { } | stmt { } ;\nstmt : open e ';' { } | close ';' { } ;\n";
  std::string open = "open :", close = "close :", operand = "t : ID { } | '(' e ')' { }";
  for (size_t k = 0; k < count; ++k) {
    std::string& alternatives = k % 2 == 0 ? open : close;
    alternatives += (alternatives.back() == ':' ? " K" : " | K") + std::to_string(k) + " { }";
    if (k % 7 == 0) operand += " | K" + std::to_string(k) + " { }";
  }
  return text + open + " ;\n" + close + " ;\ne : e '+' t { } | t { } ;\n" + operand + " ;\n";
}

// Every state of each grammar, on every token number near those of its
// terminals, on the end of input and on numbers far outside: the lookups
// decide what the scan decides; and every goto agrees likewise.
TEST(RuntimeLookup, DecidesWhatAScanOfTheWrittenTablesDecides) {
  std::vector<std::string> grammars = {
      "%token N\n%%\ne : e '<' e { } | e '+' e { } | N { } | { } ;\n",  // conflicts
      "%token N\n%nonassoc '<'\n%left '+'\n%%\ne : e '<' e { } | e '+' e { } | N { } ;\n",  // errors
      "%%\ns : '<=' s { } | '<' { } | '<<' 'x' { } | { } ;\n",  // three terminals numbered '<'

      "%%\ns : 'a' { } ;\n",
      wide_grammar_text(320),
      // Levels reached from several contexts: runs of reductions of one symbol through the goto comb.
      "%token N\n%%\ns : e ';' { } | '[' e ']' { } | '{' e '}' e ':' { } ;\ne : e '+' t { } | t { } ;\n"
      "t : t '*' f { } | f { } ;\nf : u { } | '-' f { } ;\nu : N { } | '(' e ')' { } ;\n",
  };
  size_t fixed = grammars.size();
  for (uint64_t seed = 0; seed < 200; ++seed) grammars.push_back(random_grammar_text(seed));
  size_t compared = 0;
  size_t shared = 0;  // grammars whose two combs share one displacement per state
  size_t ahead_known = 0;  // gotos that know the goto two reductions on
  for (const std::string& text : grammars) {
    generated parser(text);
    ASSERT_TRUE(parser.ready || compared >= fixed) << text;
    if (!parser.ready) continue;
    shared += yylookup[4];
    std::vector<int> symbols = {-1, -2, 0, 1, INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 1, first_token_value - 1};
    for (int near = -3; near < 4; ++near) symbols.push_back(yylookup[0] + near);
    for (size_t t = 0; t < parser.g->terms->count; ++t) {
      for (int near = -1; near <= 1; ++near) symbols.push_back(parser.g->terms->items[t]->value + near);
    }
    int states = static_cast<int>(parser.s->states->count);
    int nonterms = static_cast<int>(parser.g->nonterms->count);
    for (int top = 0; top < states; ++top) {
      for (int symbol : symbols) {
        ASSERT_EQ(looked_up_action(top, symbol), scanned_action(top, symbol)) << text << "state " << top << " on " << symbol;
      }
      // A nonterminal without a goto is never looked up: a reduction always
      // exposes a state with a goto on its nonterminal.
      for (int n = 0; n < nonterms; ++n) {
        if (scanned_goto(top, n) == -1) continue;
        const struct parser_goto* found = find_goto(parser_row_of(top).gotos, n * static_cast<int>(sizeof *found));
        ASSERT_EQ(found->state, scanned_goto(top, n)) << text << "state " << top;
        ASSERT_EQ(found->row.gotos, parser_row_of(found->state).gotos) << text << "state " << top;
        // Where a goto knows the one two default reductions on, it is that one.
        if (found->ahead < 0) continue;
        const auto* ahead = reinterpret_cast<const struct parser_goto*>(reinterpret_cast<const char*>(parser_gotos) + found->ahead);
        ASSERT_EQ(ahead->state, scanned_goto_after(top, scanned_goto_after(top, found->state))) << text << "state " << top;
        ASSERT_EQ(ahead->row.gotos, parser_row_of(ahead->state).gotos) << text << "state " << top;
        ++ahead_known;
      }
    }
    ++compared;
  }
  EXPECT_GT(compared, 150u);
  EXPECT_GT(ahead_known, 0u);
  EXPECT_GT(shared, 10u);  // both layouts are met
  EXPECT_LT(shared, compared - 10);
}

// Changes, drops or doubles one token of a non-empty input in rounds 1, 2
// and 3 of every 6, so that half of the inputs stay sentences as made.
void mend_at_random(std::vector<size_t>* input, int round, size_t terminals, std::mt19937* random) {
  size_t at = (*random)() % input->size();
  int mend = round % 6;
  if (mend == 1) (*input)[at] = (*random)() % terminals;
  if (mend == 2) input->erase(input->begin() + static_cast<long>(at));
  if (mend == 3) input->insert(input->begin() + static_cast<long>(at), (*input)[at]);
}

// What a plain LR driver over the scanned tables does with an input: the
// rules it reduces, in order, and whether it accepts. It keeps nothing but
// the states, so it knows none of the runtime's records or shortcuts.
struct plain_run {
  std::vector<int> rules;
  bool accepted = false;
};

plain_run parse_plainly(const grammar* g, const std::vector<size_t>& input) {
  plain_run run;
  std::vector<int> states = {0};
  for (size_t at = 0; run.rules.size() <= reductions_per_token * (input.size() + 1);) {
    int symbol = at < input.size() ? static_cast<int>(g->terms->items[input[at]]->value) : -1;
    int action = scanned_action(states.back(), symbol);
    if (action == 0) break;
    if (action > 0) {
      states.push_back(action - 1);
      ++at;
      continue;
    }
    int rule = (-action - 1) / 2;
    run.rules.push_back(rule);
    if (static_cast<size_t>(yyr2[rule]) >= states.size()) break;
    states.resize(states.size() - static_cast<size_t>(yyr2[rule]));
    if (action % 2 == 0 && states.size() == 1) {
      run.accepted = symbol == -1;
      break;
    }
    int target = scanned_goto(states.back(), yyr1[rule]);
    if (target < 0) break;
    states.push_back(target);
  }
  return run;
}

// A sentence of g made at random by expanding the leftmost nonterminal,
// each time by a random alternative until many expansions were made, then
// by its shortest; empty when even that does not end it.
std::vector<size_t> random_sentence(const grammar* g, std::mt19937* random) {
  std::vector<size_t> sentence;
  std::vector<symbol> pending;
  const symbols* first = grammar_first_rule(g)->symbols;
  for (size_t k = first->count; k > 0; --k) pending.push_back(first->items[k - 1]);
  for (size_t expansions = 0; !pending.empty(); ++expansions) {
    if (expansions > 2000 || sentence.size() > 200) return {};
    symbol next = pending.back();
    pending.pop_back();
    if (next.term != nullptr) {
      sentence.push_back(next.term->id);
      continue;
    }
    const rules* alternatives = next.nonterm->rules;
    size_t chosen = (*random)() % alternatives->count;
    for (size_t k = 0; expansions > 40 && k < alternatives->count; ++k) {
      if (alternatives->items[k]->symbols->count < alternatives->items[chosen]->symbols->count) chosen = k;
    }
    const symbols* right = alternatives->items[chosen]->symbols;
    for (size_t k = right->count; k > 0; --k) pending.push_back(right->items[k - 1]);
  }
  return sentence;
}

// Grammars whose expressions nest several levels deep, reached from states
// with different lookaheads, so that long runs of reductions of one symbol
// go through gotos of their own as well as default ones: the runtime reduces
// exactly the rules that a plain driver over the scanned tables reduces, and
// accepts exactly when it does, on random sentences and on sentences with
// one token changed, dropped or doubled.
TEST(RuntimeLookup, ReducesWhatAPlainDriverOverTheScanReduces) {
  const std::string grammars[] = {
      keyword_statements_grammar,
      wide_grammar_text(40),
      "%token N\n%%\ns : e ';' { } | '[' e ']' { } | '{' e '}' e ':' { } ;\ne : e '+' t { } | t { } ;\n"
      "t : t '*' f { } | f { } ;\nf : u { } | '-' f { } ;\nu : N { } | '(' e ')' { } ;\n",
  };
  for (const std::string& text : grammars) {
    generated parser(text);
    ASSERT_TRUE(parser.ready) << text;
    std::mt19937 random(11);
    size_t accepted = 0;
    for (int round = 0; round < 300; ++round) {
      std::vector<size_t> input = random_sentence(parser.g, &random);
      if (input.empty()) continue;
      mend_at_random(&input, round, parser.g->terms->count, &random);
      plain_run expected = parse_plainly(parser.g, input);
      ending result = parse_within_budget(parser.g, input);
      ASSERT_EQ(reductions, expected.rules) << text << "round " << round;
      ASSERT_EQ(result == ending::accepted, expected.accepted) << text << "round " << round;
      accepted += expected.accepted;
    }
    EXPECT_GT(accepted, 50u) << text;
  }
}

// A sentence of the wide grammar, made at random: one or two statements.
std::vector<std::string> wide_sentence(std::mt19937* random, size_t count) {
  std::vector<std::string> words;
  auto keyword = [&](size_t k) { words.push_back("K" + std::to_string(k)); };
  size_t statements = 1 + (*random)() % 2;
  for (size_t s = 0; s < statements; ++s) {
    size_t k = (*random)() % count;
    keyword(k);
    for (size_t operand = 0; k % 2 == 0 && (operand == 0 || (*random)() % 3 == 0); ++operand) {
      if (operand > 0) words.push_back("+");
      size_t choice = (*random)() % 3;
      if (choice == 0) keyword((*random)() % ((count + 6) / 7) * 7);
      if (choice == 1) words.push_back("ID");
      if (choice == 2) words.insert(words.end(), {"(", "ID", ")"});
    }
    words.push_back(";");
  }
  return words;
}

// A grammar of 320 keywords: its parser accepts a random input exactly when
// the slow recogniser derives it, for sentences and for sentences with one
// token changed, dropped or doubled.
TEST(RuntimeLoops, AgreesWithTheRecogniserOnAWideGrammar) {
  const size_t keywords = 320;
  generated parser(wide_grammar_text(keywords));
  ASSERT_TRUE(parser.ready);
  ASSERT_FALSE(has_conflicts(parser.s));
  std::mt19937 random(7);
  size_t accepted = 0, rejected = 0;
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> words = wide_sentence(&random, keywords);
    std::vector<size_t> input;
    for (const std::string& word : words) input.push_back(test_term(parser.g, word.c_str())->id);
    mend_at_random(&input, round, parser.g->terms->count, &random);
    ending result = parse_within_budget(parser.g, input);
    ASSERT_EQ(result == ending::accepted, recogniser(parser.g, input).accepts()) << round;
    ASSERT_NE(result, ending::looped);
    (result == ending::accepted ? accepted : rejected)++;
  }
  EXPECT_GT(accepted, 90u);
  EXPECT_GT(rejected, 50u);
}

}  // namespace
