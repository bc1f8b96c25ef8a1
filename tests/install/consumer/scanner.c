/* Numbers and single characters from standard input. */
#include <ctype.h>
#include <stdio.h>

#include "grammar.tab.h"

char *yytext;
static char text[2];

int yylex(void) {
    int c;
    do {
        c = getchar();
    } while (c == ' ' || c == '\n');
    if (c == EOF) return 0;
    if (isdigit(c)) {
        long value = 0;
        for (; isdigit(c); c = getchar()) value = value * 10 + (c - '0');
        ungetc(c, stdin);
        yylval.number = value;
        yytext = "number";
        return NUMBER;
    }
    text[0] = (char)c;
    yytext = text;
    return c;
}

void yyerror(const char *message) {
    fprintf(stderr, "%s\n", message);
}
