#include "grammar/grammar_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "support/captured_diagnostics.h"
#include "text/memory.h"

namespace {

std::string text_of(const ustring* s) {
  if (s == nullptr || s->size == 0) return "";
  return std::string(reinterpret_cast<const char*>(s->data), s->size);
}

// A string reader over raw bytes, malformed UTF-8 included.
reader* reader_over(std::string_view bytes) {
  ustring* s = ustring_new();
  if (s == nullptr || !ustring_reserve(s, bytes.size())) {
    ustring_free(s);
    return nullptr;
  }
  std::memcpy(s->data, bytes.data(), bytes.size());
  s->size = bytes.size();
  reader* r = reader_new_string(s);
  ustring_free(s);
  return r;
}

std::string symbol_name(const symbol& s) {
  if (s.term != nullptr) return text_of(s.term->name);
  if (s.nonterm != nullptr) return text_of(s.nonterm->name);
  return "$";
}

// Every field the reader fills, one line per terminal, nonterminal and rule.
std::string dump(const grammar* g) {
  std::string out;
  char number[32];
  for (size_t i = 0; i < g->terms->count; ++i) {
    const term* t = g->terms->items[i];
    std::snprintf(number, sizeof number, "%X", static_cast<unsigned>(t->value));
    out += "term " + text_of(t->name) + " 0x" + number;
    if (t->type->size != 0) out += " <" + text_of(t->type) + ">";
    out += " #" + std::to_string(t->id) + "\n";
  }
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const nonterm* n = g->nonterms->items[i];
    out += "nonterm " + text_of(n->name);
    if (n->type->size != 0) out += " <" + text_of(n->type) + ">";
    out += " #" + std::to_string(n->id) + "\n";
    for (size_t j = 0; j < n->rules->count; ++j) {
      const rule* rl = n->rules->items[j];
      out += "  #" + std::to_string(rl->id) + " ->";
      for (size_t k = 0; k < rl->symbols->count; ++k) out += " " + symbol_name(rl->symbols->items[k]);
      out += " " + (rl->action == nullptr ? std::string("(no action)") : text_of(rl->action)) + "\n";
    }
  }
  out += "start " + (g->start == nullptr ? std::string("(none)") : text_of(g->start->name)) + "\n";
  return out;
}

struct outcome {
  bool ok;
  std::string errors;
  std::string result;  // dump of the grammar after a successful read
};

// Reads input into a fresh grammar and releases everything, checking that nothing leaks.
outcome read_text(std::string_view input) {
  size_t baseline = memory_live_blocks();
  grammar* g = grammar_new();
  reader* r = reader_over(input);
  EXPECT_NE(g, nullptr);
  EXPECT_NE(r, nullptr);
  outcome o{false, "", ""};
  if (g != nullptr && r != nullptr) {
    captured_diagnostics captured;
    reader_report_to(r, &captured.sink);
    o.ok = grammar_read(g, r);
    o.errors = captured.text();
    if (o.ok) o.result = dump(g);
  }
  grammar_free(g);
  reader_free(r);
  EXPECT_EQ(memory_live_blocks(), baseline) << "leak reading: " << input;
  return o;
}

// Keeps a grammar read from input for field-by-field checks, and frees it afterwards.
class GrammarReaderTest : public testing::Test {
 protected:
  void SetUp() override { baseline_ = memory_live_blocks(); }

  void TearDown() override {
    grammar_free(g_);
    reader_free(r_);
    EXPECT_EQ(memory_live_blocks(), baseline_);
  }

  // Reads input; true for a silent success.
  bool read_ok(std::string_view input) {
    g_ = grammar_new();
    r_ = reader_over(input);
    if (g_ == nullptr || r_ == nullptr) return false;
    testing::internal::CaptureStderr();
    bool ok = grammar_read(g_, r_);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ok) << errors;
    EXPECT_EQ(errors, "");
    return ok && errors.empty();
  }

  term* term_at(size_t i) { return g_->terms->items[i]; }
  nonterm* nonterm_at(size_t i) { return g_->nonterms->items[i]; }
  rule* rule_of(size_t nonterm_index, size_t i) { return nonterm_at(nonterm_index)->rules->items[i]; }

  grammar* g_ = nullptr;
  reader* r_ = nullptr;
  size_t baseline_ = 0;
};

// ---------------------------------------------------------------------------
// Sections, header items and user code

TEST_F(GrammarReaderTest, OnlyTheSeparatorGivesAnEmptyGrammar) {
  ASSERT_TRUE(read_ok("%%\n"));
  EXPECT_EQ(g_->terms->count, 0u);
  EXPECT_EQ(g_->nonterms->count, 0u);
  EXPECT_EQ(g_->start, nullptr);
  EXPECT_EQ(grammar_first_rule(g_), nullptr);
  EXPECT_EQ(text_of(g_->prolog), "");
  EXPECT_EQ(text_of(g_->union_body), "");
  EXPECT_EQ(text_of(g_->user_code), "");
}

