// Builds programs from what the generator writes, with the C and C++
// compilers: two parsers linked into one program, their external names,
// line directives, and the warnings the generated code must not raise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/commands.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const fs::path examples = EXAMPLES_DIR;

class GeneratedCode : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vellmark-generated-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs a command in the scratch folder, messages untranslated; its status, with standard output and error in *output.
  int run(const std::string& command, std::string* output) {
    return run_command("cd " + dir.string() + " && export LC_ALL=C && " + command + " 2>&1", output);
  }

  // Runs the generator in the scratch folder and expects it to succeed quietly.
  void generate(const std::string& arguments) {
    std::string output;
    EXPECT_EQ(run(std::string(PARSER_PATH) + " " + arguments, &output), 0) << output;
    EXPECT_EQ(output, "");
  }

  // Compiles and expects no message at all.
  void compile(const std::string& command) {
    std::string output;
    EXPECT_EQ(run(command, &output), 0) << command << "\n" << output;
    EXPECT_EQ(output, "") << command;
  }

  fs::path dir;
};

// --- Two parsers in one program ----------------------------------------------------

// The calculator and the JSON checker, each generated with a prefix of its
// own; their grammars and scanners are unchanged and reach the prefixed
// names through macros.
TEST_F(GeneratedCode, TwoParsersWithDifferentPrefixesLinkIntoOneProgramThatRunsBoth) {
  struct parser {
    std::string name, prefix;
  };
  const parser parsers[] = {{"calc", "calc_"}, {"json", "json_"}};
  std::string objects;
  for (const parser& p : parsers) {
    fs::create_directory(dir / p.name);
    generate("-p " + p.prefix + " --header=" + p.name + "/grammar.tab.h -o " + p.name + "/" + p.name +
             ".tab.c " + (examples / p.name / (p.name + ".y")).string());
    std::string renames;
    for (const char* name : {"yyparse", "yylex", "yylval", "yytext", "yyerror"}) {
      renames += std::string(" -D") + name + "=" + p.prefix + (name + 2);
    }
    std::string flags = "cc -std=c99 -Wall -Wextra -Werror -I" + p.name + renames;
    compile(flags + " -Dmain=" + p.prefix + "main -c -o " + p.name + ".o " + p.name + "/" + p.name + ".tab.c");
    compile(flags + " -c -o " + p.name + "_scanner.o " + (examples / p.name / "scanner.c").string());
    objects += " " + p.name + ".o " + p.name + "_scanner.o";
    // Every name the generated source defines for other files carries the prefix.
    std::string symbols;
    ASSERT_EQ(run("nm -g --defined-only " + p.name + ".o | awk '{print $3}'", &symbols), 0);
    std::istringstream lines(symbols);
    size_t count = 0;
    for (std::string symbol; std::getline(lines, symbol); ++count) {
      EXPECT_EQ(symbol.rfind(p.prefix, 0), 0u) << symbol;
    }
    EXPECT_GT(count, 15u);
  }
  std::ofstream(dir / "both.c") << "int calc_main(void);\nint json_main(void);\n"
                                   "int main(int argc, char **argv) {\n"
                                   "    return argc > 1 && argv[1][0] == 'c' ? calc_main() : json_main();\n}\n";
  compile("cc -std=c99 -Wall -Wextra -Werror -o both both.c" + objects);
  struct Case {
    const char* program;
    const char* mode;
    const char* input;
    int status;
  };
  for (const Case& c : {Case{"calc", "c", "arithmetic", 0}, Case{"json", "j", "document", 0},
                        Case{"json", "j", "trailing_comma", 1}, Case{"calc", "c", "incomplete", 1}}) {
    fs::path base = examples / c.program / "tests" / c.input;
    std::string output;
    EXPECT_EQ(run("./both " + std::string(c.mode) + " < " + base.string() + ".in", &output), c.status) << c.input;
    EXPECT_EQ(output, slurp(base.string() + ".out")) << c.input;
  }
}

// --- Line directives -------------------------------------------------------------

// The line of text on which needle first stands, counted from 1; 0 when it is absent.
size_t line_of(const std::string& text, const std::string& needle) {
  size_t at = text.find(needle);
  return at == std::string::npos ? 0 : static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n')) + 1;
}

