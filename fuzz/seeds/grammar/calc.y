/* A desk calculator: statements are expressions ended by ';'. */
%{
#include <stdio.h>
#include <string.h>
#include "grammar.tab.h"
%}

%union { int number; }

%token <number> NUMBER
%type <number> expr term factor

%%

session : input { } ;

input : input statement { }
      | { }
      ;

statement : expr ';' { printf("%d\n", $1); } ;

expr : expr '+' term { $$ = $1 + $3; }
     | expr '-' term { $$ = $1 - $3; }
     | term { $$ = $1; }
     ;

term : term '*' factor { $$ = $1 * $3; }
     | term '/' factor { $$ = $3 != 0 ? $1 / $3 : 0; }
     | factor { $$ = $1; }
     ;

factor : NUMBER { $$ = $1; }
       | '(' expr ')' { $$ = $2; }
       | '-' factor { $$ = -$2; }
       ;

%%

int main(void) {
    return yyparse() == 0 ? 0 : 1;
}