TEST_F(GrammarReaderTest, EveryHeaderItemIsStored) {
  ASSERT_TRUE(read_ok(
      "/* leading comment */ // and another\n"
      "%{\n#include <stdio.h>\n%}\n"
      "%union { long n; struct { int a; } s; }\n"
      "%token <n> NUM\n"
      "%token PLUS\tMINUS\n"
      "%type <n> expr\n"
      "%%\n"
      "expr : expr PLUS NUM { $$ = $1 + $3; } | NUM { $$ = $1; } ;\n"
      "%%\nint main(void) { return 0; }\n"));
  EXPECT_EQ(text_of(g_->prolog), "\n#include <stdio.h>\n");
  EXPECT_EQ(text_of(g_->union_body), "{ long n; struct { int a; } s; }");
  EXPECT_EQ(text_of(g_->user_code), "\nint main(void) { return 0; }\n");
  EXPECT_EQ(g_->next_token_value, 0x110003);
  EXPECT_EQ(dump(g_),
            "term NUM 0x110000 <n> #0\n"
            "term PLUS 0x110001 #1\n"
            "term MINUS 0x110002 #2\n"
            "nonterm expr <n> #0\n"
            "  #0 -> expr PLUS NUM { $$ = $1 + $3; }\n"
            "  #1 -> NUM { $$ = $1; }\n"
            "start expr\n");
  EXPECT_EQ(g_->start, nonterm_at(0));
  EXPECT_EQ(rule_of(0, 0)->nonterm, nonterm_at(0));
  EXPECT_EQ(grammar_first_rule(g_), rule_of(0, 0));
}

TEST_F(GrammarReaderTest, LaterPrologAndUnionReplaceEarlierOnes) {
  ASSERT_TRUE(read_ok("%{one%}\n%union {a}\n%{two%}\n%union\n/* c */ {b}\n%%"));
  EXPECT_EQ(text_of(g_->prolog), "two");
  EXPECT_EQ(text_of(g_->union_body), "{b}");
}

TEST_F(GrammarReaderTest, UnionCountsBracesButNotLiterals) {
  // Strings are not recognised in a union, so the brace inside one closes it.
  outcome o = read_text("%union { char *p = \"}\"; }\n%%\n");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.errors, "g.y:1:22: Unexpected '\"' in header section.\nFailed to read grammar header.\n");
}

TEST_F(GrammarReaderTest, UserCodeBoundaries) {
  struct row {
    const char* input;
    const char* user_code;
  };
  const row rows[] = {
      {"%%", ""},
      {"%%\na : 'x' { } ;", ""},
      {"%%\na : 'x' { } ;\n%%", ""},
      {"%%\na : 'x' { } ;\n%%\n", "\n"},
      {"%%\n%%x /* not a comment */ %% \xC3\xA9\n", "x /* not a comment */ %% \xC3\xA9\n"},
  };
  for (const row& each : rows) {
    SCOPED_TRACE(each.input);
    grammar* g = grammar_new();
    reader* r = reader_over(each.input);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(grammar_read(g, r));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(text_of(g->user_code), each.user_code);
    grammar_free(g);
    reader_free(r);
  }
}

// ---------------------------------------------------------------------------
// Token and type declarations

TEST_F(GrammarReaderTest, RepeatedTokenKeepsItsFirstDeclaration) {
  ASSERT_TRUE(read_ok("%token A B A\n%token <num> C\n%token <str> C B\n%%\n"));
  EXPECT_EQ(dump(g_),
            "term A 0x110000 #0\n"
            "term B 0x110001 #1\n"
            "term C 0x110002 <num> #2\n"
            "start (none)\n");
  EXPECT_EQ(g_->next_token_value, 0x110003);
}

TEST_F(GrammarReaderTest, TokenListsAndComments) {
  // A closed comment inside the line separates names; one spanning lines
  // lets the list continue; a two-slash comment ends the list at its line.
  ASSERT_TRUE(read_ok(
      "%token A/*x*/B /* over\nlines */ C\v D\r\n"
      "%token E // F G\n"
      "%token H\n"
      "%%\n"));
  EXPECT_EQ(dump(g_),
            "term A 0x110000 #0\n"
            "term B 0x110001 #1\n"
            "term C 0x110002 #2\n"
            "term D 0x110003 #3\n"
            "term E 0x110004 #4\n"
            "term H 0x110005 #5\n"
            "start (none)\n");
}

TEST_F(GrammarReaderTest, TokenTagWithoutNamesAndEmptyLists) {
  ASSERT_TRUE(read_ok("%token <t>\n%token\n%type <u>\n%token\tA\n%%"));
  EXPECT_EQ(g_->terms->count, 1u);
  EXPECT_EQ(text_of(term_at(0)->type), "");
}

TEST_F(GrammarReaderTest, TypeDeclarationsMakeNonterminalsInOrder) {
  ASSERT_TRUE(read_ok(
      "%token e\n"
      "%type <num> e f\n"
      "%type\t<str> e\n"
      "%%\n"
      "s : e f g { } ;\n"));
  // The type declaration never consults the terminals: e is both.
  EXPECT_EQ(dump(g_),
            "term e 0x110000 #0\n"
            "nonterm e <str> #0\n"
            "nonterm f <num> #1\n"
            "nonterm s #2\n"
            "  #0 -> e f g { }\n"
            "nonterm g #3\n"
            "start s\n");
  // In a right-hand side the terminal wins.
  EXPECT_EQ(rule_of(2, 0)->symbols->items[0].term, term_at(0));
  EXPECT_EQ(rule_of(2, 0)->symbols->items[1].nonterm, nonterm_at(1));
}

// ---------------------------------------------------------------------------
// Rule groups, symbols and quoted terminals

