/* Counts the words of its input: "a bc d" prints "3 words". */
%{
#include <stdio.h>
#include <string.h>
#include "words.tab.h"
%}

%union { int count; }

%token WORD
%type <count> words

%%

text : words { printf("%d words\n", $1); } ;

words : words WORD { $$ = $1 + 1; }
      | { $$ = 0; }
      ;

%%
