// Runs the built program in a scratch directory and checks what a user sees:
// exit status, standard output, standard error and the files left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct run_result {
  int status;
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void spit(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class Driver : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vellmark-driver-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the program with args in the scratch directory, standard input taken
  // from stdin_file (or /dev/null when empty). Standard output and error are
  // captured, or go to out_to and err_to when these are given; "-" closes
  // the stream instead.
  run_result run(const std::vector<std::string>& args, const std::string& stdin_file = "",
                 const std::string& out_to = "", const std::string& err_to = "") {
    fs::path out = dir / ".stdout", err = dir / ".stderr";
    pid_t child = fork();
    if (child == 0) {
      if (chdir(dir.c_str()) != 0) _exit(127);
      const std::string targets[] = {stdin_file.empty() ? "/dev/null" : stdin_file,
                                     out_to.empty() ? out.string() : out_to, err_to.empty() ? err.string() : err_to};
      int opened[3];
      for (int fd = 0; fd < 3; ++fd) {
        opened[fd] = targets[fd] == "-" ? -1 : open(targets[fd].c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (opened[fd] < 0 && targets[fd] != "-") _exit(127);
      }
      for (int fd = 0; fd < 3; ++fd) opened[fd] < 0 ? close(fd) : dup2(opened[fd], fd);
      std::vector<char*> argv{const_cast<char*>(PARSER_PATH)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(PARSER_PATH, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    run_result result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    fs::remove(out), fs::remove(err);
    return result;
  }

  void write(const std::string& name, const std::string& text) { spit(dir / name, text); }
  bool exists(const std::string& name) { return fs::exists(dir / name); }
  std::string read(const std::string& name) { return slurp(dir / name); }

  fs::path dir;
};

const std::string calc =
    "%{\n#include <stdio.h>\n%}\n"
    "%token NUMBER\n"
    "%%\n"
    "expr : expr '+' term { $$ = $1 + $3; } | term { $$ = $1; } ;\n"
    "term : NUMBER { $$ = $1; } ;\n"
    "%%\n"
    "int main(void) { return yyparse(); }\n";

const std::string usage_text =
    "Usage: parser [options] file.y\n"
    "  -o   specify output filename\n"
    "\n"
    "  -d   produce the header file\n"
    "  -v   produce details of the tables\n"
    "\n"
    "  -h   display this help and exit\n"
    "  -V   display version and license\n"
    "\n"
    "DESCRIPTION\n"
    "  This program generates parse tables for languages that are defined by a\n"
    "  context free grammar.\n"
    "\n";

// --- Help and version ----------------------------------------------------

TEST_F(Driver, HelpIsPrintedWhateverOtherFlagsSay) {
  for (auto args : std::vector<std::vector<std::string>>{
           {"-h"}, {"--help"}, {"-hV"}, {"-V", "-h"}, {"-h", "missing.y"}}) {
    run_result r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, usage_text);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_FALSE(exists("grammar.tab.c"));
}

TEST_F(Driver, VersionTextNamesTheProgramAndOpensNothing) {
  for (auto flag : {"-V", "--version"}) {
    run_result r = run({flag, "missing.y"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\nVellmark version 0.9.1\n\n\n \n\n\n \n\n\n\n", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 13);
    size_t notice = r.out.find("\n\n\n\n", 0) + 4;  // the notice follows the blank lines
    EXPECT_NE(r.out[notice], '\n');
    EXPECT_EQ(r.out.find('\n', notice), r.out.size() - 2);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_FALSE(exists("grammar.tab.c"));
}

// --- Unusable command lines ------------------------------------------------

TEST_F(Driver, SecondPositionalArgumentIsNamedAndNothingIsOpened) {
  write("a.y", calc);
  run_result r = run({"a.y", "b.y", "c.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: Unexpected argument: b.y\n");
  EXPECT_FALSE(exists("grammar.tab.c"));

  r = run({"-h", "a.y", "b.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Unexpected argument: b.y\n");
}

TEST_F(Driver, UnknownOptionsAndMissingArgumentsFailWithTheOptionParsersWord) {
  write("a.y", calc);
  for (auto args : std::vector<std::vector<std::string>>{{"-x", "a.y"}, {"a.y", "-o"}, {"--output"}, {"--bogus"}}) {
    run_result r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
  EXPECT_FALSE(exists("grammar.tab.c"));
}

// --- Files -------------------------------------------------------------------

TEST_F(Driver, EveryFormOfTheOutputOptionNamesTheOutputFile) {
  write("g.y", calc);
  for (auto args : std::vector<std::vector<std::string>>{{"--output=out.c", "g.y"},
                                                         {"--output", "out.c", "g.y"},
                                                         {"-o", "out.c", "g.y"},
                                                         {"-oout.c", "g.y"},
                                                         {"g.y", "-o", "out.c"},
                                                         {"-o", "first.c", "-o", "out.c", "g.y"}}) {
    fs::remove(dir / "out.c");
    run_result r = run(args);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(exists("out.c"));
    EXPECT_FALSE(exists("grammar.tab.c"));
  }
}

TEST_F(Driver, MissingInputFailsBeforeTheOutputIsCreated) {
  run_result r = run({"missing.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Unable to open input file.\n");
  EXPECT_FALSE(exists("grammar.tab.c"));
}

TEST_F(Driver, UnwritableOutputFails) {
  write("g.y", calc);
  run_result r = run({"-o", "no/such/dir.c", "g.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Unable to open output file.\n");
}

TEST_F(Driver, GrammarIsReadFromStandardInputWithoutAFileName) {
  write("g.y", calc);
  write("grammar.tab.c", "stale");
  run_result r = run({}, (dir / "g.y").string());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(read("grammar.tab.c").find("int yyparse(void)"), std::string::npos);
}

// Warnings name the place of each likely mistake and change nothing else:
// the same grammar from a file and from standard input gives the same
// parser, and the report is unchanged too.
TEST_F(Driver, WarningsLeaveTheStatusAndTheOutputsAlone) {
  const std::string grammar =
      "%union { int n; }\n%token <n> NUM\n%%\n"
      "s : s '<=' NUM { $$ = $3; } | NUM { /* $1 */ } ;\n";
  const std::string warnings =
      "%s:4:7: warning: terminal '<=' has several characters: its token number is that of '<', so the scanner "
      "cannot tell them apart\n"
      "%s:4:18: warning: $$ gets no member of the %%union: nonterminal s has no type\n";
  auto expected = [&](const char* name) {
    char text[512];
    std::snprintf(text, sizeof text, warnings.c_str(), name, name);
    return std::string(text);
  };
  write("g.y", grammar);
  run_result from_file = run({"-d", "g.y"});
  EXPECT_EQ(from_file.status, 0);
  EXPECT_EQ(from_file.err, expected("g.y"));
  std::string source = read("grammar.tab.c");
  EXPECT_NE(source.find("yyval. = yyvs[yysp + (3 - 3 - 1)].n;"), std::string::npos);
  EXPECT_NE(source.find("{ /* $1 */ }"), std::string::npos);
  run_result from_input = run({"-d"}, (dir / "g.y").string());
  EXPECT_EQ(from_input.status, 0);
  EXPECT_EQ(from_input.err, expected("<stdin>"));
  EXPECT_EQ(read("grammar.tab.c"), source);
  run_result report = run({"-v", "g.y"});
  EXPECT_EQ(report.status, 0);
  EXPECT_EQ(report.err, expected("g.y"));
}

TEST_F(Driver, ReportGoesToStandardOutputAndLeavesTheOutputAlone) {
  write("g.y", "%%\ns : 'a' { } ;\n");
  run_result r = run({"-v", "g.y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "      0    1\n"
            "a    1s     \n"
            "$         0a\n"
            "any           \n"
            "\n"
            "      0    1\n"
            "s           \n"
            "\n");
  EXPECT_FALSE(exists("grammar.tab.c"));
}

TEST_F(Driver, WriteErrorsFailTheRun) {
  write("g.y", calc);
  run_result r = run({"-o", "/dev/full", "g.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: Unable to write the parser source.\n");
}

TEST_F(Driver, TokenHeaderIsWrittenInTheCurrentDirectoryWhateverTheOutputName) {
  write("g.y", calc);
  run({"-d", "-o", "out.c", "g.y"});
  EXPECT_EQ(read("grammar.tab.h"),
            "#ifndef tab_h\n#define tab_h\n\n"
            "enum yytokentype {\n"
            "NUMBER     = 1114112,\n"
            "};\n\n"
            "typedef union YYSTYPE  YYSTYPE;\n\n"
            "void yyerror(const char *message);\n\n"
            "extern YYSTYPE yylval;\n\n"
            "extern char *yytext;\n\n"
            "int yyparse(void);\n\n"
            "#endif\n");
}

TEST_F(Driver, UnwritableTokenHeaderFails) {
  write("g.y", calc);
  fs::create_directory(dir / "grammar.tab.h");
  run_result r = run({"-d", "g.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Unable to open grammar.tab.h for writing.\n");
}

// --- The input is never destroyed -----------------------------------------------

TEST_F(Driver, OutputNamedLikeTheInputIsRefused) {
  const std::string refusal = "Error: Output file would overwrite the input file.\n";
  write("g.y", calc);
  write("grammar.tab.c", calc);
  write("grammar.tab.h", calc);
  fs::create_hard_link(dir / "g.y", dir / "link.y");
  struct Case {
    std::vector<std::string> args;
    std::string stdin_file;
  };
  for (const Case& c : std::vector<Case>{{{"-o", "g.y", "g.y"}, ""},
                                         {{"-o", "./g.y", "g.y"}, ""},
                                         {{"-o", "link.y", "g.y"}, ""},
                                         {{"grammar.tab.c"}, ""},
                                         {{}, (dir / "grammar.tab.c").string()},
                                         {{"-d", "-o", "out.c", "grammar.tab.h"}, ""}}) {
    run_result r = run(c.args, c.stdin_file);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refusal);
  }
  EXPECT_EQ(read("g.y"), calc);
  EXPECT_EQ(read("grammar.tab.c"), calc);
  EXPECT_EQ(read("grammar.tab.h"), calc);
  EXPECT_FALSE(exists("out.c"));
}

TEST_F(Driver, DevicesMayBeBothInputAndOutput) {
  run_result r = run({"-o", "/dev/null"}, "/dev/null");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "<stdin>:1:1: Unexpected 'end of input' in header section.\nFailed to read grammar header.\n"
            "Unable to read grammar.\n");
}

// --- Unusable standard streams and inputs -------------------------------------

// Help, version and report that cannot be written, inputs that cannot be
// read, and closed standard descriptors: a failure is never taken for
// success, and a closed descriptor is never taken over by an output.
TEST_F(Driver, StreamsThatFailEndTheRunWithAMessage) {
  const std::string unwritable = "Error: Unable to write to standard output.\n";
  const std::string unreadable = "Error: Unable to read the input file.\n";
  auto empty_input = [](const std::string& name) {
    return name + ":1:1: Unexpected 'end of input' in header section.\nFailed to read grammar header.\n";
  };
  write("g.y", calc);
  fs::create_directory(dir / "folder.y");
  ASSERT_EQ(run({"-o", "expected.c", "g.y"}).status, 0);
  struct Case {
    std::vector<std::string> args;
    std::string in, out, err;  // as run takes them
    int status;
    std::string printed;  // on standard error, when it is captured
  };
  const Case cases[] = {
      {{"-h"}, "", "/dev/full", "", 1, unwritable},
      {{"--version"}, "", "/dev/full", "", 1, unwritable},
      {{"-h"}, "", "-", "", 1, unwritable},
      {{"-V"}, "", "-", "", 1, unwritable},
      {{"-v", "g.y"}, "", "-", "", 1, "Error: Unable to write the table report.\n"},
      {{"-o", "out.c", "folder.y"}, "", "", "", 1, empty_input("folder.y") + unreadable},
      {{"-o", "out.c"}, (dir / "folder.y").string(), "", "", 1, empty_input("<stdin>") + unreadable},
      {{"-o", "out.c"}, "-", "", "", 1, empty_input("<stdin>") + "Unable to read grammar.\n"},
      {{"-o", "out.c", "g.y"}, "-", "-", "-", 0, ""},
      {{"-d", "-o", "out.c", "g.y"}, "-", "", "-", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " with " + c.in + "|" + c.out + "|" + c.err);
    run_result r = run(c.args, c.in, c.out, c.err);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.printed);
    if (c.status != 0) {
      EXPECT_FALSE(exists("out.c"));
    } else {
      EXPECT_EQ(read("out.c"), read("expected.c"));
    }
    fs::remove(dir / "out.c");
  }
  // An output opened where standard error was closed would receive the messages.
  write("bad.y", "%token A\n%%\n");
  ASSERT_EQ(mkfifo((dir / "pipe.c").c_str(), 0600), 0);
  std::string piped = "(not read)";
  std::thread reader([&] { piped = slurp(dir / "pipe.c"); });
  run_result r = run({"-o", "pipe.c", "bad.y"}, "-", "", "-");
  reader.join();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(piped, "");
}

// --- Outputs are replaced only by a whole run ----------------------------------------

// The names in the scratch directory, apart from the runner's own files.
std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Driver, RunsThatWriteNoSourceLeaveEveryPreviousOutputAsItWas) {
  const std::string previous_source = "previous source\n", previous_header = "previous header\n";
  struct Case {
    std::string grammar;
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"%%\nexpr : 'x' = { } ;\n", {"-d", "g.y"}, 1,
       "g.y:2:12: Unexpected '=' in rule.\nFailed to read rule for nonterminal.\nFailed to read grammar rules.\n"
       "Unable to read grammar.\n"},
      {"%token A\n%%\n", {"-d", "g.y"}, 1, "Unable to solve states of the grammar.\n"},
      {calc, {"-d", "-o", "/dev/full", "g.y"}, 1, "Error: Unable to write the parser source.\n"},
      {calc, {"-v", "g.y"}, 0, ""},
      {calc, {"--header=/dev/full", "g.y"}, 1, "Error: Unable to write /dev/full.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args[1]);
    write("g.y", c.grammar);
    write("grammar.tab.c", previous_source);
    write("grammar.tab.h", previous_header);
    run_result r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(read("grammar.tab.c"), previous_source);
    EXPECT_EQ(read("grammar.tab.h"), previous_header);
    EXPECT_EQ(listing(dir), (std::vector<std::string>{"g.y", "grammar.tab.c", "grammar.tab.h"}));
    // Nor does such a run create the outputs it did not finish.
    fs::remove(dir / "grammar.tab.c"), fs::remove(dir / "grammar.tab.h");
    run(c.args);
    EXPECT_EQ(listing(dir), std::vector<std::string>{"g.y"});
  }
}

TEST_F(Driver, ReplacedOutputsKeepTheirPermissionsAndLinks) {
  write("g.y", calc);
  write("real.c", "previous");
  fs::permissions(dir / "real.c", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real.c", dir / "link.c");
  run_result r = run({"-o", "link.c", "--header=new.h", "g.y"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.c"));
  EXPECT_NE(read("real.c").find("int yyparse(void)"), std::string::npos);
  EXPECT_EQ(fs::status(dir / "real.c").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(dir / "new.h").permissions()), 0666 & ~mask);
  EXPECT_EQ(listing(dir), (std::vector<std::string>{"g.y", "link.c", "new.h", "real.c"}));
}

TEST_F(Driver, DevicesAndPipesAreWrittenDirectly) {
  write("g.y", calc);
  run_result null = run({"-o", "/dev/null", "--header=/dev/null", "g.y"});
  EXPECT_EQ(null.status, 0);
  EXPECT_EQ(null.err, "");
  run_result file = run({"-d", "-o", "file.c", "g.y"});
  ASSERT_EQ(file.status, 0);
  ASSERT_EQ(mkfifo((dir / "pipe.c").c_str(), 0600), 0);
  std::string piped;
  std::thread reader([&] { piped = slurp(dir / "pipe.c"); });
  run_result pipe = run({"-o", "pipe.c", "g.y"});
  reader.join();
  EXPECT_EQ(pipe.status, 0);
  EXPECT_EQ(piped, read("file.c"));
  EXPECT_EQ(listing(dir), (std::vector<std::string>{"file.c", "g.y", "grammar.tab.h", "pipe.c"}));
}

TEST_F(Driver, HeaderAndSourceInOneFileAreRefusedBeforeAnythingIsWritten) {
  const std::string refusal = "Error: The token header and the parser source would be the same file.\n";
  write("g.y", calc);
  fs::create_directory(dir / "sub");
  for (auto args : std::vector<std::vector<std::string>>{{"-d", "-o", "grammar.tab.h"},
                                                         {"-d", "-o", "./grammar.tab.h"},
                                                         {"--header=out.c", "-o", "out.c"},
                                                         {"--header=sub/../out.c", "-o", "./out.c"},
                                                         {"--header", "grammar.tab.c"}}) {
    args.push_back("g.y");
    run_result r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refusal);
    EXPECT_EQ(listing(dir), (std::vector<std::string>{"g.y", "sub"}));
  }
  // Existing files are compared as files, whatever their names.
  write("out.c", "previous");
  fs::create_hard_link(dir / "out.c", dir / "out.h");
  run_result r = run({"--header=out.h", "-o", "out.c", "g.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, refusal);
  EXPECT_EQ(read("out.c"), "previous");
  // A header beside the source is no clash, and --header implies -d.
  r = run({"--header=sub/out.c", "-o", "out.c", "g.y"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read("sub/out.c").find("#define tab_h"), std::string::npos);
  EXPECT_FALSE(exists("grammar.tab.h"));
}

TEST_F(Driver, NamePrefixIsACIdentifierInBothSpellingsOfTheOption) {
  write("g.y", calc);
  for (auto args : std::vector<std::vector<std::string>>{{"-p", "calc_"}, {"--name-prefix=calc_"}, {"-pcalc_"}}) {
    args.push_back("g.y");
    run_result r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read("grammar.tab.c").find("\nint calc_parse(void)\n"), std::string::npos);
    fs::remove(dir / "grammar.tab.c");
  }
  for (const char* prefix : {"9lives", "a-b", ""}) {
    run_result r = run({"-p", prefix, "g.y"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("Error: The name prefix must be a C identifier: ") + prefix + "\n");
  }
  EXPECT_FALSE(exists("grammar.tab.c"));
}

// A run stopped by a signal removes the file it was writing.
TEST_F(Driver, AnInterruptedRunLeavesThePreviousOutput) {
  std::string grammar = "%token";  // an automaton that doubles with each level, so solving takes a while
  for (int i = 1; i <= 15; ++i) grammar += " X" + std::to_string(i);
  grammar += "\n%%\nS : A1 { } ;\n";
  for (int i = 1; i <= 15; ++i) {
    std::string n = std::to_string(i), next = std::to_string(i + 1);
    grammar += "A" + n + " : 'a' A" + next + " B" + n + " { } | 'b' A" + next + " C" + n + " { } ;\n";
    grammar += "B" + n + " : X" + n + " { } | { } ;\nC" + n + " : { } ;\n";
  }
  write("g.y", grammar + "A16 : 'c' { } ;\n");
  write("grammar.tab.c", "previous");
  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    execl(PARSER_PATH, PARSER_PATH, "g.y", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Waits for the temporary file to appear, then interrupts the run.
  bool seen = false;
  for (int tries = 0; tries < 20000 && !seen; ++tries) {
    seen = listing(dir).size() > 2;
    if (!seen) usleep(100);
  }
  EXPECT_TRUE(seen);
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
  EXPECT_EQ(read("grammar.tab.c"), "previous");
  EXPECT_EQ(listing(dir), (std::vector<std::string>{"g.y", "grammar.tab.c"}));
}

// --- Reading the grammar ------------------------------------------------------------

TEST_F(Driver, StandardInputIsNamedInPlacedMessages) {
  write("g.y", "%%\ne : 'x' { }\n  f : 'y' { } ;\n");
  run_result r = run({}, (dir / "g.y").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "<stdin>:3:3: Expected ';' after rules.\nFailed to read grammar rules.\nUnable to read grammar.\n");
}

TEST_F(Driver, ReadingFailuresEndWithTheDriversLine) {
  struct Case {
    std::string grammar;
    std::string err;
  };
  for (const Case& c : std::vector<Case>{
           {"%%\nexpr : 'x' = { } ;\n",
            "g.y:2:12: Unexpected '=' in rule.\nFailed to read rule for nonterminal.\n"
            "Failed to read grammar rules.\nUnable to read grammar.\n"},
           {"expr : 'x' { } ;\n", "g.y:1:1: Unexpected 'e' in header section.\nFailed to read grammar header.\nUnable to read grammar.\n"},
           {"%%\ne : 'x' { } ;\n/* never closed\n%%\nint user;\n",
            "g.y:6:1: Unexpected end of file in comment.\nFailed to read grammar rules.\nUnable to read grammar.\n"},
           // A grammar that puts escape sequences into its own messages.
           {"%%\ne : 'x' { } ;\n\x1B[2J\n", "g.y:3:1: Unexpected '\\x1B' in rules section.\nFailed to read grammar rules.\n"
            "Unable to read grammar.\n"},
       }) {
    write("g.y", c.grammar);
    run_result r = run({"g.y"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
}

// --- Conflicts and the state report ------------------------------------

TEST_F(Driver, ConflictsResolvedByShiftingAreCountedAndTheFirstExplained) {
  write("g.y", "%token N\n%%\ne : e '-' e { } | e '*' e { } | N { } ;\n");
  run_result r = run({"g.y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), "g.y: warning: 8 shift/reduce conflicts resolved by shifting\n");
  size_t explained = 0;
  for (size_t at = r.err.find("g.y: warning: conflict in state"); at != std::string::npos;
       at = r.err.find("g.y: warning: conflict in state", at + 1)) {
    ++explained;
  }
  EXPECT_EQ(explained, 3u);
  EXPECT_NE(r.err.find("  example: e '*' e \u2022 '-'\n"), std::string::npos) << r.err;
  EXPECT_TRUE(exists("grammar.tab.c"));

  write("calc.y", calc);  // no conflict, no warning
  r = run({"calc.y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  write("g.y", "%token N\n%%\ne : e '-' e { } | N { } ;\n");
  r = run({}, (dir / "g.y").string());
  EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), "<stdin>: warning: 1 shift/reduce conflict resolved by shifting\n");
}

TEST_F(Driver, DanglingElseIsExplainedAndExpectingItSilencesTheWarning) {
  const std::string rules =
      "%%\nstmt : IF '(' X ')' stmt { } | IF '(' X ')' stmt ELSE stmt { } | X { } ;\n";
  write("if.y", "%token IF ELSE X\n%start stmt\n" + rules);
  run_result r = run({"if.y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "if.y: warning: 1 shift/reduce conflict resolved by shifting\n"
            "if.y: warning: conflict in state 14 on ELSE: shift stmt -> IF '(' X ')' stmt \u2022 ELSE stmt, reduce stmt "
            "-> IF '(' X ')' stmt \u2022; resolved by shift (no precedence decides)\n"
            "  example: IF '(' X ')' IF '(' X ')' stmt \u2022 ELSE\n"
            "  ambiguous, two derivations of stmt: IF '(' X ')' IF '(' X ')' stmt ELSE stmt\n"
            "    reduce: stmt -> IF '(' X ')' [stmt -> IF '(' X ')' stmt] ELSE stmt\n"
            "    shift:  stmt -> IF '(' X ')' [stmt -> IF '(' X ')' stmt ELSE stmt]\n");
  std::string generated = read("grammar.tab.c");

  write("if.y", "%token IF ELSE X\n%start stmt\n%expect 1\n" + rules);
  r = run({"if.y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read("grammar.tab.c"), generated);  // expecting the conflict changes no table

  // A different number fails the run, and no output is written or replaced.
  for (const char* expected : {"0", "2"}) {
    fs::remove(dir / "grammar.tab.c");
    write("if.y", "%token IF ELSE X\n%start stmt\n%expect " + std::string(expected) + "\n" + rules);
    r = run({"-d", "if.y"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("if.y: warning: conflict in state 14 on ELSE"), std::string::npos);
    EXPECT_EQ(r.err.substr(r.err.rfind("if.y:")),
              "if.y: error: expected " + std::string(expected) + " shift/reduce conflict" +
                  (expected[0] == '1' ? "" : "s") + ", found 1\n");
    EXPECT_FALSE(exists("grammar.tab.c"));
    EXPECT_FALSE(exists("grammar.tab.h"));
  }
}

TEST_F(Driver, PrecedenceDeclarationsLeaveNothingToWarnAbout) {
  write("e.y", "%token N\n%left '-'\n%left '*'\n%%\ne : e '-' e { } | e '*' e { } | N { } ;\n");
  run_result r = run({"e.y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  write("e.y", "%token N\n%left '-' '*'\n%left '*'\n%%\ne : e '-' e { } ;\n");
  r = run({"e.y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "e.y:3:7: Terminal '*' is already on an earlier precedence line.\nFailed to read grammar header.\n"
            "Unable to read grammar.\n");
}

TEST_F(Driver, StateReportGoesToItsOwnFileBesideTheOtherOutputs) {
  write("g.y", "%token N\n%%\ne : e '-' e { } | N { } ;\n");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--report=states.txt", "g.y"}, {"-v", "--report", "states.txt", "g.y"}}) {
    fs::remove(dir / "states.txt");
    run_result r = run(args);
    EXPECT_EQ(r.status, 0);
    std::string report = read("states.txt");
    EXPECT_EQ(report.substr(0, 41), "Rules\n\n    0  e -> e '-' e\n    1  e -> N\n");
    EXPECT_NE(report.find("\nState 5\n"), std::string::npos);
    EXPECT_NE(report.find("  conflict in state 5 on '-'"), std::string::npos);
  }
  EXPECT_EQ(run({"--report=g.y", "g.y"}).status, 1);  // never over the grammar itself
  EXPECT_EQ(read("g.y"), "%token N\n%%\ne : e '-' e { } | N { } ;\n");
  EXPECT_EQ(run({"--report=missing/states.txt", "g.y"}).status, 1);
  // Nor over another output of the same run.
  for (auto args : std::vector<std::vector<std::string>>{{"--report=grammar.tab.c"},
                                                         {"--report=./out.c", "-o", "out.c"},
                                                         {"-d", "--report=grammar.tab.h"},
                                                         {"-v", "--header=h.h", "--report=h.h"}}) {
    args.push_back("g.y");
    run_result r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: The state report would be the same file as another output.\n");
  }
  EXPECT_EQ(listing(dir), (std::vector<std::string>{"g.y", "grammar.tab.c", "states.txt"}));
}

}  // namespace