TEST_F(GrammarReaderTest, QuotedTerminalsTakeTheirFirstCodePoint) {
  ASSERT_TRUE(read_ok("%%\ns : 'a' 'ab' ''' '<=' '+' 'a' '\"' '{' '}' '|' ';' { } ;\n"));
  EXPECT_EQ(dump(g_),
            "term a 0x61 #0\n"
            "term ab 0x61 #1\n"
            "term ' 0x27 #2\n"
            "term <= 0x3C #3\n"
            "term + 0x2B #4\n"
            "term \" 0x22 #5\n"
            "term { 0x7B #6\n"
            "term } 0x7D #7\n"
            "term | 0x7C #8\n"
            "term ; 0x3B #9\n"
            "nonterm s #0\n"
            "  #0 -> a ab ' <= + a \" { } | ; { }\n"
            "start s\n");
  // The same text twice is the same terminal.
  EXPECT_EQ(rule_of(0, 0)->symbols->items[0].term, rule_of(0, 0)->symbols->items[5].term);
}

TEST_F(GrammarReaderTest, QuotedTerminalIsTheDeclaredTokenOfTheSameText) {
  ASSERT_TRUE(read_ok("%token x\n%%\ns : 'x' x 'y' y { } ;\n"));
  EXPECT_EQ(dump(g_),
            "term x 0x110000 #0\n"
            "term y 0x79 #1\n"
            "nonterm s #0\n"
            "  #0 -> x x y y { }\n"
            "start s\n");
  EXPECT_EQ(rule_of(0, 0)->symbols->items[3].term, term_at(1));
}

TEST_F(GrammarReaderTest, AlternativesGroupsAndEmptyRules) {
  ASSERT_TRUE(read_ok(
      "%%\n"
      "e : e '+' { a } | { } ;\n"
      "a : 'x' {} ;\n"
      "e : /* again */ t {b}\n"
      "  ;\n"
      "a : 'y' { } ;\n"));
  // A second group with the same head adds to the first one's rules.
  EXPECT_EQ(dump(g_),
            "term + 0x2B #0\n"
            "term x 0x78 #1\n"
            "term y 0x79 #2\n"
            "nonterm e #0\n"
            "  #0 -> e + { a }\n"
            "  #1 -> { }\n"
            "  #2 -> t {b}\n"
            "nonterm a #1\n"
            "  #3 -> x {}\n"
            "  #4 -> y { }\n"
            "nonterm t #2\n"
            "start e\n");
  EXPECT_EQ(rule_of(0, 1)->symbols->count, 0u);
}

TEST_F(GrammarReaderTest, SymbolsNeedNoSeparatorWhereCharactersAllowIt) {
  ASSERT_TRUE(read_ok("%%\ns:'a'b'c'{x}|d';'{};t_2:s{}|{};"));
  EXPECT_EQ(dump(g_),
            "term a 0x61 #0\n"
            "term c 0x63 #1\n"
            "term ; 0x3B #2\n"
            "nonterm s #0\n"
            "  #0 -> a b c {x}\n"
            "  #1 -> d ; {}\n"
            "nonterm b #1\n"
            "nonterm d #2\n"
            "nonterm t_2 #3\n"
            "  #2 -> s {}\n"
            "  #3 -> {}\n"
            "start s\n");
}

TEST_F(GrammarReaderTest, TypedNonterminalComesFirstButStartIsTheFirstHead) {
  ASSERT_TRUE(read_ok("%type <t> b\n%%\na : b { } ;\nb : 'x' { } ;\n"));
  EXPECT_EQ(text_of(nonterm_at(0)->name), "b");
  EXPECT_EQ(nonterm_at(0)->id, 0u);
  EXPECT_EQ(g_->start, nonterm_at(1));
  EXPECT_EQ(grammar_first_rule(g_), rule_of(1, 0));
  // Rules are numbered through the nonterminals in array order, not input order.
  EXPECT_EQ(rule_of(0, 0)->id, 0u);
  EXPECT_EQ(rule_of(1, 0)->id, 1u);
}

TEST_F(GrammarReaderTest, HeadNamedLikeATokenMakesANonterminal) {
  ASSERT_TRUE(read_ok("%token A\n%%\nA : A 'x' { } ;\n"));
  EXPECT_EQ(dump(g_),
            "term A 0x110000 #0\n"
            "term x 0x78 #1\n"
            "nonterm A #0\n"
            "  #0 -> A x { }\n"
            "start A\n");
  EXPECT_EQ(rule_of(0, 0)->symbols->items[0].term, term_at(0));
}

TEST_F(GrammarReaderTest, IdentifiersAreCaseSensitiveAndTakeDigitsAndUnderscores) {
  ASSERT_TRUE(read_ok("%%\n_a1 : A a _ a_1 { } ;\n"));
  EXPECT_EQ(dump(g_),
            "nonterm _a1 #0\n"
            "  #0 -> A a _ a_1 { }\n"
            "nonterm A #1\n"
            "nonterm a #2\n"
            "nonterm _ #3\n"
            "nonterm a_1 #4\n"
            "start _a1\n");
}

TEST_F(GrammarReaderTest, ActionBlocksAreStoredVerbatim) {
  ASSERT_TRUE(read_ok(
      "%%\n"
      "s : 'x' { if (a) { b(\"}\", '}'); } /* {} */ }\n"
      "  | { s = \"a\\\"}\"; c = '\\''; }\n"
      "  ;\n"));
  EXPECT_EQ(text_of(rule_of(0, 0)->action), "{ if (a) { b(\"}\", '}'); } /* {} */ }");
  EXPECT_EQ(text_of(rule_of(0, 1)->action), "{ s = \"a\\\"}\"; c = '\\''; }");
}

