%token x
%%
s : a { } | b { } ;
a : x { } ;
b : x { } ;
