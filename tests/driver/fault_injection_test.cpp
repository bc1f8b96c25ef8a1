// Every allocation a run makes is failed in turn, and the run must still end
// well: no crash, no block left unreleased, exit status 1 (or 0 with exactly
// the output of an undisturbed run, where a fallback absorbs the failure),
// and nothing on standard error but the program's own messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "lex/patterns.h"
#include "text/memory.h"
#include "text/reader.h"

namespace fs = std::filesystem;

namespace {

// Every line the program itself may write on standard error; "%c" stands for
// a quoted character (or "end of input", "invalid UTF-8"), "%zu" and "%X" for
// numbers, "%s" for any text.
const char* const own_messages[] = {
    // the driver
    "Error: Unexpected argument: %s", "Unable to open input file.", "Unable to open output file.",
    "Error: Output file would overwrite the input file.",
    "Error: The token header and the parser source would be the same file.", "Unable to read grammar.",
    "Error: The name prefix must be a C identifier: %s",
    "Unable to solve states of the grammar.", "Error: Unable to write the table report.",
    "Error: Unable to read the input file.", "Error: Unable to write to standard output.",
    "Unable to open the state report file.", "Error: Unable to write the state report.",
    "Error: Unable to explain the shift/reduce conflicts.", "Unable to check the grammar.",
    // the diagnostics sink, and the grammar's warnings
    "%s: error: out of memory.", "warning: %s",
    // the input reader and the strings
    "Unexpected end of file in comment.", "Invalid Unicode code point in comment.", "Invalid Unicode code point: U+%X",
    // the grammar reader and the code blocks
    "Failed to assign type to token.", "Failed to add token to grammar.", "Failed to read type in token directive.",
    "Missing '>' in the token directive.", "Expected token name.", "Missing '<' in the type directive.",
    "Failed to read type identifier.", "Missing '>' in the type directive.", "Expected nonterminal name after type.",
    "Failed to add nonterm to grammar.", "Failed to assign type to nonterminal.", "Memory error while reading union body.",
    "Missing closing '}' in the union directive.", "Unknown directive.", "Failed to read rule for nonterminal.",
    "Failed to read action for rule.", "Failed to read grammar header.", "Failed to read grammar rules.",
    "Failed to read grammar user code.", "Unexpected '%c' in header section.", "Unexpected '%c' in rules section.",
    "Unexpected '%c' to start identifier.", "Missing opening '{' in the union directive.",
    "Failed to push initial '{' into union string.", "Unable to read nonterminal name.",
    "Expected ':' after nonterminal name.", "Expected ';' after rules.", "Unexpected '%c' in rule.",
    "Unexpected non-printable character in rule.", "Unable to read terminal in rule.",
    "Unexpected '%c' to start terminal.", "Unexpected '%c' in terminal.", "Unable to read nonterminal in rule.",
    "Missing '{' to start compound statement.", "error: unexpected end of input.",
    "Unexpected end of input in string.", "Unexpected end of input in character.", "Missing ''' to end character.",
    "Unexpected end of file in prolog.",
    "Terminal '%s' is already on an earlier precedence line.", "Expected token name or quoted terminal.",
    "Expected a nonterminal name after %start.", "The start symbol must be a nonterminal.",
    "The start symbol is named twice.", "Expected a number after %expect.", "The number after %expect is too large.",
    "The start symbol has no rules.", "Unknown directive in rule.", "Expected a token after %prec.",
    "Expected the action after %prec.",
    // the analysis
    "Shift conflict on terminal '%s'", "Accept conflict on lookahead symbol", "Reduce Conflict", "%s -> %s",
    "  example: %s", "%s: warning: %s", "%s: error: %s", "  ambiguous, two derivations of %s", "    reduce: %s",
    "    shift:  %s",
    // the writers
    "Error: Unable to write the parser source.", "Memory allocation failed in write_action_tables.",
    "Error: failed to allocate memory for goto tables.", "Memory allocation failed in write_the_rules.",
    "Memory allocation failed in write_actions.", "Memory allocation failed in write_lookup_tables.",
    "Unable to open %s for writing.",
    "Error: Unable to write %s.",
    // the lexical-specification reader
    "Failed to read header section.", "error: invalid rules section.", "Failed to read user code section.",
    "Invalid Unicode code point.", "error: expected '>' after start condition on line %zu.",
    "error: unknown start condition on line %zu.", "error: invalid expression starting on line %zu.",
    "error: invalid macros in expression starting on line %zu.",
    "error: invalid action after expression starting on line %zu.",
    "error: unexpected character '%c' after expression starting on line %zu.",
    "Unexpected end of input in expression.", "Unexpected end of input in quoted expression.",
    "Unexpected end of input in bracket expression.", "Error: Macro must have a non-empty name and value.",
};

// One message format as a pattern for a whole line, which may start with the
// place where reading stopped.
std::regex message_pattern(const std::string& format) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  std::string pattern = std::regex_replace(format, special, R"(\$&)");
  for (auto [mark, any] : {std::pair{"%c", ".+"}, {"%zu", "[0-9]+"}, {"%X", "[0-9A-F]+"}, {"%s", ".*"}}) {
    for (size_t at = pattern.find(mark); at != std::string::npos; at = pattern.find(mark)) {
      pattern.replace(at, std::string(mark).size(), any);
    }
  }
  return std::regex("([^ ]+:[0-9]+:[0-9]+: )?" + pattern);
}

