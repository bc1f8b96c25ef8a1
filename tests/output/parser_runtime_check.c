/* Runs the parser runtime on hand-written tables, compiled on its own (as C99
   and as C++) without any generated code around it. The grammar is
       s : 'x' n 'y' ;    (rule 0)
       n : 'z' ;          (rule 1)
   whose automaton has five states: 0, 1 after x, 2 after x z, 3 after x n
   and 4 after x n y, where the input is accepted. */
#include <stdio.h>
#include <string.h>

typedef int YYSTYPE;

int yypact[] = {0, 1, 2, 2, 3, 4};
int yycheck[] = {'x', 'z', 'y', -1};
int yytable[] = {2, 3, 5, -1};
int yyaccept[] = {0, 0, 0, 1};
int yydefact[] = {-1, -1, 1, -1, -1};
int yygopact[] = {0, 0, 1, 1, 1, 1};
int yygocheck[] = {1};
int yygotable[] = {3};
int yyr1[] = {0, 1};
int yyr2[] = {3, 1};

/* The same tables as combs: columns 'x' + 1, 'y' + 1 and 'z' + 1 for the
   quoted terminals and 0 for the end of input; state 2 has no entries and
   sits past the end. */
static const int yylookup[] = {'z' + 2, 0x110000, 4, 2, 0};
static const int yyactbase[] = {-'x', -'y', 4, -'y' + 2, 0};
static const int yyactcheck[] = {0, 'x' + 1, 'z' + 1, 'y' + 1};
static const int yyactvalue[] = {-2, 2, 3, 5};
static const int yygotobase[] = {2, 0, 2, 2, 2};
static const int yygotocheck[] = {-1, 1};
static const int yygotovalue[] = {0, 4};
static const int yygotodefault[] = {-1, 3};

static const char *input;
static char token_text[2];
char *yytext;
static char reductions[16];

int yylex(void)
{
    token_text[0] = *input;
    yytext = token_text;
    if (*input == '\0') {
        return 0;
    }
    return *input++;
}

int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs)
{
    size_t used = strlen(reductions);
    if (used + 1 < sizeof reductions) {
        reductions[used] = (char)('0' + yystate);
    }
    *result = yysp > 0 ? yyvs[yysp - 1] : 0;
    return 0;
}

#include "parser_runtime.c"

/* Parses text; true when yyparse returned expected_result after running
   exactly the expected reductions (rule numbers in order). */
static bool check(const char *text, int expected_result, const char *expected_reductions)
{
    input = text;
    memset(reductions, 0, sizeof reductions);
    int result = yyparse();
    if (result == expected_result && strcmp(reductions, expected_reductions) == 0) {
        return true;
    }
    fprintf(stderr, "input \"%s\": yyparse %d, reductions \"%s\"\n", text, result, reductions);
    return false;
}

int main(void)
{
    bool passed = check("xzy", 0, "10");
    passed = check("xy", -1, "") && passed;
    passed = check("xz", -1, "1") && passed;
    passed = check("", -1, "") && passed;
    passed = check("xzyx", -1, "1") && passed;
    return passed ? 0 : 1;
}
