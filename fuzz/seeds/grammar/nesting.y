/* Statements, blocks and arithmetic: nesting through blocks, parentheses and
   unary minus, left and right recursion, and an empty alternative, so that
   token streams reach every kind of table entry. Values are unsigned, so
   that no input makes the actions overflow. */
%{
#include <stdio.h>
#include <string.h>
#include "grammar.tab.h"
%}
%union { unsigned number; }
%token <number> NUMBER
%token NAME
%type <number> expr term factor
%%
program : list { } ;
list : list item { } | { } ;
item : expr ';' { } | '{' list '}' { } | NAME '=' expr ';' { } ;
expr : expr '+' term { $$ = $1 + $3; } | expr '-' term { $$ = $1 - $3; } | term { $$ = $1; } ;
term : term '*' factor { $$ = $1 * $3; } | factor { $$ = $1; } ;
factor : NUMBER { $$ = $1; } | NAME { $$ = 0; } | '(' expr ')' { $$ = $2; } | '-' factor { $$ = 0u - $2; } ;
%%