TEST_F(GrammarReaderTest, DeeplyNestedActionBlock) {
  constexpr size_t depth = 100000;
  std::string action = std::string(depth, '{') + std::string(depth, '}');
  ASSERT_TRUE(read_ok("%%\ns : 'x' " + action + " ;\n"));
  EXPECT_EQ(text_of(rule_of(0, 0)->action), action);
}

TEST_F(GrammarReaderTest, LargeActionBlock) {
  std::string action = "{";
  while (action.size() < 5 * 1024 * 1024) action += " x = \"}\"; { y = '{'; }\n";
  action += "}";
  ASSERT_TRUE(read_ok("%%\ns : 'x' " + action + " ;\n%%\n"));
  EXPECT_EQ(text_of(rule_of(0, 0)->action), action);
  EXPECT_EQ(text_of(g_->user_code), "\n");
}

// ---------------------------------------------------------------------------
// A realistic grammar

const char* const expression_language = R"g(/* A small imperative language. */
%{
#include <stdio.h>
long lookup(char *name);
%}
%union { long number; char *name; }
%token <number> NUMBER
%token <name> IDENT
%token IF ELSE WHILE PRINT // keywords
%type <number> expr sum product unary primary
%%
program : statements { $$ = 0; } ;
statements : statements statement { } | { } ;
statement : assignment ';' { }
          | print_stmt { }
          | if_stmt { }
          | while_stmt { }
          | block { }
          ;
block : '{' statements '}' { } ;
assignment : IDENT '=' expr { assign($1, $3); } ;
print_stmt : PRINT expr ';' { printf("%ld\n", $2); } ;
if_stmt : IF '(' condition ')' statement else_part { } ;
else_part : ELSE statement { } | /* nothing */ { } ;
while_stmt : WHILE '(' condition ')' statement { } ;
condition : expr '<' expr { $$ = $1 < $3; }
          | expr '<=' expr { $$ = $1 <= $3; }
          | expr '==' expr { $$ = $1 == $3; }
          ;
expr : sum { $$ = $1; } ;
sum : sum '+' product { $$ = $1 + $3; }
    | sum '-' product { $$ = $1 - $3; }
    | product { $$ = $1; }
    ;
product : product '*' unary { $$ = $1 * $3; }
        | product '/' unary { $$ = $1 / $3; }
        | unary { $$ = $1; }
        ;
unary : '-' unary { $$ = -$2; } | primary { $$ = $1; } ;
primary : NUMBER { $$ = $1; }
        | IDENT { $$ = lookup($1); }
        | '(' expr ')' { $$ = $2; }
        ;
%%
int main(void) { return yyparse(); }
)g";

const char* const expression_language_dump =
    "term NUMBER 0x110000 <number> #0\n"
    "term IDENT 0x110001 <name> #1\n"
    "term IF 0x110002 #2\n"
    "term ELSE 0x110003 #3\n"
    "term WHILE 0x110004 #4\n"
    "term PRINT 0x110005 #5\n"
    "term ; 0x3B #6\n"
    "term { 0x7B #7\n"
    "term } 0x7D #8\n"
    "term = 0x3D #9\n"
    "term ( 0x28 #10\n"
    "term ) 0x29 #11\n"
    "term < 0x3C #12\n"
    "term <= 0x3C #13\n"
    "term == 0x3D #14\n"
    "term + 0x2B #15\n"
    "term - 0x2D #16\n"
    "term * 0x2A #17\n"
    "term / 0x2F #18\n"
    "nonterm expr <number> #0\n"
    "  #0 -> sum { $$ = $1; }\n"
    "nonterm sum <number> #1\n"
    "  #1 -> sum + product { $$ = $1 + $3; }\n"
    "  #2 -> sum - product { $$ = $1 - $3; }\n"
    "  #3 -> product { $$ = $1; }\n"
    "nonterm product <number> #2\n"
    "  #4 -> product * unary { $$ = $1 * $3; }\n"
    "  #5 -> product / unary { $$ = $1 / $3; }\n"
    "  #6 -> unary { $$ = $1; }\n"
    "nonterm unary <number> #3\n"
    "  #7 -> - unary { $$ = -$2; }\n"
    "  #8 -> primary { $$ = $1; }\n"
    "nonterm primary <number> #4\n"
    "  #9 -> NUMBER { $$ = $1; }\n"
    "  #10 -> IDENT { $$ = lookup($1); }\n"
    "  #11 -> ( expr ) { $$ = $2; }\n"
    "nonterm program #5\n"
    "  #12 -> statements { $$ = 0; }\n"
    "nonterm statements #6\n"
    "  #13 -> statements statement { }\n"
    "  #14 -> { }\n"
    "nonterm statement #7\n"
    "  #15 -> assignment ; { }\n"
    "  #16 -> print_stmt { }\n"
    "  #17 -> if_stmt { }\n"
    "  #18 -> while_stmt { }\n"
    "  #19 -> block { }\n"
    "nonterm assignment #8\n"
    "  #20 -> IDENT = expr { assign($1, $3); }\n"
    "nonterm print_stmt #9\n"
    "  #21 -> PRINT expr ; { printf(\"%ld\\n\", $2); }\n"
    "nonterm if_stmt #10\n"
    "  #22 -> IF ( condition ) statement else_part { }\n"
    "nonterm while_stmt #11\n"
    "  #23 -> WHILE ( condition ) statement { }\n"
    "nonterm block #12\n"
    "  #24 -> { statements } { }\n"
    "nonterm condition #13\n"
    "  #25 -> expr < expr { $$ = $1 < $3; }\n"
    "  #26 -> expr <= expr { $$ = $1 <= $3; }\n"
    "  #27 -> expr == expr { $$ = $1 == $3; }\n"
    "nonterm else_part #14\n"
    "  #28 -> ELSE statement { }\n"
    "  #29 -> { }\n"
    "start program\n";