// The lines of text that are none of the program's own messages; a missing final line feed counts as one.
std::vector<std::string> foreign_lines(const std::string& text) {
  static const std::vector<std::regex> patterns = [] {
    std::vector<std::regex> all;
    for (const char* format : own_messages) all.push_back(message_pattern(format));
    return all;
  }();
  std::vector<std::string> foreign;
  if (!text.empty() && text.back() != '\n') foreign.push_back("(no line feed at the end)");
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    bool own = false;
    for (const std::regex& p : patterns) own = own || std::regex_match(line, p);
    if (!own) foreign.push_back(line);
  }
  return foreign;
}

TEST(OwnMessages, PatternsMatchWholeLinesOnly) {
  EXPECT_TRUE(foreign_lines("Unable to read grammar.\nUnexpected '\xC3\xA9' in rule.\n").empty());
  EXPECT_TRUE(foreign_lines("error: unknown start condition on line 12.\nexpr -> expr '+' term\n").empty());
  EXPECT_EQ(foreign_lines("Unable to read grammar.\nSegmentation fault\n"), std::vector<std::string>{"Segmentation fault"});
  EXPECT_EQ(foreign_lines("xUnable to read grammar.\n").size(), 1u);
  EXPECT_EQ(foreign_lines("error: unknown start condition on line x.\n").size(), 1u);
  EXPECT_TRUE(foreign_lines("g.y:3:14: Expected ';' after rules.\ng.y: error: out of memory.\n").empty());
  EXPECT_EQ(foreign_lines("g.y:3: Expected ';' after rules.\n").size(), 1u);
  EXPECT_EQ(foreign_lines("Unable to read grammar."), std::vector<std::string>{"(no line feed at the end)"});
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// What one run of the program left behind.
struct run_result {
  int status;  // exit status, or -1 when the program did not exit normally
  std::string out, err, source, header;
  size_t allocations;
  size_t files;  // in the folder after the run, input and outputs included
};

// What the outputs hold before each run: a run that fails must leave them so.
const std::string previous_source = "previous source\n", previous_header = "previous header\n";

// Runs the injection program in dir with args, failing allocation fail_at (0: none), its
// address space limited to address_space bytes (0: no limit).
run_result run_program(const fs::path& dir, const std::vector<std::string>& args, size_t fail_at,
                       rlim_t address_space = 0) {
  std::ofstream(dir / "grammar.tab.c", std::ios::binary) << previous_source;
  std::ofstream(dir / "grammar.tab.h", std::ios::binary) << previous_header;
  fs::path out = dir / ".stdout", err = dir / ".stderr", count = dir / ".allocations";
  std::string fail = std::to_string(fail_at);
  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    rlimit limit{address_space, address_space};
    if (address_space != 0 && setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0) _exit(127);
    dup2(in, 0), dup2(o, 1), dup2(e, 2);
    setenv("VELLMARK_FAIL_AT", fail.c_str(), 1);
    setenv("VELLMARK_ALLOCATIONS", count.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(FAULT_INJECTION_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(FAULT_INJECTION_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          slurp(out),
          slurp(err),
          slurp(dir / "grammar.tab.c"),
          slurp(dir / "grammar.tab.h"),
          std::strtoull(slurp(count).c_str(), nullptr, 10),
          static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()))};
}

// One command line to run under injection: a grammar and its options.
struct program_case {
  const char* name;
  const char* grammar;  // a file of the examples folder, or the text of a grammar
  std::vector<std::string> options;
  size_t stride;  // every stride-th allocation is failed (1: every one)
};

// A member of the family whose automaton doubles with every level: levels
// levels give 2^(levels+3) - 5 states, for a grammar of a few dozen rules.
std::string doubling_grammar(int levels) {
  std::string text = "%token";
  for (int i = 1; i <= levels; ++i) text += " X" + std::to_string(i);
  text += "\n%%\nS : A1 { } ;\n";
  for (int i = 1; i <= levels; ++i) {
    std::string n = std::to_string(i), next = std::to_string(i + 1);
    text += "A" + n + " : 'a' A" + next + " B" + n + " { } | 'b' A" + next + " C" + n + " { } ;\n";
    text += "B" + n + " : X" + n + " { } | { } ;\nC" + n + " : { } ;\n";
  }
  return text + "A" + std::to_string(levels + 1) + " : 'c' { } ;\n";
}

const std::string small_grammar =
    "%{\n#include <stdio.h>\n%}\n%union { int n; char *s; }\n%token <n> NUM\n%token <s> ID\n%type <n> e\n%%\n"
    "s : s ID '=' e ';' { printf(\"%d\", $4); } | { } ;\n"
    "e : e '+' NUM { $$ = $1 + $3; } | '(' e ')' { $$ = $2; } | NUM { $$ = $1; } ;\n%%\n"
    "/* user code */\nint main(void) { return yyparse(); }\n";
const std::string medium_grammar = doubling_grammar(5);
// Operators with levels, a comparison that does not chain, a named start and the one conflict it expects.
const std::string precedence_grammar =
    "%token N IF ELSE\n%nonassoc '<'\n%left '+' '-'\n%left '*'\n%right UMINUS\n%start s\n%expect 1\n%%\n"
    "s : IF '(' e ')' s { } | IF '(' e ')' s ELSE s { } | e ';' { } ;\n"
    "e : e '<' e { } | e '+' e { } | e '-' e { } | e '*' e { } | '-' e %prec UMINUS { } | N { } ;\n";

void PrintTo(const program_case& c, std::ostream* out) { *out << c.name; }

// A test with a scratch folder of its own, where the program runs.
class ScratchFolder : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vellmark-injection-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
};

