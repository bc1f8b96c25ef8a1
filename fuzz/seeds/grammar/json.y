/* A JSON checker: accepts one JSON document on standard input, rejects
   anything else, and counts the values of the document by kind. */
%{
#include <stdio.h>
#include <string.h>
#include "grammar.tab.h"

static long objects, arrays, strings, numbers, trues, falses, nulls;
static long members, elements;
%}

%union { long count; }

%token STRING NUMBER TRUE_WORD FALSE_WORD NULL_WORD
%type <count> member_list element_list

%%

document : value { } ;

value : object { ++objects; }
      | array { ++arrays; }
      | STRING { ++strings; }
      | NUMBER { ++numbers; }
      | TRUE_WORD { ++trues; }
      | FALSE_WORD { ++falses; }
      | NULL_WORD { ++nulls; }
      ;

object : '{' '}' { }
       | '{' member_list '}' { members += $2; }
       ;

member_list : member { $$ = 1; }
            | member_list ',' member { $$ = $1 + 1; }
            ;

member : STRING ':' value { } ;

array : '[' ']' { }
      | '[' element_list ']' { elements += $2; }
      ;

element_list : value { $$ = 1; }
             | element_list ',' value { $$ = $1 + 1; }
             ;

%%

int main(void) {
    if (yyparse() != 0) {
        return 1;
    }
    printf("objects %ld\narrays %ld\nstrings %ld\nnumbers %ld\ntrue %ld\nfalse %ld\nnull %ld\n",
           objects, arrays, strings, numbers, trues, falses, nulls);
    printf("members %ld\nelements %ld\n", members, elements);
    return 0;
}