TEST_F(GeneratedCode, LineDirectivesPointErrorsInActionsAtTheGrammarAndTheRestAtTheGeneratedFile) {
  const std::string grammar =
      "%{\n#include <stdio.h>\n#include <string.h>\n#include \"grammar.tab.h\"\n%}\n"  // lines 1-5
      "%union { int n; }\n%token <n> NUM\n%type <n> e\n%%\n"                             // lines 6-9
      "s : e { printf(\"%d\\n\", $1); } ;\n"                                            // line 10
      "e : e '+' NUM {\n"                                                                  // line 11
      "      $$ = $1 + $3;\n"                                                              // line 12
      "      action_error_here = 1;\n"                                                     // line 13
      "    }\n"                                                                            // line 14
      "  | NUM { $$ = $1; } ;\n"                                                           // line 15
      "%%\nvoid user_code(void) { user_code_error_here = 2; }\n";
  std::ofstream(dir / "g.y") << grammar;
  generate("-d -l g.y");
  std::string source = slurp(dir / "grammar.tab.c");
  // Every directive back to the generated file names the line that follows it.
  std::istringstream lines(source);
  size_t number = 0, returns = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.rfind("#line ", 0) == 0 && line.find("\"grammar.tab.c\"") != std::string::npos) {
      EXPECT_EQ(line, "#line " + std::to_string(number + 1) + " \"grammar.tab.c\"");
      ++returns;
    }
  }
  EXPECT_EQ(returns, 3u);
  EXPECT_NE(source.find("#line 11 \"g.y\"\n{\n      yyval.n ="), std::string::npos);
  // The compiler places each error where its text was written.
  std::string messages;
  EXPECT_NE(run("cc -std=c99 -c -o g.o grammar.tab.c", &messages), 0);
  EXPECT_NE(messages.find("g.y:13:7: error: 'action_error_here' undeclared"), std::string::npos) << messages;
  std::string user_line = std::to_string(line_of(source, "user_code_error_here"));
  EXPECT_NE(messages.find("grammar.tab.c:" + user_line + ":24: error: 'user_code_error_here' undeclared"),
            std::string::npos)
      << messages;
}

// --- Warnings -----------------------------------------------------------------------

// Generated code compiles without a warning under strict flags, as C and as
// C++, whatever the grammar's actions use and whatever the options.
TEST_F(GeneratedCode, CompilesWithoutWarningsAsCAndCPlusPlus) {
  const std::string prolog = "%{\n#include <stdio.h>\n#include <string.h>\n#include \"grammar.tab.h\"\n%}\n%union { int n; }\n";
  struct Case {
    const char* name;
    std::string grammar;
    const char* options;
  };
  const Case cases[] = {
      {"values", prolog + "%token <n> NUM\n%type <n> e\n%%\ns : e { printf(\"%d\", $1); } ;\n"
                          "e : e '+' NUM { $$ = $1 + $3; } | NUM { $$ = $1; } ;\n", "-d"},
      {"no $n", prolog + "%token NUM\n%%\ns : e { puts(\"s\"); } ;\ne : e '+' NUM { } | NUM { } ;\n", "-d"},
      {"no gotos", prolog + "%%\ns : 'a' { } ;\n", "-d"},
      {"only $$", prolog + "%type <n> s\n%%\ns : 'a' { $$ = 1; } ;\n", "-d"},
      {"prefix and lines", prolog + "%token <n> NUM\n%type <n> e\n%%\ns : e { printf(\"%d\", $1); } ;\n"
                                    "e : e '+' NUM { $$ = $1 + $3; } | NUM { } ;\n", "-d -p cfg_ -l"},
  };
  const char* compilers[] = {
      "cc -x c -std=c99 -Wall -Wextra -pedantic -Wmissing-prototypes -Werror",
      "c++ -x c++ -std=c++20 -Wall -Wextra -pedantic -Wmissing-declarations -Werror",
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(dir / "g.y") << c.grammar;
    generate(std::string(c.options) + " g.y");
    for (const char* compiler : compilers) compile(std::string(compiler) + " -c -o g.o grammar.tab.c");
  }
}

}  // namespace
