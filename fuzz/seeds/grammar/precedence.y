%token NUM
%nonassoc '<'
%left '+' '-'
%left <n> '*' DIV
%right UMINUS
%right '^'
%start e
%expect 0
%%
e : e '<' e { } | e '+' e { } | e '-' e { } | e '*' e { } | e DIV e { }
  | e '^' e { } | '-' e %prec UMINUS { } | '(' e ')' { } | NUM { } ;
