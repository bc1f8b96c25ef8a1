/* The scanner of the desk calculator: numbers, operators, nothing else. */
#include <ctype.h>
#include <limits.h>
#include <stdio.h>

#include "grammar.tab.h"

char *yytext;
static char text[32];

/* Skips blanks and returns the next token, 0 at the end of the input. */
int yylex(void) {
    int c;
    do {
        c = getchar();
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    if (c == EOF) return 0;
    size_t n = 0;
    text[n++] = (char)c;
    if (isdigit(c)) {
        int value = c - '0';
        while (isdigit(c = getchar())) {
            /* A number too large for an int stays at the largest int. */
            value = value > (INT_MAX - (c - '0')) / 10 ? INT_MAX : value * 10 + (c - '0');
            if (n + 1 < sizeof text) text[n++] = (char)c;
        }
        ungetc(c, stdin);
        text[n] = '\0';
        yytext = text;
        yylval.number = value;
        return NUMBER;
    }
    text[n] = '\0';
    yytext = text;
    return c;
}

void yyerror(const char *message) {
    fprintf(stderr, "%s\n", message);
}