class WholeProgram : public ScratchFolder, public testing::WithParamInterface<program_case> {
 protected:
  // The arguments of the case, its grammar written to the scratch folder when given as text.
  std::vector<std::string> arguments(const program_case& c) {
    std::vector<std::string> args = c.options;
    std::string grammar = c.grammar;
    if (grammar.find('\n') == std::string::npos) {
      args.push_back(std::string(EXAMPLES_DIR) + "/" + grammar);
    } else {
      std::ofstream(dir / "input.y", std::ios::binary) << grammar;
      args.push_back("input.y");
    }
    return args;
  }
};

TEST_P(WholeProgram, EveryFailedAllocationEndsTheRunCleanly) {
  const program_case& c = GetParam();
  std::vector<std::string> args = arguments(c);
  run_result reference = run_program(dir, args, 0);
  ASSERT_EQ(reference.status, 0) << reference.err;
  ASSERT_EQ(reference.err, "");
  ASSERT_GT(reference.allocations, 0u);
  size_t failed = 0, absorbed = 0;
  for (size_t k = 1; k <= reference.allocations; k += c.stride) {
    run_result r = run_program(dir, args, k);
    SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(reference.allocations));
    ASSERT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << "\n" << r.err;
    EXPECT_EQ(foreign_lines(r.err), std::vector<std::string>{});
    EXPECT_EQ(r.files, reference.files);  // no temporary file is left behind
    if (r.status == 1) {
      ++failed;
      EXPECT_EQ(r.source, previous_source);
      EXPECT_EQ(r.header, previous_header);
      continue;
    }
    // A run that absorbed the failure must have done all its work.
    ++absorbed;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, reference.out);
    EXPECT_EQ(r.source, reference.source);
    EXPECT_EQ(r.header, reference.header);
  }
  EXPECT_GT(failed, 0u);
  std::cout << c.name << ": " << reference.allocations << " allocations, stride " << c.stride << ", " << failed
            << " runs failed, " << absorbed << " absorbed the failure\n";
}

INSTANTIATE_TEST_SUITE_P(
    Grammars, WholeProgram,
    testing::Values(program_case{"small", small_grammar.c_str(), {}, 1},
                    program_case{"small_report", small_grammar.c_str(), {"-v"}, 1},
                    // The state report takes the place the harness fills with a previous header, so that a
                    // failed run is seen to leave it as it was.
                    program_case{"small_state_report", small_grammar.c_str(), {"--report=grammar.tab.h"}, 2},
                    program_case{"precedence_state_report", precedence_grammar.c_str(), {"--report=grammar.tab.h"}, 3},
                    program_case{"calculator_header", "calc/calc.y", {"-d", "-o", "calc.tab.c"}, 1},
                    program_case{"json_header", "json/json.y", {"-d"}, 1},
                    program_case{"json_named_header", "json/json.y", {"--header=grammar.tab.h", "-p", "json_"}, 3},
                    program_case{"calculator_line_directives", "calc/calc.y", {"-l", "--name-prefix=calc_"}, 1},
                    program_case{"json_report", "json/json.y", {"-v"}, 2},
                    program_case{"doubling_header", medium_grammar.c_str(), {"-d"}, 7},
                    program_case{"doubling_header_report", medium_grammar.c_str(), {"-d", "-v"}, 7}),
    [](const testing::TestParamInfo<program_case>& info) { return std::string(info.param.name); });

