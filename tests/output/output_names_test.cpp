#include "output/output_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/grammar_objects.h"

namespace {

TEST(OutputNames, PrefixTakesThePlaceOfYyOrStandsBeforeTheName) {
  struct Case {
    const char* prefix;
    const char* name;
    const char* spelt;
  };
  const Case cases[] = {
      {nullptr, "yyparse", "yyparse"}, {nullptr, "YYSTYPE", "YYSTYPE"},    {nullptr, "term", "term"},
      {"calc_", "yyparse", "calc_parse"}, {"calc_", "YYSTYPE", "CALC_STYPE"}, {"Cfg2", "YYSTYPE", "CFG2STYPE"},
      {"calc_", "term", "calc_term"},    {"calc_", "tab_h", "calc_tab_h"},   {"q", "yyr1", "qr1"},
  };
  for (const Case& c : cases) {
    const output_names names{c.prefix};
    EXPECT_EQ(printed([&](FILE* s) { names_print(&names, c.name, s); }), c.spelt) << c.name;
  }
}

TEST(OutputNames, CodeHasOnlyItsExternalNamesRespelt) {
  const char* code =
      "int yyparse(void) { return yylex() + yystate + myyparse + yyparse2 + sizeof(YYSTYPE) + yyr2[0]; }\n"
      "/* yytext */ YYSTYPE yyval; int x = 0x1yyr1;";
  const output_names plain{}, prefixed{"p_"};
  EXPECT_EQ(printed([&](FILE* s) { names_print_code(&plain, code, s); }), code);
  EXPECT_EQ(printed([&](FILE* s) { names_print_code(&prefixed, code, s); }),
            "int p_parse(void) { return p_lex() + yystate + myyparse + yyparse2 + sizeof(P_STYPE) + p_r2[0]; }\n"
            "/* p_text */ P_STYPE yyval; int x = 0x1yyr1;");
}

TEST(OutputNames, PrefixMustBeACIdentifier) {
  for (const char* valid : {"calc_", "_x9", "Q"}) EXPECT_TRUE(names_prefix_is_valid(valid)) << valid;
  for (const char* invalid : {"", "9a", "a-b", "a b", "\xC3\xA9"}) EXPECT_FALSE(names_prefix_is_valid(invalid)) << invalid;
}

}  // namespace
