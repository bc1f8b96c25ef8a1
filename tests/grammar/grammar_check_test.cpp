#include "grammar/grammar_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "grammar/grammar_reader.h"
#include "support/captured_diagnostics.h"
#include "support/test_grammar.h"
#include "text/memory.h"

namespace {

// The warnings for a grammar, which must read without a failure.
std::string warnings_for(const std::string& text) {
  ustring* source = ustring_new();
  ustring_reserve(source, text.size() + 1);
  std::memcpy(source->data, text.data(), text.size());
  source->size = text.size();
  reader* r = reader_new_string(source);
  grammar* g = grammar_new();
  captured_diagnostics captured("g.y");
  reader_report_to(r, &captured.sink);
  EXPECT_TRUE(grammar_read(g, r)) << captured.text();
  EXPECT_TRUE(grammar_check(g, &captured.sink));
  grammar_free(g);
  reader_free(r);
  ustring_free(source);
  return captured.text();
}

struct check_case {
  const char* title;
  std::string grammar;
  const char* warnings;
};

void expect_warnings(const std::vector<check_case>& cases) {
  for (const check_case& c : cases) EXPECT_EQ(warnings_for(c.grammar), c.warnings) << c.title;
}

const std::string typed = "%union { int n; }\n%token <n> NUM\n%type <n> e\n%%\n";

TEST(GrammarCheck, NonterminalsUsedWithoutRuleGroups) {
  expect_warnings({
      {"misspelt", "%%\ns : product { } ;\nproduct : 'x' { } ;\nt : prodcut { } ;\n",
       "g.y:4:5: warning: nonterminal prodcut is used but has no rule group\n"
       "g.y:4:1: warning: nonterminal t derives no string of terminals\n"
       "g.y:4:1: warning: nonterminal t cannot be reached from the start symbol s\n"},
      {"first use is the place", "%%\ns : a b a { } ;\nb : 'x' { } ;\n",
       "g.y:2:5: warning: nonterminal a is used but has no rule group\n"
       "g.y:2:1: warning: nonterminal s derives no string of terminals\n"},
      {"defined after use", "%%\ns : a { } ;\na : 'x' { } ;\n", ""},
      {"defined in two groups", "%%\ns : a { } ;\na : 'x' { } ;\na : 'y' { } ;\n", ""},
  });
}

TEST(GrammarCheck, ValueReferencesTheGeneratedCodeCannotCompile) {
  expect_warnings({
      {"past the end", typed + "e : NUM '+' NUM { $$ = $4; }\n  | { $$ = $1; } ;\n",
       "g.y:5:24: warning: $4 is beyond the 3 symbols of its alternative\n"
       "g.y:6:12: warning: $1 is beyond the 0 symbols of its alternative\n"},
      {"one symbol", typed + "e : NUM { $$ = $2; } ;\n", "g.y:5:16: warning: $2 is beyond the 1 symbol of its alternative\n"},
      {"untyped under a union", typed + "e : e '+' t { $$ = $1 + $3 + $2; } | NUM { $$ = $1; } ;\nt : NUM { $$ = $1; } ;\n",
       "g.y:5:25: warning: $3 gets no member of the %union: nonterminal t has no type\n"
       "g.y:5:30: warning: $2 gets no member of the %union: terminal '+' has no type\n"
       "g.y:6:11: warning: $$ gets no member of the %union: nonterminal t has no type\n"},
      {"untyped declared token", "%union { int n; }\n%token ID\n%%\ns : ID { int x = $1; (void)x; } ;\n",
       "g.y:4:18: warning: $1 gets no member of the %union: terminal ID has no type\n"},
      // Without a union the values are whatever the user's YYSTYPE is.
      {"untyped without a union", "%%\ns : 'x' s { $$ = $2; } | { } ;\n", ""},
      {"typed everywhere", typed + "e : e '+' e { $$ = $1 + $3; } | NUM { $$ = $1; } ;\n", ""},
      // Comments and literals are not code, nor are other uses of the dollar sign.
      {"comments and literals", typed + "e : NUM { /* $2 $$ */ $$ = '$' + $1; // $9\n s = \"$7\"; $0; $<n>1; } ;\n", ""},
      {"after a comment on the line", typed + "e : NUM { /* x */ $$ = $3; } ;\n",
       "g.y:5:24: warning: $3 is beyond the 1 symbol of its alternative\n"},
      {"columns count characters", typed + "e : NUM { s = \"\xC3\xA9\xE2\x82\xAC\"; $$ = $2; } ;\n",
       "g.y:5:26: warning: $2 is beyond the 1 symbol of its alternative\n"},
  });
}

TEST(GrammarCheck, QuotedTerminalsOfSeveralCharactersOncePerTerminal) {
  expect_warnings({
      {"two characters", "%%\ns : 'a' '<=' 'b' { } | '<=' { } ;\n",
       "g.y:2:9: warning: terminal '<=' has several characters: its token number is that of '<', so the scanner "
       "cannot tell them apart\n"},
      {"a declared token in quotes", "%token LE\n%%\ns : 'LE' 'x' { } ;\n", ""},
      {"one character each", "%%\ns : '<' '=' ''' { } ;\n", ""},
  });
}

TEST(GrammarCheck, NonterminalsThatDeriveNothingOrAreNeverReached) {
  expect_warnings({
      {"only itself", "%%\ns : 'x' { } | l { } ;\nl : l 'y' { } ;\n",
       "g.y:3:1: warning: nonterminal l derives no string of terminals\n"},
      {"through a chain", "%%\ns : a { } ;\na : b 'x' { } ;\nb : a { } ;\n",
       "g.y:2:1: warning: nonterminal s derives no string of terminals\n"
       "g.y:3:1: warning: nonterminal a derives no string of terminals\n"
       "g.y:4:1: warning: nonterminal b derives no string of terminals\n"},
      {"empty alternative derives", "%%\ns : a { } ;\na : a 'x' { } | { } ;\n", ""},
      {"unreachable group", "%%\ns : 'x' { } ;\nu : v { } ;\nv : 'y' { } ;\n",
       "g.y:3:1: warning: nonterminal u cannot be reached from the start symbol s\n"
       "g.y:4:1: warning: nonterminal v cannot be reached from the start symbol s\n"},
      {"typed but never used", "%union { int n; }\n%type <n> spare\n%%\ns : 'x' { } ;\n",
       "g.y:2:11: warning: nonterminal spare cannot be reached from the start symbol s\n"},
      {"head named like a token", "%token t\n%%\ns : t { } ;\nt : 'x' { } ;\n",
       "g.y:4:1: warning: nonterminal t cannot be reached from the start symbol s\n"},
      {"no rules at all", "%%\n", ""},
  });
}

// The productive and reachable nonterminals agree with a slow computation
// that adds one fact per pass over every rule until nothing changes. A used
// nonterminal without rules has its own warning and no other.
TEST(GrammarCheck, UselessNonterminalsAgreeWithASlowComputation) {
  for (uint64_t seed = 0; seed < 300; ++seed) {
    std::string text = random_grammar_text(seed);
    grammar* g = read_test_grammar(text.c_str());
    ASSERT_NE(g, nullptr) << text;
    size_t n = g->nonterms->count;
    std::vector<bool> productive(n), reached(n);
    if (g->start != nullptr) reached[g->start->id] = true;
    for (bool changed = true; changed;) {
      changed = false;
      for (size_t i = 0; i < n; ++i) {
        const nonterm* head = g->nonterms->items[i];
        for (size_t k = 0; k < head->rules->count; ++k) {
          const symbols* rhs = head->rules->items[k]->symbols;
          bool all = true;
          for (size_t j = 0; j < rhs->count; ++j) {
            const nonterm* m = rhs->items[j].nonterm;
            if (m == nullptr) continue;
            all = all && productive[m->id];
            if (reached[i] && !reached[m->id]) reached[m->id] = changed = true;
          }
          if (all && !productive[i]) productive[i] = changed = true;
        }
      }
    }
    std::set<std::string> expected;
    for (size_t i = 0; i < n && g->start != nullptr; ++i) {
      std::string name(reinterpret_cast<const char*>(g->nonterms->items[i]->name->data), g->nonterms->items[i]->name->size);
      if (g->nonterms->items[i]->rules->count != 0 && !productive[i]) expected.insert(name + " derives");
      bool undefined = g->nonterms->items[i]->rules->count == 0;  // every such one here is used: warned apart
      if (!reached[i] && !undefined) expected.insert(name + " cannot");
    }
    grammar_free(g);
    std::set<std::string> warned;
    std::string lines = warnings_for(text);
    for (size_t at = lines.find("nonterminal "); at != std::string::npos; at = lines.find("nonterminal ", at + 1)) {
      size_t name_end = lines.find(' ', at + 12);
      size_t word_end = lines.find(' ', name_end + 1);
      std::string word = lines.substr(name_end + 1, word_end - name_end - 1);
      if (word == "derives" || word == "cannot") warned.insert(lines.substr(at + 12, word_end - at - 12));
    }
    EXPECT_EQ(warned, expected) << text << lines;
  }
}

TEST(GrammarCheck, RunningOutOfMemoryFailsWithoutLeaking) {
  grammar* g = read_test_grammar("%%\ns : 'x' { } ;\nu : 'y' { } ;\n");
  ASSERT_NE(g, nullptr);
  size_t live = memory_live_blocks();
  captured_diagnostics captured;
  memory_fail_at(1);
  EXPECT_FALSE(grammar_check(g, &captured.sink));
  memory_fail_at(0);
  EXPECT_EQ(memory_live_blocks(), live);
  grammar_free(g);
}

}  // namespace
