#include "output/parser_writer.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/captured_diagnostics.h"
#include "support/commands.h"
#include "support/precedence_recogniser.h"
#include "support/test_grammar.h"
#include "grammar/grammar_reader.h"
#include "output/parser_code.h"
#include "text/memory.h"

namespace {

// The default spelling of every name, with no line directives.
const parser_options plain_parser{};
const output_names* const plain_names = &plain_parser.names;

// Reads text as a grammar file; fails the test when it does not read.
grammar* read_grammar(const std::string& text) {
  grammar* g = read_test_grammar(text.c_str());
  EXPECT_NE(g, nullptr);
  return g;
}

// A read and solved grammar.
struct solved {
  grammar* g;
  solver* s;
  explicit solved(const std::string& text) : g(read_grammar(text)), s(solver_new()) { EXPECT_TRUE(solve_grammar(s, g)); }
  ~solved() {
    solver_free(s);
    grammar_free(g);
  }
};

// What write(stream) puts on a stream, and what it returned.
std::string captured(const std::function<bool(FILE*)>& write, bool* result = nullptr) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  bool returned = write(stream);
  if (result != nullptr) *result = returned;
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

const std::string runtime_text(reinterpret_cast<const char*>(parser_code), parser_code_len);

// The generated file of a grammar, without the runtime text it must end with.
std::string generated_before_runtime(const std::string& grammar_text) {
  solved p(grammar_text);
  bool written = false;
  std::string text = captured([&](FILE* s) { return write_parser(p.g, p.s, &plain_parser, s); }, &written);
  EXPECT_TRUE(written);
  EXPECT_GE(text.size(), runtime_text.size());
  if (text.size() < runtime_text.size()) return text;
  EXPECT_EQ(text.substr(text.size() - runtime_text.size()), runtime_text);
  return text.substr(0, text.size() - runtime_text.size());
}

// The line "int name[] = {...};" of a generated file.
std::string array_line(const std::string& text, const std::string& name) {
  size_t start = text.find("int " + name + "[] = {");
  if (start == std::string::npos) return "(no " + name + ")";
  return text.substr(start, text.find('\n', start) - start);
}

const std::string symbol_struct = "\nstruct symbol {\n    const char* name;\n};\n\n";
const std::string action_prototype = "int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs);\n\n";
const std::string action_head =
    "int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs)\n"
    "{\n"
    "    YYSTYPE yyval;\n"
    "    memset(&yyval, 0, sizeof(yyval));\n"
    "    switch (yystate) {\n";
const std::string action_tail =
    "        default:\n"
    "            break;\n"
    "    }\n"
    "    *result = yyval;\n"
    "    return 0;\n"
    "}\n";

TEST(ParserLayout, TwoStateGrammarGivesTheWholeFile) {
  EXPECT_EQ(generated_before_runtime("%%\ns : 'a' { } ;\n"),
            symbol_struct +
                "struct symbol term0 = {\"a\"};\n"
                "\n" +
                action_prototype +
                "struct symbol nonterm0 = {\"s\"};\n"
                "\n" +
                action_head +
                "        case 0:\n"
                "{ }            break;\n"
                "        default:\n"
                "            break;\n"
                "    }\n"
                "    (void)yysp;\n"
                "    (void)yyvs;\n"
                "    *result = yyval;\n"
                "    return 0;\n"
                "}\n"
                "int yypact[] = {0, 1, 2};\n\n"
                "int yycheck[] = {97, -1};\n\n"
                "int yytable[] = {2, -1};\n\n"
                "int yyaccept[] = {0, 1};\n\n"
                "int yydefact[] = {-1, -1};\n\n"
                "int yygopact[] = {0, 0, 0};\n\n"
                "int yygocheck[] = {0};\n\n"
                "int yygotable[] = {0};\n\n"
                "int yyr1[] = {0};\n\n"
                "int yyr2[] = {1};\n\n"
                "static const int yylookup[] = {99,1114112,2,0,1};\n\n"
                "static const int yyactbase[] = {-98,1};\n\n"
                "static const int yyactcheck[] = {98,0};\n\n"
                "static const int yyactvalue[] = {2,-2};\n\n"
                "static const int yygotobase[] = {0};\n\n"
                "static const int yygotocheck[] = {0};\n\n"
                "static const int yygotovalue[] = {0};\n\n"
                "static const int yygotodefault[] = {-1};\n\n");
}

TEST(ParserLayout, PutsThePrologFirstAndTheUserCodeBetweenGotosAndRules) {
  std::string text = generated_before_runtime(
      "%{\n#include \"grammar.tab.h\"\n%}\n"
      "%token x y z\n"
      "%%\n"
      "input : list { } ;\n"
      "list : x z { } | y z { } ;\n"
      "%%\nint main(void) { return yyparse(); }\n");
  EXPECT_EQ(text.rfind("\n#include \"grammar.tab.h\"\n" + symbol_struct, 0), 0u);
  EXPECT_NE(text.find("struct symbol term0 = {\"x\"};\nstruct symbol term1 = {\"y\"};\nstruct symbol term2 = {\"z\"};\n\n" +
                      action_prototype +
                      "struct symbol nonterm0 = {\"input\"};\nstruct symbol nonterm1 = {\"list\"};\n\n" + action_head),
            std::string::npos);
  EXPECT_NE(text.find("int yygotable[] = {3};\n\n\nint main(void) { return yyparse(); }\nint yyr1[] = {0, 1, 1};\n\n"
                      "int yyr2[] = {1, 2, 2};\n\n"),
            std::string::npos);
  // States: 0, 1 after x, 2 after y, 3 after list, 4 after y z, 5 after x z.
  struct Case {
    const char* name;
    const char* line;
  };
  const Case tables[] = {
      {"yypact", "int yypact[] = {0, 2, 3, 4, 5, 5, 5};"},
      {"yycheck", "int yycheck[] = {1114112, 1114113, 1114114, 1114114, -1};"},
      {"yytable", "int yytable[] = {2, 3, 6, 5, -1};"},
      {"yyaccept", "int yyaccept[] = {0, 0, 0, 0, 1};"},
      {"yydefact", "int yydefact[] = {-1, -1, -1, -1, 2, 1};"},
      {"yygopact", "int yygopact[] = {0, 1, 1, 1, 1, 1, 1};"},
      {"yygocheck", "int yygocheck[] = {1};"},
      {"yygotable", "int yygotable[] = {3};"},
  };
  for (const Case& c : tables) EXPECT_EQ(array_line(text, c.name), c.line);
}

TEST(ParserLayout, GivesTerminalsSharingAFirstCharacterOneEntryEach) {
  std::string text = generated_before_runtime("%%\ns : t { } ;\nt : '+' { } | '+=' { } ;\n");
  EXPECT_EQ(array_line(text, "yycheck"), "int yycheck[] = {43, 43, -1};");
  EXPECT_EQ(array_line(text, "yytable"), "int yytable[] = {2, 3, -1};");
}

TEST(ParserLayout, EscapesNamesThatWouldBreakTheStringLiteral) {
  std::string text = generated_before_runtime("%%\ns : '\"' '\\' 'a?\?/' '?' { } ;\n");
  EXPECT_NE(text.find("struct symbol term0 = {\"\\\"\"};\n"
                      "struct symbol term1 = {\"\\\\\"};\n"
                      "struct symbol term2 = {\"a?\\?/\"};\n"
                      "struct symbol term3 = {\"?\"};\n"),
            std::string::npos);
}

TEST(ParserLayout, EmbedsTheRuntimeSourceByteForByte) {
  std::filesystem::path source = std::filesystem::path(__FILE__).parent_path() / "../../src/output/runtime/parser_runtime.c";
  std::ifstream file(source, std::ios::binary);
  ASSERT_TRUE(file.good()) << source;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(runtime_text, text);
}

TEST(ParserLayout, WritesArraysOnOneLine) {
  const int values[] = {0, -2, 3};
  EXPECT_EQ(captured([&](FILE* s) {
              write_c_array(s, plain_names, "yypact", values, 3);
              write_c_array(s, plain_names, "yyr2", values, 0);
              return true;
            }),
            "int yypact[] = {0, -2, 3};\n\nint yyr2[] = {0};\n\n");
}

TEST(ParserTables, WritesEndOfInputReductionsThatAreNotTheDefault) {
  // States: 0, 1 after x, 2 after t, 3 after p, 4 after q, 5 after q a, 6
  // after q b. After x the default rule is q : 'x' (rule 5, reduced on 'a'
  // and 'b'), so the reduction by p : 'x' (rule 4) at end of input needs
  // its own entry.
  std::string text = generated_before_runtime(
      "%%\ns : t { } ;\n"
      "t : p { } | q 'a' { } | q 'b' { } ;\n"
      "p : 'x' { } ;\n"
      "q : 'x' { } ;\n");
  struct Case {
    const char* name;
    const char* line;
  };
  const Case tables[] = {
      {"yypact", "int yypact[] = {0, 1, 2, 3, 3, 5, 5, 5};"},
      {"yycheck", "int yycheck[] = {120, -1, -1, 97, 98};"},
      {"yytable", "int yytable[] = {2, -5, -1, 6, 7};"},
      {"yyaccept", "int yyaccept[] = {0, 0, 1, 0, 0};"},
      {"yydefact", "int yydefact[] = {-1, 5, -1, 1, -1, 2, 3};"},
  };
  for (const Case& c : tables) EXPECT_EQ(array_line(text, c.name), c.line);
}

// A solver with one hand-made state whose row is filled by the caller.
struct one_state {
  grammar* g;
  solver* s;
  state* st;
  action* row;
  explicit one_state(const std::string& text) : g(read_grammar(text)), s(solver_new()) {
    st = state_new();
    row = action_new();
    st->action = row;
    state_push(s->states, st);
    action_push(s->actions, row);
  }
  ~one_state() {
    solver_free(s);
    grammar_free(g);
  }
};

TEST(ParserTables, OrdersEntriesShiftsFirstThenAcceptThenEndOfInputReduction) {
  one_state o("%%\ns : 'a' 'b' { } | 'c' { } ;\n");
  rule* first = o.g->start->rules->items[0];
  rule* second = o.g->start->rules->items[1];
  symbol a = symbol_for_term(o.g->terms->items[0]);
  symbol b = symbol_for_term(o.g->terms->items[1]);
  ASSERT_TRUE(state_map_insert(&o.row->shifts, a, o.st, nullptr));
  ASSERT_TRUE(rule_map_insert(&o.row->reduces, symbol_for_endmark(), second, nullptr));
  ASSERT_TRUE(rule_map_insert(&o.row->reduces, a, second, nullptr));
  ASSERT_TRUE(rule_map_insert(&o.row->reduces, b, second, nullptr));
  ASSERT_TRUE(rule_map_insert(&o.row->accepts, symbol_for_endmark(), first, nullptr));
  o.row->default_rule = first;
  std::string text = captured([&](FILE* s) {
    write_default_rules(o.s, plain_names, s);
    return write_action_tables(o.g, o.s, plain_names, s);
  });
  EXPECT_EQ(text,
            "int yydefact[] = {0};\n\n"
            "int yypact[] = {0, 4};\n\n"
            "int yycheck[] = {97, 98, -1, -1};\n\n"
            "int yytable[] = {1, -2, -1, -2};\n\n"
            "int yyaccept[] = {0, 0, 1, 0};\n\n");
}

TEST(ParserTables, EmptyAutomatonHasOneStartIndex) {
  one_state o("%%\ns : 'a' { } ;\n");
  o.s->states->count = 0;  // no state at all (the made one is still freed below)
  EXPECT_EQ(captured([&](FILE* s) { return write_action_tables(o.g, o.s, plain_names, s) && write_the_gotos(o.s, o.g, plain_names, s); }),
            "int yypact[] = {0};\n\nint yycheck[] = {0};\n\nint yytable[] = {0};\n\nint yyaccept[] = {0};\n\n"
            "int yygopact[] = {0};\n\nint yygocheck[] = {0};\n\nint yygotable[] = {0};\n\n");
  o.s->states->count = 1;
}

// Runs write_parser with the k-th allocation failing, for every k until it succeeds.
TEST(ParserFailure, EachFailedAllocationIsReportedAndLeavesNothingBehind) {
  solved p(
      "%union { int n; }\n%token <n> N\n%type <n> e\n%%\n"
      "e : e '+' N { $$ = $1 + $3; } | N { $$ = $1; } ;\n%%\n/* user code */\n");
  const std::string complete = captured([&](FILE* s) { return write_parser(p.g, p.s, &plain_parser, s); });
  const std::string user_code = "/* user code */";
  size_t seen_tables = 0, seen_gotos = 0, seen_rules = 0, seen_actions = 0, seen_lookups = 0;
  bool written = false;
  for (size_t k = 1; !written; ++k) {
    size_t live = memory_live_blocks();
    testing::internal::CaptureStderr();
    memory_fail_at(k);
    std::string text = captured([&](FILE* s) { return write_parser(p.g, p.s, &plain_parser, s); }, &written);
    memory_fail_at(0);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(memory_live_blocks(), live) << k;
    if (written) {
      EXPECT_EQ(text, complete);
      EXPECT_EQ(errors, "");
    } else if (errors == "Memory allocation failed in write_action_tables.\n") {
      ++seen_tables;
      EXPECT_EQ(text.substr(text.size() - action_tail.size()), action_tail);
    } else if (errors == "Error: failed to allocate memory for goto tables.\n") {
      ++seen_gotos;
      EXPECT_EQ(text.find("int yygopact[] = {"), std::string::npos);
      EXPECT_EQ(text.find(user_code), std::string::npos);
      EXPECT_NE(text.find("int yyr1[] = {"), std::string::npos);
      EXPECT_EQ(text.substr(text.size() - runtime_text.size()), runtime_text);
    } else if (errors == "Memory allocation failed in write_the_rules.\n") {
      ++seen_rules;
      EXPECT_NE(text.find(user_code), std::string::npos);
      EXPECT_EQ(text.find("int yyr1[] = {"), std::string::npos);
      EXPECT_EQ(text.substr(text.size() - runtime_text.size()), runtime_text);
    } else if (errors == "Memory allocation failed in write_lookup_tables.\n") {
      ++seen_lookups;
      EXPECT_NE(text.find("int yyr2[]"), std::string::npos);
      EXPECT_EQ(text.find("yylookup[]"), std::string::npos);
      EXPECT_EQ(text.substr(text.size() - runtime_text.size()), runtime_text);
    } else if (errors == "Memory allocation failed in write_actions.\n") {
      ++seen_actions;
      EXPECT_NE(text.find("int yyr2[]"), std::string::npos);
    } else {
      ADD_FAILURE() << "allocation " << k << " failed with: " << errors;
    }
  }
  EXPECT_EQ(seen_tables, 5u);  // the arrays and the scratch row
  EXPECT_EQ(seen_gotos, 4u);
  EXPECT_EQ(seen_rules, 2u);
  EXPECT_GT(seen_lookups, 6u);
  EXPECT_GT(seen_actions, 0u);
}

TEST(ParserFailure, AWriteErrorIsReportedAsFailure) {
  solved p("%%\ns : 'a' { } ;\n");
  FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(write_parser(p.g, p.s, &plain_parser, full));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Unable to write the parser source.\n");
  std::fclose(full);
}

// Through the run's sink, a writer that ran out of memory says so first.
TEST(ParserFailure, TheRunsSinkTellsExhaustedMemoryFromAWriteError) {
  solved p("%%\ns : 'a' { } ;\n");
  FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  captured_diagnostics write_error("g.y");
  parser_options to_sink{};
  to_sink.sink = &write_error.sink;
  EXPECT_FALSE(write_parser(p.g, p.s, &to_sink, full));
  EXPECT_EQ(write_error.text(), "Error: Unable to write the parser source.\n");
  std::fclose(full);
  captured_diagnostics exhausted("g.y");
  to_sink.sink = &exhausted.sink;
  bool written = true;
  for (size_t k = 1; written; ++k) {  // the first allocation whose failure fails the writer
    memory_fail_at(k);
    captured([&](FILE* s) { return write_parser(p.g, p.s, &to_sink, s); }, &written);
    memory_fail_at(0);
  }
  EXPECT_EQ(exhausted.text().rfind("g.y: error: out of memory.\nMemory allocation failed in ", 0), 0u) << exhausted.text();
}

// ---------------------------------------------------------------------------
// Generated parsers compiled with the C compiler and run.

// Every test grammar reads one input per line of standard input, one token
// per character ('.' is an early end of input), and prints "=" and the
// result of yyparse after each.
const std::string test_prolog =
    "%{\n#include <stdio.h>\n#include <string.h>\ntypedef union { int n; } YYSTYPE;\nextern YYSTYPE yylval;\nint yyparse(void);\n%}\n";
const std::string test_user_code = R"(%%
static char line[256];
static size_t position;
static char token_text[2];
char *yytext = token_text;

int yylex(void) {
    int c = line[position];
    token_text[0] = (char)c;
    if (c == '\0' || c == '\n') {
        token_text[0] = '\0';
        return 0;
    }
    ++position;
    if (c == '.') return 0;
    yylval.n = c;
    return c;
}

int main(void) {
    while (fgets(line, sizeof line, stdin) != NULL) {
        position = 0;
        printf("=%d\n", yyparse());
    }
    return 0;
}
)";

