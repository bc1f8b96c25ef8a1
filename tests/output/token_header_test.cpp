#include "output/token_header.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_grammar.h"
#include "grammar/grammar_reader.h"

namespace {

// Reads text as a grammar file; fails the test when it does not read.
grammar* read_grammar(const std::string& text) {
  grammar* g = read_test_grammar(text.c_str());
  EXPECT_NE(g, nullptr);
  return g;
}

std::string header_text(const std::string& grammar_text) {
  grammar* g = read_grammar(grammar_text);
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  EXPECT_TRUE(write_token_header(g, stream));
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

}  // namespace