TEST_F(GrammarReaderTest, ExpressionLanguage) {
  ASSERT_TRUE(read_ok(expression_language));
  EXPECT_EQ(dump(g_), expression_language_dump);
  EXPECT_EQ(text_of(g_->prolog), "\n#include <stdio.h>\nlong lookup(char *name);\n");
  EXPECT_EQ(text_of(g_->union_body), "{ long number; char *name; }");
  EXPECT_EQ(text_of(g_->user_code), "\nint main(void) { return yyparse(); }\n");
  EXPECT_EQ(grammar_first_rule(g_), rule_of(5, 0));
}

TEST(GrammarReaderStream, ReadsTheSameThroughTheStreamWindow) {
  // The stream reader sees the file through a 256-byte window; the result
  // must not depend on where the window boundaries fall.
  size_t baseline = memory_live_blocks();
  std::string padded = std::string("   ") + expression_language;
  for (size_t shift = 0; shift < 4; ++shift) {
    std::string input = padded.substr(3 - shift);
    FILE* stream = fmemopen(input.data(), input.size(), "r");
    ASSERT_NE(stream, nullptr);
    grammar* g = grammar_new();
    reader* r = reader_new(stream);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(grammar_read(g, r));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(dump(g), expression_language_dump);
    EXPECT_EQ(text_of(g->user_code), "\nint main(void) { return yyparse(); }\n");
    grammar_free(g);
    reader_free(r);
    std::fclose(stream);
  }
  EXPECT_EQ(memory_live_blocks(), baseline);
}

// ---------------------------------------------------------------------------
// Failures: every message, in order

// A broken grammar, the place where reading stops ("line:column") and the
// lines that follow the place, the section's own line left out.
struct failure_case {
  const char* title;
  std::string_view input;
  const char* place;
  const char* errors;
};

constexpr const char* header_failed = "Failed to read grammar header.\n";
constexpr const char* rules_failed = "Failed to read grammar rules.\n";

void expect_failures(const std::vector<failure_case>& cases, const std::string& tail) {
  for (const failure_case& each : cases) {
    SCOPED_TRACE(each.title);
    outcome o = read_text(each.input);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.errors, std::string("g.y:") + each.place + ": " + each.errors + tail);
  }
}

TEST(GrammarReaderFailures, HeaderSection) {
  using namespace std::string_view_literals;
  const std::vector<failure_case> cases = {
      {"no separator", "a : 'x' { } ;\n", "1:1", "Unexpected 'a' in header section.\n"},
      {"input ends in header", "%token A\n", "2:1", "Unexpected 'end of input' in header section.\n"},
      {"non-ASCII item start", "\xC3\xA9%%\n", "1:1", "Unexpected '\xC3\xA9' in header section.\n"},
      {"malformed item start", "\xC3\x41%%\n", "1:1", "Unexpected 'invalid UTF-8' in header section.\n"},
      {"stray continuation byte", "%token A\n\x80%%\n", "2:1", "Unexpected 'invalid UTF-8' in header section.\n"},
      {"blank after percent", "% token X\n%%\n", "1:2", "Unexpected ' ' to start identifier.\n"},
      {"percent at end", "%", "1:2", "Unexpected 'end of input' to start identifier.\n"},
      {"unknown directive", "%begin s\n%%\n", "1:2", "Unknown directive.\n"},
      {"keyword prefix", "%tokens A\n%%\n", "1:2", "Unknown directive.\n"},
      {"unclosed prolog", "%{ int x;\n", "2:1", "Unexpected end of file in prolog.\n"},
      {"token tag not an identifier", "%token <1n> A\n%%\n", "1:9",
       "Unexpected '1' to start identifier.\nFailed to read type in token directive.\n"},
      {"token tag unclosed", "%token <num A\n%%\n", "1:12", "Missing '>' in the token directive.\n"},
      {"token tag blank before close", "%token <num > A\n%%\n", "1:12", "Missing '>' in the token directive.\n"},
      {"token name not an identifier", "%token A 1B\n%%\n", "1:10",
       "Unexpected '1' to start identifier.\nExpected token name.\n"},
      {"token name non-ASCII", "%token \xC3\xBC\n%%\n", "1:8",
       "Unexpected '\xC3\xBC' to start identifier.\nExpected token name.\n"},
      {"token list quoted", "%token '+'\n%%\n", "1:8", "Unexpected ''' to start identifier.\nExpected token name.\n"},
      {"type without tag", "%type e\n%%\n", "1:7", "Missing '<' in the type directive.\n"},
      {"type empty tag", "%type <> e\n%%\n", "1:8",
       "Unexpected '>' to start identifier.\nFailed to read type identifier.\n"},
      {"type tag unclosed", "%type <num e\n%%\n", "1:11", "Missing '>' in the type directive.\n"},
      {"type list with comment", "%type <num> a /* x */\n%%\n", "1:15",
       "Unexpected '/' to start identifier.\nExpected nonterminal name after type.\n"},
      {"type line ended by CR LF", "%type <num> a\r\n%%\n", "1:14",
       "Unexpected '\\r' to start identifier.\nExpected nonterminal name after type.\n"},
      {"union without brace", "%union int x; }\n%%\n", "1:8", "Missing opening '{' in the union directive.\n"},
      {"union at end", "%union", "1:7", "Missing opening '{' in the union directive.\n"},
      {"union unclosed", "%union { int x; { }\n%%\n", "3:1", "Missing closing '}' in the union directive.\n"},
      {"union malformed", "%union { \xC3\x41 }\n%%\n", "1:10",
       "Invalid Unicode code point: U+FFFFFFFF\n"},
      // The union is complete; what is missing is the end of the header.
      {"input ends after union", "%union { int x; }", "1:18", "Unexpected 'end of input' in header section.\n"},
      {"comment never closed", "/* %%\n", "2:1", "Unexpected end of file in comment.\nUnexpected 'end of input' in header section.\n"},
      // A malformed byte in a comment must not let the rest be read as grammar.
      {"malformed in comment", "/*\xC3\x41%%\na : 'x' { } ;\n// */\n"sv, "1:3",
       "Invalid Unicode code point in comment.\nUnexpected 'invalid UTF-8' in header section.\n"},
      {"malformed in comment before union brace", "%union /*\xC3\x41{ int x; } // */\n%%\n", "1:10",
       "Invalid Unicode code point in comment.\nMissing opening '{' in the union directive.\n"},
      // A comment that fails in a token list fails the directive.
      {"token list comment never closed", "%token A /* B\n%%\n", "3:1", "Unexpected end of file in comment.\n"},
      {"token list comment malformed", "%token A /*\xC3\x41 */ B\n%%\n", "1:12",
       "Invalid Unicode code point in comment.\n"},
      {"token list line comment malformed", "%token A // \xC3\x41\n%%\n", "1:13", "Invalid Unicode code point in comment.\n"},
  };
  expect_failures(cases, header_failed);
}