// A sanitizer build checks the generated parsers under the same checkers.
#if defined(__SANITIZE_ADDRESS__)
const std::string checker_flags = " -fsanitize=address,undefined -fno-sanitize-recover=all";
#else
const std::string checker_flags;
#endif

struct scratch_dir {
  std::filesystem::path path;
  scratch_dir() {
    char name[] = "/tmp/vellmark-parser-XXXXXX";
    path = mkdtemp(name);
  }
  ~scratch_dir() { std::filesystem::remove_all(path); }
};

// A generated parser built from the rules with the test scanner.
class compiled_parser {
 public:
  explicit compiled_parser(const std::string& rules, const std::string& declarations = "") {
    solved p(test_prolog + declarations + "%%\n" + rules + test_user_code);
    std::string source = (dir_.path / "parser.c").string();
    FILE* out = std::fopen(source.c_str(), "w");
    EXPECT_TRUE(write_parser(p.g, p.s, &plain_parser, out));
    std::fclose(out);
    std::string messages;
    int status = run_command("cc -std=c99 -Wall -Wextra -Werror" + checker_flags + " -o " +
                                 (dir_.path / "parser").string() + " " + source + " 2>&1",
                             &messages);
    EXPECT_EQ(status, 0) << messages;
    EXPECT_EQ(messages, "");
    built_ = status == 0;
  }

