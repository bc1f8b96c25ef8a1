// Generated parsers compiled with AddressSanitizer and
// UndefinedBehaviorSanitizer and run on valid, invalid, random and very deep
// token streams: every stream must end in "accepted" or "rejected" with
// nothing reported by the checkers, and the stack must grow as deep as the
// input asks.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lr/solver.h"
#include "output/parser_writer.h"
#include "support/commands.h"
#include "support/test_grammar.h"

namespace fs = std::filesystem;

namespace {

// Each line of standard input is one token stream, one token per byte; the
// parser prints "=" and the result of yyparse after each.
const std::string prolog =
    "%{\n#include <stdio.h>\n#include <string.h>\n#include <stdint.h>\n"
    "typedef union { uint64_t n; } YYSTYPE;\nextern YYSTYPE yylval;\nint yyparse(void);\n%}\n";
const std::string scanner = R"(%%
static char token_text[2];
char *yytext = token_text;
static int line_ended;

/* One token per byte; the line feed (or the end of the file) ends the
   stream, and stays the answer until the next stream begins. */
int yylex(void) {
    if (line_ended) return 0;
    int c = getchar();
    if (c == EOF || c == '\n') {
        line_ended = 1;
        token_text[0] = '\0';
        return 0;
    }
    token_text[0] = (char)c;
    yylval.n = (uint64_t)c;
    return c;
}

int main(void) {
    int c;
    while ((c = getchar()) != EOF) {
        ungetc(c, stdin);
        line_ended = 0;
        int result = yyparse();
        while (!line_ended && (c = getchar()) != EOF && c != '\n') {
        }
        line_ended = 0;
        printf("=%d\n", result);
    }
    return 0;
}
)";

const parser_options plain{};

// Writes the parser source of a grammar given as text; false when it does not read, solve or write.
bool write_generated_parser(const std::string& text, const fs::path& path) {
  grammar* g = read_test_grammar(text.c_str());
  solver* s = solver_new();
  FILE* out = std::fopen(path.c_str(), "w");
  bool written = g != nullptr && s != nullptr && out != nullptr && solve_grammar(s, g) && write_parser(g, s, &plain, out);
  if (out != nullptr) std::fclose(out);
  solver_free(s);
  grammar_free(g);
  return written;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A parser generated from rules and built with both checkers in a scratch folder.
class checked_parser {
 public:
  checked_parser(const std::string& declarations, const std::string& rules) {
    char name[] = "/tmp/vellmark-checked-XXXXXX";
    dir_ = mkdtemp(name);
    fs::path source = dir_ / "parser.c";
    EXPECT_TRUE(write_generated_parser(prolog + declarations + "%%\n" + rules + scanner, source));
    std::string messages;
    int status = run_command("cc -std=c99 -g -O1 -Wall -Wextra -Werror "
                             "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -o " +
                                 (dir_ / "parser").string() + " " + source.string() + " 2>&1",
                             &messages);
    EXPECT_EQ(status, 0) << messages;
    built_ = status == 0;
  }
  ~checked_parser() { fs::remove_all(dir_); }

  // Runs the parser on the streams, one per line; its standard output, with the
  // checkers' reports (standard error) required to be empty and the exit status 0.
  std::string run(const std::vector<std::string>& streams) const {
    if (!built_) return "(not built)";
    fs::path input = dir_ / "input", errors = dir_ / "errors";
    {
      std::ofstream in(input, std::ios::binary);
      for (const std::string& s : streams) in << s << '\n';
    }
    std::string output;
    int status = run_command("ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 " + (dir_ / "parser").string() +
                                 " < " + input.string() + " 2> " + errors.string(),
                             &output);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(slurp(errors), "");
    return output;
  }

 private:
  fs::path dir_;
  bool built_ = false;
};

// Balanced parentheses; the start rule prints the deepest nesting, carried up
// through the values, so that a stack that grew wrongly shows in the result.
const std::string nesting_types = "%type <n> s b\n";
const std::string nesting_rules =
    "s : b { printf(\"depth %lu\\n\", (unsigned long)$1); } ;\n"
    "b : '(' b ')' b { $$ = $2 + 1 > $4 ? $2 + 1 : $4; } | { $$ = 0; } ;\n";

// The oracle for the nesting grammar: only parentheses, balanced.
bool balanced(const std::string& stream) {
  long depth = 0;
  for (char c : stream) {
    if (c != '(' && c != ')') return false;
    depth += c == '(' ? 1 : -1;
    if (depth < 0) return false;
  }
  return depth == 0;
}

size_t deepest(const std::string& stream) {
  size_t depth = 0, most = 0;
  for (char c : stream) {
    depth = c == '(' ? depth + 1 : depth - 1;
    if (depth > most) most = depth;
  }
  return most;
}

std::string expected_for_nesting(const std::vector<std::string>& streams) {
  std::string text;
  for (const std::string& s : streams) {
    if (balanced(s)) {
      text += "depth " + std::to_string(deepest(s)) + "\n=0\n";
    } else {
      // The runtime names the token it could not use, or nothing at the end.
      text += "=-1\n";
    }
  }
  return text;
}

// Drops the runtime's error lines, keeping the results and the actions' output.
std::string without_error_lines(const std::string& output) {
  std::istringstream lines(output);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("No Rule '", 0) == 0 || line.rfind("No Goto or Accept '", 0) == 0) continue;
    kept += line + "\n";
  }
  return kept;
}

constexpr size_t million = 1000000;