TEST(GrammarReaderFailures, RulesSection) {
  const std::vector<failure_case> cases = {
      {"stray equals", "%%\ne : e = { } ;\n", "2:7",
       "Unexpected '=' in rule.\nFailed to read rule for nonterminal.\n"},
      {"single percent", "%%\n% a\n", "2:1", "Unexpected '%' in rules section.\n"},
      {"percent at end", "%%\na : 'x' { } ;\n%", "3:1", "Unexpected '%' in rules section.\n"},
      {"digit starts group", "%%\n1a : 'x' { } ;\n", "2:1", "Unexpected '1' in rules section.\n"},
      {"quote starts group", "%%\n'a' : 'x' { } ;\n", "2:1", "Unexpected ''' in rules section.\n"},
      {"non-ASCII starts group", "%%\n\xCE\xBB : 'x' { } ;\n", "2:1", "Unexpected '\xCE\xBB' in rules section.\n"},
      {"missing colon", "%%\na 'x' { } ;\n", "2:3", "Expected ':' after nonterminal name.\n"},
      {"end after head", "%%\na", "2:2", "Expected ':' after nonterminal name.\n"},
      {"missing action", "%%\ne : 'x' ;\n", "2:9",
       "Missing '{' to start compound statement.\nFailed to read action for rule.\n"},
      {"missing action before bar", "%%\ne : 'x' | { } ;\n", "2:9",
       "Missing '{' to start compound statement.\nFailed to read action for rule.\n"},
      {"missing semicolon", "%%\ne : 'x' { } 'y' { } ;\n", "2:13", "Expected ';' after rules.\n"},
      {"end after action", "%%\ne : 'x' { }", "2:12", "Expected ';' after rules.\n"},
      {"end in alternative", "%%\ne : 'x'", "2:8",
       "Unexpected non-printable character in rule.\nFailed to read rule for nonterminal.\n"},
      {"control character", "%%\ne : 'x' \x01 { } ;\n", "2:9",
       "Unexpected non-printable character in rule.\nFailed to read rule for nonterminal.\n"},
      {"non-ASCII symbol", "%%\ne : \xC3\xA9 { } ;\n", "2:5",
       "Unexpected non-printable character in rule.\nFailed to read rule for nonterminal.\n"},
      {"digit symbol", "%%\ne : 1 { } ;\n", "2:5", "Unexpected '1' in rule.\nFailed to read rule for nonterminal.\n"},
      {"colon in rule", "%%\ne : a : b { } ;\n", "2:7", "Unexpected ':' in rule.\nFailed to read rule for nonterminal.\n"},
      {"blank starts terminal", "%%\ne : ' x' { } ;\n", "2:6",
       "Unexpected ' ' to start terminal.\nUnable to read terminal in rule.\nFailed to read rule for nonterminal.\n"},
      {"tab starts terminal", "%%\ne : '\tx' { } ;\n", "2:6",
       "Unexpected '\\t' to start terminal.\nUnable to read terminal in rule.\nFailed to read rule for nonterminal.\n"},
      {"end starts terminal", "%%\ne : '", "2:6",
       "Unexpected 'end of input' to start terminal.\nUnable to read terminal in rule.\n"
       "Failed to read rule for nonterminal.\n"},
      {"blank in terminal", "%%\ne : 'a b' { } ;\n", "2:7",
       "Unexpected ' ' in terminal.\nUnable to read terminal in rule.\nFailed to read rule for nonterminal.\n"},
      {"end in terminal", "%%\ne : 'ab", "2:8",
       "Unexpected 'end of input' in terminal.\nUnable to read terminal in rule.\n"
       "Failed to read rule for nonterminal.\n"},
      {"non-ASCII in terminal", "%%\ne : 'a\xC3\xA9' { } ;\n", "2:7",
       "Unexpected '\xC3\xA9' in terminal.\nUnable to read terminal in rule.\nFailed to read rule for nonterminal.\n"},
      {"malformed in terminal", "%%\ne : 'a\xC3\x41' { } ;\n", "2:7",
       "Unexpected 'invalid UTF-8' in terminal.\nUnable to read terminal in rule.\n"
       "Failed to read rule for nonterminal.\n"},
      {"line feed in terminal", "%%\ne : 'a\n' { } ;\n", "2:7",
       "Unexpected '\\n' in terminal.\nUnable to read terminal in rule.\nFailed to read rule for nonterminal.\n"},
      {"empty quotes then blank", "%%\ne : '' { } ;\n", "2:7",
       "Unexpected ' ' in terminal.\nUnable to read terminal in rule.\nFailed to read rule for nonterminal.\n"},
      {"string never ends", "%%\ne : 'x' { s = \"abc }\n", "3:1",
       "Unexpected end of input in string.\nFailed to read action for rule.\n"},
      {"long character literal", "%%\ne : 'x' { c = '\\x41'; } ;\n", "2:18",
       "Missing ''' to end character.\nFailed to read action for rule.\n"},
      {"block never ends", "%%\ne : 'x' { { } \n", "3:1",
       "error: unexpected end of input.\nFailed to read action for rule.\n"},
      {"malformed in action", "%%\ne : 'x' { \xC3\x41 } ;\n", "2:11",
       "Invalid Unicode code point: U+FFFFFFFF\nFailed to read action for rule.\n"},
      {"failure in second alternative", "%%\ne : 'x' { } | 'y' ? { } ;\n", "2:19",
       "Unexpected '?' in rule.\nFailed to read rule for nonterminal.\n"},
      {"failure in second group", "%%\ne : 'x' { } ;\nf 'y' { } ;\n", "3:3", "Expected ':' after nonterminal name.\n"},
      // A comment that fails where a group could start fails the section,
      // instead of passing the end of the input for the end of the rules.
      {"comment never closed", "%%\na : 'x' { } ;\n/* note\n%%\nint main;\n", "6:1", "Unexpected end of file in comment.\n"},
      {"comment malformed", "%%\n/* \xC3\x41 */\na : 'x' { } ;\n", "2:4", "Invalid Unicode code point in comment.\n"},
      {"line comment malformed", "%%\n// \xC3\x41\na : 'x' { } ;\n", "2:4", "Invalid Unicode code point in comment.\n"},
      // Broken comments inside a group end it as the end of the input would.
      {"broken comment before colon", "%%\na /*\xC3\x41: 'x' { } ; // */\n", "2:5",
       "Invalid Unicode code point in comment.\nExpected ':' after nonterminal name.\n"},
      {"broken comment in alternative", "%%\na : /*\xC3\x41{ } ; // */\n", "2:7",
       "Invalid Unicode code point in comment.\nUnexpected non-printable character in rule.\n"
       "Failed to read rule for nonterminal.\n"},
      {"broken comment before semicolon", "%%\na : 'x' { } /*\xC3\x41; // */\n", "2:15",
       "Invalid Unicode code point in comment.\nExpected ';' after rules.\n"},
      {"comment never closed in alternative", "%%\na : 'x' /* { } ;\n", "3:1",
       "Unexpected end of file in comment.\nUnexpected non-printable character in rule.\n"
       "Failed to read rule for nonterminal.\n"},
  };
  expect_failures(cases, rules_failed);
}