  // The parser's output for these input lines.
  std::string run(const std::vector<std::string>& lines) const {
    if (!built_) return "(not built)";
    std::string input = (dir_.path / "input").string();
    std::ofstream(input) << join(lines);
    std::string output;
    EXPECT_EQ(run_command((dir_.path / "parser").string() + " < " + input, &output), 0);
    return output;
  }

  const std::filesystem::path& dir() const { return dir_.path; }

 private:
  static std::string join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
  scratch_dir dir_;
  bool built_ = false;
};

TEST(GeneratedParser, AcceptsAndRejectsWithTheRuntimeMessages) {
  compiled_parser parser(
      "s : e { printf(\"s\"); } ;\n"
      "e : e '+' t { printf(\"+\"); } | t { } ;\n"
      "t : 'a' { printf(\"a\"); } | '(' e ')' { printf(\"()\"); } ;\n");
  EXPECT_EQ(parser.run({"a", "a+a", "(a+a)+a", "a+", "b", "", "a)"}),
            "as=0\n"
            "aa+s=0\n"
            "aa+()a+s=0\n"
            "aNo Rule ''\n=-1\n"
            "No Rule 'b'\n=-1\n"
            "No Rule ''\n=-1\n"
            "aNo Rule ')'\n=-1\n");
}