TEST(CheckedParser, GrowsTheStackToAMillionEntriesAndBack) {
  checked_parser parser(nesting_types, nesting_rules);
  std::vector<std::string> streams = {
      std::string(million, '(') + std::string(million, ')'),
      std::string(million, '(') + std::string(million - 1, ')'),  // one short: rejected at the end
      std::string(million, '(') + "x",                             // a stray token deep down
  };
  std::string output = parser.run(streams);
  EXPECT_EQ(without_error_lines(output), "depth 1000000\n=0\n=-1\n=-1\n");
  EXPECT_NE(output.find("No Rule 'x'\n"), std::string::npos);
}

TEST(CheckedParser, HoldsAMillionRightRecursiveEntriesBeforeTheFirstReduction) {
  checked_parser parser(
      "%type <n> l\n",
      "s : l { printf(\"length %lu\\n\", (unsigned long)$1); } ;\n"
      "l : 'x' l { $$ = $2 + 1; } | 'x' { $$ = 1; } ;\n");
  std::string output = parser.run({std::string(million, 'x'), std::string(million, 'x') + "y", ""});
  EXPECT_EQ(without_error_lines(output), "length 1000000\n=0\n=-1\n=-1\n");
  EXPECT_NE(output.find("No Rule 'y'\n"), std::string::npos);
}

TEST(CheckedParser, AgreesWithTheOracleOnEveryShortStream) {
  checked_parser parser(nesting_types, nesting_rules);
  std::vector<std::string> streams;
  for (size_t length = 0; length <= 10; ++length) {
    for (size_t bits = 0; bits < (size_t{1} << length); ++bits) {
      std::string s;
      for (size_t k = 0; k < length; ++k) s += (bits >> k) & 1 ? ')' : '(';
      streams.push_back(s);
    }
  }
  EXPECT_EQ(without_error_lines(parser.run(streams)), expected_for_nesting(streams));
}

// A small deterministic generator of token streams.
struct stream_dice {
  uint64_t state;
  size_t roll(size_t sides) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<size_t>((state >> 33) % sides);
  }
};

TEST(CheckedParser, AgreesWithTheOracleOnRandomStreams) {
  checked_parser parser(nesting_types, nesting_rules);
  stream_dice dice{12345};
  std::vector<std::string> streams;
  for (size_t n = 0; n < 3000; ++n) {
    std::string s;
    size_t length = dice.roll(200);
    long depth = 0;
    for (size_t k = 0; k < length; ++k) {
      // Mostly parentheses, closing only what is open, so that many streams are accepted.
      size_t r = dice.roll(100);
      if (r == 0) {
        s += static_cast<char>(1 + dice.roll(126));  // any byte but NUL and the line feed
        if (s.back() == '\n') s.back() = ' ';
      } else if (depth > 0 && r < 50) {
        s += ')', --depth;
      } else {
        s += '(', ++depth;
      }
    }
    if (dice.roll(2) == 0) s += std::string(static_cast<size_t>(depth), ')');
    streams.push_back(s);
  }
  std::string expected = expected_for_nesting(streams);
  EXPECT_GT(expected.find("=0"), 0u);
  EXPECT_EQ(without_error_lines(parser.run(streams)), expected);
}

// A grammar whose every goto is its nonterminal's default leaves the goto
// comb empty, written as one element that no state owns.
TEST(CheckedParser, ParsesWhenEveryGotoIsTheDefault) {
  checked_parser parser("%type <n> sum\n",
                        "total : sum { printf(\"sum %lu\\n\", (unsigned long)$1); } ;\n"
                        "sum : sum '+' 'n' { $$ = $1 + 1; } | 'n' { $$ = 1; } ;\n");
  EXPECT_EQ(parser.run({"n+n+n", "n", "n+", "+n", "nn"}),
            "sum 3\n=0\nsum 1\n=0\nNo Rule ''\n=-1\nNo Rule '+'\n=-1\nNo Rule 'n'\n=-1\n");
}

// An expression grammar with several levels; random byte streams must never
// upset the checkers, whatever tables they wander through.
TEST(CheckedParser, SurvivesRandomBytesOnAnExpressionGrammar) {
  checked_parser parser(
      "%type <n> t f\n",
      "s : l { } ;\nl : l t ';' { } | { } ;\n"
      "t : t '+' f { $$ = $1 + $3; } | t '*' f { $$ = $1 * $3; } | f { $$ = $1; } ;\n"
      "f : '(' t ')' { $$ = $2; } | '-' f { $$ = 0 - $2; } | 'n' { $$ = 1; } ;\n");
  stream_dice dice{777};
  const char alphabet[] = "n+*()-;;nnn(((x";
  std::vector<std::string> streams;
  for (size_t n = 0; n < 3000; ++n) {
    std::string s;
    for (size_t k = dice.roll(120); k > 0; --k) s += alphabet[dice.roll(sizeof alphabet - 1)];
    streams.push_back(s);
  }
  streams.push_back(std::string(100000, '(') + "n" + std::string(100000, ')') + ";");
  streams.push_back(std::string(100000, '-') + "n;");
  std::string results = without_error_lines(parser.run(streams));
  std::istringstream lines(results);
  size_t count = 0, accepted = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_TRUE(line == "=0" || line == "=-1") << line;
    accepted += line == "=0";
  }
  EXPECT_EQ(count, streams.size());
  EXPECT_GT(accepted, 2u);
  EXPECT_EQ(results.substr(results.size() - 6), "=0\n=0\n");  // the two deep streams
}

}  // namespace