// ---------------------------------------------------------------------------
// Precedence, the start symbol and expected conflicts

TEST_F(GrammarReaderTest, PrecedenceLinesDeclareLevelsAndNewTokensInOrder) {
  ASSERT_TRUE(read_ok("%token A\n%left '+' '-'\n%right <n> POW A\n%nonassoc '<' NEW\n%start e\n%expect 3\n%%\n"
                      "x : e { } ;\ne : e '+' e { } | e POW e %prec '+' { } | '-' e %prec NEW { } | A { } ;\n"));
  struct level {
    const char* name;
    uint32_t precedence;
    associativity assoc;
    int32_t value;
    const char* tag;
  };
  const level levels[] = {
      {"A", 2, associativity::right, 0x110000, ""},     {"+", 1, associativity::left, '+', ""},
      {"-", 1, associativity::left, '-', ""},           {"POW", 2, associativity::right, 0x110001, "n"},
      {"<", 3, associativity::nonassoc, '<', ""},       {"NEW", 3, associativity::nonassoc, 0x110002, ""},
  };
  ASSERT_EQ(g_->terms->count, 6u);
  for (size_t k = 0; k < 6; ++k) {
    const term* t = term_at(k);
    SCOPED_TRACE(levels[k].name);
    EXPECT_EQ(text_of(t->name), levels[k].name);
    EXPECT_EQ(t->precedence, levels[k].precedence);
    EXPECT_EQ(t->assoc, levels[k].assoc);
    EXPECT_EQ(t->value, levels[k].value);
    EXPECT_EQ(text_of(t->type), levels[k].tag);
  }
  EXPECT_EQ(g_->precedence_levels, 3u);
  EXPECT_EQ(g_->declared_start, nonterm_at(0));  // e: named by %start before its group
  EXPECT_EQ(g_->start, nonterm_at(1));
  EXPECT_EQ(grammar_start_symbol(g_), nonterm_at(0));
  EXPECT_EQ(g_->expected_conflicts, 3);
  EXPECT_EQ(rule_of(0, 0)->precedence, nullptr);
  EXPECT_EQ(rule_precedence(rule_of(0, 0)), term_at(1));
  EXPECT_EQ(rule_of(0, 1)->precedence, term_at(1));
  EXPECT_EQ(rule_of(0, 2)->precedence, term_at(5));
  EXPECT_EQ(rule_of(0, 1)->symbols->count, 3u);  // %prec adds no symbol
}