TEST(GeneratedParser, ComputesValuesThroughTheValueStack) {
  compiled_parser parser(
      "s : e { printf(\"%d\", $1); } ;\n"
      "e : e '+' d { $$ = $1 + $3; } | e '-' d { $$ = $1 - $3; } | d { $$ = $1; } ;\n"
      "d : '1' { $$ = 1; } | '2' { $$ = 2; } | '(' e ')' { $$ = $2; } ;\n",
      "%type <n> e d\n");
  EXPECT_EQ(parser.run({"1", "2-1-1", "2-(1-1)", "2+2+2-1"}), "1=0\n0=0\n2=0\n5=0\n");
}

TEST(GeneratedParser, ReducesByTheRightRuleAtEndOfInput) {
  // After x the default rule is q (it reduces on 'a' and 'b'); at end of
  // input the rule is p, which only its own entry can tell.
  compiled_parser parser(
      "s : t { printf(\"s\"); } ;\n"
      "t : p { printf(\"P\"); } | q 'a' { printf(\"Qa\"); } | q 'b' { printf(\"Qb\"); } ;\n"
      "p : 'x' { printf(\"p\"); } ;\n"
      "q : 'x' { printf(\"q\"); } ;\n");
  EXPECT_EQ(parser.run({"x", "xa", "xb", "xc"}), "pPs=0\nqQas=0\nqQbs=0\nqNo Rule 'c'\n=-1\n");
}

