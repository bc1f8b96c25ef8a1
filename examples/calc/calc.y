/* A desk calculator: statements are expressions ended by ';'. The operators
   bind as they do in arithmetic: '^' (a power) tightest and grouping to the
   right, then a unary minus (-2^2 is -4), then '*' and '/', then '+' and '-',
   all grouping to the left; a comparison '<' binds loosest and does not chain. */
%{
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include "grammar.tab.h"

/* base to the power exponent, held at the nearest end of the range of an int; 0 for a negative exponent. */
static int power(int base, int exponent) {
    long long result = exponent < 0 ? 0 : 1;
    for (int i = 0; i < exponent; ++i) {
        result *= base;
        if (result > INT_MAX) return INT_MAX;
        if (result < INT_MIN) return INT_MIN;
    }
    return (int)result;
}
%}

%union { int number; }

%token <number> NUMBER
%type <number> expr

%nonassoc '<'
%left '+' '-'
%left '*' '/'
%right UMINUS
%right '^'

%%

session : input { } ;

input : input statement { }
      | { }
      ;

statement : expr ';' { printf("%d\n", $1); } ;

expr : expr '<' expr { $$ = $1 < $3; }
     | expr '+' expr { $$ = $1 + $3; }
     | expr '-' expr { $$ = $1 - $3; }
     | expr '*' expr { $$ = $1 * $3; }
     | expr '/' expr { $$ = $3 != 0 ? $1 / $3 : 0; }
     | expr '^' expr { $$ = power($1, $3); }
     | '-' expr %prec UMINUS { $$ = -$2; }
     | '(' expr ')' { $$ = $2; }
     | NUMBER { $$ = $1; }
     ;

%%

int main(void) {
    return yyparse() == 0 ? 0 : 1;
}
