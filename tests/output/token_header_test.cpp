#include "output/token_header.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_grammar.h"
#include "grammar/grammar_reader.h"

namespace {

const output_names plain_names{};

// Reads text as a grammar file; fails the test when it does not read.
grammar* read_grammar(const std::string& text) {
  grammar* g = read_test_grammar(text.c_str());
  EXPECT_NE(g, nullptr);
  return g;
}

std::string header_text(const std::string& grammar_text, const output_names* names = &plain_names) {
  grammar* g = read_grammar(grammar_text);
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  EXPECT_TRUE(write_token_header(g, names, stream));
  std::fclose(stream);
  std::string text(buffer, size);
  free(buffer);
  grammar_free(g);
  return text;
}

const std::string shared_declarations =
    "void yyerror(const char *message);\n\n"
    "extern YYSTYPE yylval;\n\n"
    "extern char *yytext;\n\n"
    "int yyparse(void);\n\n"
    "#endif\n";

TEST(TokenHeader, ListsNamedTokensPaddedToTenColumnsAndTheUnion) {
  std::string text = header_text(
      "%union { int n; char *s; }\n"
      "%token <n> NUM\n"
      "%token IDENTIFIER_LONG X\n"
      "%%\n"
      "e : NUM '+' IDENTIFIER_LONG X { } ;\n");
  EXPECT_EQ(text,
            "#ifndef tab_h\n#define tab_h\n\n"
            "enum yytokentype {\n"
            "NUM        = 1114112,\n"
            "IDENTIFIER_LONG = 1114113,\n"
            "X          = 1114114,\n"
            "};\n\n"
            "typedef union YYSTYPE { int n; char *s; } YYSTYPE;\n\n" +
                shared_declarations);
}

TEST(TokenHeader, LeavesOutAnEnumerationWithoutMembers) {
  // Quoted terminals below 256 are returned by the scanner as characters.
  std::string text = header_text("%%\ne : 'a' '+' { } ;\n");
  EXPECT_EQ(text, "#ifndef tab_h\n#define tab_h\n\ntypedef union YYSTYPE  YYSTYPE;\n\n" + shared_declarations);
}

TEST(TokenHeader, SpellsEveryNameWithThePrefix) {
  const output_names names{"cfg_"};
  EXPECT_EQ(header_text("%union { int n; }\n%token N\n%%\ne : N { } ;\n", &names),
            "#ifndef cfg_tab_h\n#define cfg_tab_h\n\n"
            "enum cfg_tokentype {\n"
            "N          = 1114112,\n"
            "};\n\n"
            "typedef union CFG_STYPE { int n; } CFG_STYPE;\n\n"
            "void cfg_error(const char *message);\n\n"
            "extern CFG_STYPE cfg_lval;\n\n"
            "extern char *cfg_text;\n\n"
            "int cfg_parse(void);\n\n"
            "#endif\n");
}

}  // namespace