TEST(GeneratedParser, RunsTheOuterActionsOfARecursiveStartRule) {
  compiled_parser parser("list : item list { printf(\"L\"); } | item { printf(\"1\"); } ;\nitem : 'i' { } ;\n");
  // The start state holds only the first rule, so one item is not a list.
  EXPECT_EQ(parser.run({"ii", "iii", "iiii", "i"}), "1L=0\n1LL=0\n1LLL=0\nNo Rule ''\n=-1\n");
}

TEST(GeneratedParser, AcceptsWhereTheAcceptingRuleDerivesItself) {
  compiled_parser parser("n : n { printf(\"n\"); } | 'a' n { printf(\"a\"); } | 'x' { printf(\"x\"); } ;\n");
  EXPECT_EQ(parser.run({"x", "ax", "aax", "a"}), "xn=0\nxn=0\nxn=0\nNo Rule ''\n=-1\n");
}

TEST(GeneratedParser, FailsATokenAfterTheInputWasAccepted) {
  compiled_parser parser("s : 'a' { printf(\"s\"); } ;\n");
  EXPECT_EQ(parser.run({"a", "a.", "a.a"}), "s=0\ns=0\nsNo Rule 'a'\n=-1\n");
}

TEST(GeneratedParser, PrefersTheShiftWhereShiftAndReduceMeet) {
  compiled_parser parser("s : e { } ;\ne : e '+' e { printf(\"+\"); } | 'x' { printf(\"x\"); } ;\n");
  EXPECT_EQ(parser.run({"x+x+x"}), "xxx++=0\n");  // grouped to the right
}