TEST_F(GrammarReaderTest, WithoutTheNewDirectivesNothingIsDeclared) {
  ASSERT_TRUE(read_ok("%token A\n%%\ne : e '+' A { } ;\n"));
  EXPECT_EQ(g_->declared_start, nullptr);
  EXPECT_EQ(g_->expected_conflicts, -1);
  EXPECT_EQ(g_->precedence_levels, 0u);
  EXPECT_EQ(term_at(0)->precedence, 0u);
  EXPECT_EQ(term_at(1)->assoc, associativity::none);
}

TEST(GrammarReaderFailures, PrecedenceStartAndExpect) {
  const std::vector<failure_case> header = {
      {"terminal on two lines", "%left '+' '-'\n%right A '-'\n%%\n", "2:10",
       "Terminal '-' is already on an earlier precedence line.\n"},
      {"token twice on one line", "%nonassoc LT LT\n%%\n", "1:14", "Terminal 'LT' is already on an earlier precedence line.\n"},
      {"number on precedence line", "%left 1\n%%\n", "1:7",
       "Unexpected '1' to start identifier.\nExpected token name or quoted terminal.\n"},
      {"start without name", "%start\n%%\n", "1:7", "Expected a nonterminal name after %start.\n"},
      {"start names a token", "%token A\n%start A\n%%\n", "2:8", "The start symbol must be a nonterminal.\n"},
      {"start named twice", "%start a\n%start b\n%%\n", "2:8", "The start symbol is named twice.\n"},
      {"expect without number", "%expect x\n%%\n", "1:9", "Expected a number after %expect.\n"},
      {"expect too large", "%expect 99999999999\n%%\n", "1:19", "The number after %expect is too large.\n"},
  };
  expect_failures(header, header_failed);
  const std::vector<failure_case> rules = {
      {"prec of an unknown name", "%%\ne : 'x' %prec UNKNOWN { } ;\n", "2:15", "Expected a token after %prec.\n"},
      {"prec of a nonterminal", "%%\ne : 'x' %prec e { } ;\n", "2:15", "Expected a token after %prec.\n"},
      {"prec without name", "%%\ne : 'x' %prec { } ;\n", "2:15", "Expected a token after %prec.\n"},
      {"symbol after prec", "%%\ne : 'x' %prec 'x' 'y' { } ;\n", "2:19", "Expected the action after %prec.\n"},
      {"other word in rule", "%%\ne : 'x' %left { } ;\n", "2:9", "Unknown directive in rule.\n"},
  };
  expect_failures(rules, std::string("Failed to read rule for nonterminal.\n") + rules_failed);
  outcome o = read_text("%start s\n%%\ne : 'x' { } ;\n");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.errors, "g.y:1:8: The start symbol has no rules.\n");
}

TEST(GrammarReaderFailures, UserCode) {
  const std::vector<failure_case> cases = {
      {"malformed in user code", "%%\na : 'x' { } ;\n%%\nint x; \xC3\x41\n", "4:8",
       "Invalid Unicode code point: U+FFFFFFFF\n"},
      // Malformed text where a group could start ends the rules like the end
      // of the input; the user-code reader then reports it.
      {"malformed where a group could start", "%%\na : 'x' { } ;\n\xC3\x41", "3:1", "Invalid Unicode code point: U+FFFFFFFF\n"},
  };
  expect_failures(cases, "Failed to read grammar user code.\n");
}

// ---------------------------------------------------------------------------
// Allocation failures

TEST(GrammarReaderMemory, EveryFailedAllocationFailsTheReadWithoutLeaking) {
  const std::string input =
      "%{ p %}\n%union { u }\n%token <v> A B\n%type <w> e\n%%\n"
      "e : e '+' A { $$ = 1; } | t 'x' { } | { } ;\n"
      "t : B e { } ;\n%%\ncode\n";
  outcome clean = read_text(input);
  ASSERT_TRUE(clean.ok) << clean.errors;

  // Count the allocations of one clean read.
  grammar* g = grammar_new();
  reader* r = reader_over(input);
  size_t before = memory_allocation_count();
  testing::internal::CaptureStderr();
  ASSERT_TRUE(grammar_read(g, r));
  testing::internal::GetCapturedStderr();
  size_t allocations = memory_allocation_count() - before;
  grammar_free(g);
  reader_free(r);
  ASSERT_GT(allocations, 20u);

  for (size_t k = 1; k <= allocations + 1; ++k) {
    SCOPED_TRACE("allocation " + std::to_string(k));
    size_t baseline = memory_live_blocks();
    g = grammar_new();
    r = reader_over(input);
    ASSERT_NE(g, nullptr);
    ASSERT_NE(r, nullptr);
    memory_fail_at(k);
    testing::internal::CaptureStderr();
    bool ok = grammar_read(g, r);
    testing::internal::GetCapturedStderr();
    memory_fail_at(0);
    if (k <= allocations) {
      EXPECT_FALSE(ok);
    } else {
      EXPECT_TRUE(ok);
      EXPECT_EQ(dump(g), clean.result);
    }
    grammar_free(g);
    reader_free(r);
    EXPECT_EQ(memory_live_blocks(), baseline);
  }
}

}  // namespace