// An automaton too large for the memory at hand is not a crash: the run
// fails with its message, having released what it built.
using MemoryLimit = ScratchFolder;

TEST_F(MemoryLimit, HugeAutomatonFailsWithItsMessageWhenMemoryRunsOut) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address checker needs more address space than the limit leaves";
#endif
  constexpr rlim_t limit = rlim_t{256} << 20;
  std::ofstream(dir / "small.y", std::ios::binary) << doubling_grammar(10);  // 8187 states, a few MiB
  std::ofstream(dir / "huge.y", std::ios::binary) << doubling_grammar(18);   // 2097147 states, some 760 MiB
  run_result fits = run_program(dir, {"small.y"}, 0, limit);
  EXPECT_EQ(fits.status, 0) << fits.err;
  run_result huge = run_program(dir, {"huge.y"}, 0, limit);
  EXPECT_EQ(huge.status, 1);
  EXPECT_EQ(huge.err, "huge.y: error: out of memory.\nUnable to solve states of the grammar.\n");
  EXPECT_EQ(huge.source, previous_source);
}

// The lexical-specification reader, which the command line never runs, is
// failed in turn in this process.
struct read_outcome {
  bool read;
  size_t rules;
  std::string messages;
};

read_outcome read_specification(const std::string& text, size_t fail_at) {
  ustring* source = ustring_new();
  EXPECT_NE(source, nullptr);
  EXPECT_TRUE(ustring_append_cstr(source, text.c_str()));
  testing::internal::CaptureStderr();
  memory_fail_at(fail_at);
  reader* r = reader_new_string(source);
  patterns* p = patterns_new();
  bool read = r != nullptr && p != nullptr && patterns_read(p, r);
  memory_fail_at(0);
  read_outcome outcome{read, p != nullptr ? p->count : 0, testing::internal::GetCapturedStderr()};
  patterns_free(p);
  reader_free(r);
  ustring_free(source);
  return outcome;
}

class Specification : public testing::TestWithParam<const char*> {};

TEST_P(Specification, EveryFailedAllocationEndsTheReadCleanly) {
  std::string text = GetParam();
  size_t live = memory_live_blocks();
  size_t first = memory_allocation_count();
  read_outcome reference = read_specification(text, 0);
  size_t allocations = memory_allocation_count() - first;
  ASSERT_TRUE(reference.read) << reference.messages;
  ASSERT_EQ(reference.messages, "");
  size_t failed = 0;
  for (size_t k = 1; k <= allocations; ++k) {
    read_outcome outcome = read_specification(text, k);
    SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(allocations));
    EXPECT_EQ(memory_live_blocks(), live);
    EXPECT_EQ(foreign_lines(outcome.messages), std::vector<std::string>{});
    if (outcome.read) {
      EXPECT_EQ(outcome.rules, reference.rules);
      EXPECT_EQ(outcome.messages, "");
    } else {
      ++failed;
    }
  }
  EXPECT_GT(failed, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Scanners, Specification,
    testing::Values("/* A scanner for a small calculator language. */\n"
                    "%{\n#include \"calc.tab.h\"\n%}\n"
                    "%x COMMENT\n%option prefix=\"calc\"\n%option fast\n"
                    "DIGIT   [0-9]\nLETTER  [a-zA-Z_]\nNUM     {DIGIT}+(\".\"{DIGIT}+)?\n"
                    "ID      {LETTER}({LETTER}|{DIGIT})*\n%%\n"
                    "{NUM} { value = atof(text); return NUMBER; }\n{ID} { return IDENT; }\n"
                    "\"/*\" { enter(COMMENT); }\n<COMMENT>\"*/\" { enter(INITIAL); }\n<COMMENT>[^*\\n]+ ;\n"
                    "[ \\t\\n]+ ;\n<<EOF>> { return 0; }\n. { return text[0]; }\n%%\n"
                    "int calc_main(void) { return 0; }\n",
                    "%%\n<<EOF>> ;\nab\ncd ;\n",
                    "%{ int n; %}\n%x C\n%x S\nD [0-9]\nD [0-7]\nE {D}+\"x\"[a-z]\n%%\n<C>{E} { n++; }\n"
                    "<S>\"q\\\"\" ;\n[^\\]] { }\n%%\nint f(void) { return n; }\n"));

}  // namespace