TEST(GeneratedParser, CompilesWithQuotesAndBackslashesInTerminalNames) {
  compiled_parser parser("s : '\"' '\\' { printf(\"q\"); } ;\n");
  EXPECT_EQ(parser.run({"\"\\", "\\"}), "q=0\nNo Rule '\\'\n=-1\n");
}

// Value references in comments and literals are left as written: a comment
// naming "$5" of a shorter rule must not nest a comment into it.
TEST(GeneratedParser, KeepsCommentsAndLiteralsOfActionsIntact) {
  compiled_parser parser(
      "s : e { /* $1 is the sum; $5 does not exist */ printf(\"$1=%d $$ \", $1); } ;\n"
      "e : e '+' d { $$ = $1 + $3; /* not $$ = $1 */ } | d { $$ = $1; } ;\n"
      "d : '1' { $$ = '$' == 36; } | '2' { $$ = 2; // $2\n } ;\n",
      "%type <n> e d\n");
  EXPECT_EQ(parser.run({"1+2", "2+2+1"}), "$1=3 $$ =0\n$1=5 $$ =0\n");
}

TEST(GeneratedParser, CompilesAsCPlusPlus) {
  compiled_parser parser("s : e { } ;\ne : e '+' a { $$ = $1 + $3; } | a { $$ = $1; } ;\na : 'a' { $$ = 1; } ;\n",
                         "%type <n> e a\n");
  std::string messages;
  EXPECT_EQ(run_command("c++ -x c++ -std=c++20 -Wall -Wextra -Werror -c -o " +
                            (parser.dir() / "parser.o").string() + " " + (parser.dir() / "parser.c").string() +
                            " 2>&1",
                        &messages),
            0)
      << messages;
}

