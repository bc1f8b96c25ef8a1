%token IF ELSE X
%start stmt
%expect 1
%%
stmt : IF '(' X ')' stmt { } | IF '(' X ')' stmt ELSE stmt { } | X { } | '@' { } ;
