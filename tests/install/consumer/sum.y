/* Sums of numbers: 1 + 2 + 39 prints 42. */
%{
#include <stdio.h>
#include <string.h>
#include "grammar.tab.h"
%}

%union { long number; }

%token <number> NUMBER
%type <number> sum

%%

total : sum { printf("%ld\n", $1); } ;

sum : sum '+' NUMBER { $$ = $1 + $3; }
    | NUMBER { $$ = $1; }
    ;

%%