// ---------------------------------------------------------------------------
// The generated parser against a slow, obvious recogniser.

// Decides whether the start nonterminal derives a sentence, by growing the
// table of which nonterminal derives which span until nothing changes. A
// set of positions in the sentence is a bit mask.
class recogniser {
 public:
  recogniser(const grammar* g, const std::string& sentence) : g_(g), w_(sentence) {
    size_t n = w_.size();
    ends_.assign(g->nonterms->count * (n + 1), 0);
    for (bool changed = true; changed;) {
      changed = false;
      for (size_t a = 0; a < g->nonterms->count; ++a) {
        const rules* alternatives = g->nonterms->items[a]->rules;
        for (size_t k = 0; k < alternatives->count; ++k) {
          for (size_t i = 0; i <= n; ++i) {
            uint32_t& known = ends_[a * (n + 1) + i];
            uint32_t found = known | reachable(alternatives->items[k], i);
            if (found != known) changed = true;
            known = found;
          }
        }
      }
    }
  }

  bool accepts() const { return (ends_[g_->start->id * (w_.size() + 1)] >> w_.size()) & 1u; }

 private:
  // The positions where the right-hand side of r can end when it starts at i.
  uint32_t reachable(const rule* r, size_t i) const {
    size_t n = w_.size();
    uint32_t at = uint32_t{1} << i;
    for (size_t m = 0; m < r->symbols->count && at != 0; ++m) {
      symbol x = r->symbols->items[m];
      uint32_t next = 0;
      for (size_t p = 0; p <= n; ++p) {
        if (((at >> p) & 1u) == 0) continue;
        if (x.term == nullptr) {
          next |= ends_[x.nonterm->id * (n + 1) + p];
        } else if (p < n && static_cast<unsigned char>(w_[p]) == x.term->value) {
          next |= uint32_t{1} << (p + 1);
        }
      }
      at = next;
    }
    return at;
  }

  const grammar* g_;
  std::string w_;
  std::vector<uint32_t> ends_;  // by nonterminal and start: where a span it derives can end
};

// Every word over the alphabet up to the given length, the empty word first.
std::vector<std::string> all_words(const std::string& alphabet, size_t longest) {
  std::vector<std::string> words{""};
  for (size_t start = 0; start < words.size(); ++start) {
    if (words[start].size() == longest) continue;
    for (char c : alphabet) words.push_back(words[start] + c);
  }
  return words;
}

// The results ("=0" or "=-1") that the parser printed, in order.
std::vector<std::string> results_of(const std::string& output) {
  std::vector<std::string> results;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] == '=') results.push_back(line);
  }
  return results;
}

TEST(GeneratedParser, AcceptsExactlyTheSentencesOfItsGrammar) {
  struct Case {
    const char* rules;
    const char* alphabet;
    size_t longest;
  };
  const Case cases[] = {
      {"s : e { } ;\ne : e '+' t { } | t { } ;\nt : t '*' f { } | f { } ;\nf : 'a' { } | '(' e ')' { } ;\n",
       "a+*()", 6},
      {"s : b { } ;\nb : 'a' b 'b' { } | { } ;\n", "ab", 10},
      {"s : l 'y' { } ;\nl : l 'x' { } | { } ;\n", "xy", 8},
      {"s : r { } ;\nr : 'a' r { } | 'b' { } | { } ;\n", "abc", 6},
      {"s : t { } ;\nt : p { } | q 'a' { } | q 'b' { } ;\np : 'x' { } ;\nq : 'x' { } ;\n", "xab", 5},
      {"s : m { } ;\nm : 'a' m 'a' { } | 'b' m 'b' { } | 'c' { } ;\n", "abc", 7},
      {"s : v { } ;\nv : '[' e ']' { } | 'x' { } ;\ne : { } | n { } ;\nn : v { } | n ',' v { } ;\n", "[]x,", 6},
      {"s : a b { } ;\na : 'x' a { } | { } ;\nb : 'y' b 'z' { } | 'w' { } ;\n", "xyzw", 6},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = all_words(c.alphabet, c.longest);
    std::vector<std::string> expected;
    grammar* g = read_grammar(std::string("%%\n") + c.rules);
    size_t accepted = 0;
    for (const std::string& w : words) {
      bool in_language = recogniser(g, w).accepts();
      accepted += in_language;
      expected.push_back(in_language ? "=0" : "=-1");
    }
    grammar_free(g);
    EXPECT_GT(accepted, 2u) << c.rules;
    compiled_parser parser(c.rules);
    std::vector<std::string> results = results_of(parser.run(words));
    ASSERT_EQ(results.size(), words.size()) << c.rules;
    for (size_t i = 0; i < words.size(); ++i) {
      EXPECT_EQ(results[i], expected[i]) << c.rules << "on \"" << words[i] << "\"";
    }
  }
}

