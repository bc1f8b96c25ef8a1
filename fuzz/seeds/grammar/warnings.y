%union { int n; }
%token <n> NUM
%%
s : s '<=' NUM { $$ = $3 + $7; /* $9 */ } | prodcut { } ;
lost : NUM { } ;
