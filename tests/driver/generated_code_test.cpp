// Builds programs from what the generator writes, with the C and C++
// compilers: two parsers linked into one program, their external names,
// line directives, and the warnings the generated code must not raise.
#include <gtest/gtest.h>
#include <unistd.h>

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

  // Runs a command in the scratch folder; its status, with standard output and error in *output.
  int run(const std::string& command, std::string* output) {
    return run_command("cd " + dir.string() + " && " + command + " 2>&1", output);
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

}  // namespace