// What the parser printed for each input line: the postfix its actions wrote
// followed by "=0", or "=-1" alone for a rejected line.
std::vector<std::string> readings_of(const std::string& output) {
  std::vector<std::string> readings;
  std::string pending;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    size_t end = line.rfind('=');
    if (end == std::string::npos || (line.substr(end) != "=0" && line.substr(end) != "=-1")) {
      pending += line;
      continue;
    }
    std::string result = line.substr(end);
    readings.push_back(result == "=0" ? pending + line : result);
    pending.clear();
  }
  return readings;
}

TEST(GeneratedParser, GroupsOperatorsAsTheSlowReadingWithPrecedenceDoes) {
  const std::string declarations =
      "%nonassoc '<'\n%left '+' '-'\n%left '*'\n%right UMINUS\n%right '^'\n";
  compiled_parser parser(
      "s : e { } ;\n"
      "e : e '<' e { printf(\"<\"); } | e '+' e { printf(\"+\"); } | e '-' e { printf(\"-\"); }\n"
      "  | e '*' e { printf(\"*\"); } | e '^' e { printf(\"^\"); } | '-' e %prec UMINUS { printf(\"~\"); }\n"
      "  | '(' e ')' { } | 'n' { printf(\"n\"); } ;\n",
      declarations);
  precedence_recogniser slow({{'<', 1, associativity::nonassoc},
                              {'+', 2, associativity::left},
                              {'-', 2, associativity::left},
                              {'*', 3, associativity::left},
                              {'~', 4, associativity::right},
                              {'^', 5, associativity::right}});
  // Every short word, and longer ones over the operators that interact most: two minus signs, a power and a comparison.
  std::vector<std::string> words = all_words("n+-*^<()", 5);
  for (const std::string& w : all_words("n-^<", 7)) words.push_back(w);
  for (const char* longer : {"n<n<n", "n-n-n-n", "n^n^n^n", "-n^n*n", "n+n*n^-n", "(n<n)<n", "--n-n"}) {
    words.push_back(longer);
  }
  std::vector<std::string> results = readings_of(parser.run(words));
  ASSERT_EQ(results.size(), words.size());
  size_t accepted = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    std::vector<std::string> allowed = slow.readings(words[i]);
    ASSERT_LE(allowed.size(), 1u) << "the levels leave two readings of " << words[i];
    std::string expected = allowed.empty() ? "=-1" : allowed[0] + "=0";
    accepted += allowed.empty() ? 0 : 1;
    EXPECT_EQ(results[i], expected) << "on \"" << words[i] << "\"";
  }
  EXPECT_GT(accepted, 200u);
  EXPECT_EQ(results[words.size() - 7], "=-1");  // a comparison does not chain
  EXPECT_EQ(results[words.size() - 4], "nn^~n*=0");
}

TEST(GeneratedParser, ANamedStartAcceptsEveryAlternative) {
  const std::string rules = "program : stmts { printf(\"P\"); } | '@' { printf(\"@\"); } ;\n"
                            "stmts : stmts 's' { printf(\"s\"); } | 's' { printf(\"s\"); } ;\n";
  EXPECT_EQ(compiled_parser(rules).run({"@", "ss"}), "No Rule '@'\n=-1\nssP=0\n");
  EXPECT_EQ(compiled_parser(rules, "%start program\n").run({"@", "ss", "s@"}), "@=0\nssP=0\nsNo Rule '@'\n=-1\n");
}

}  // namespace
