/* lead */ %token A // line
%%
/* c */ s : A /* x */ { /* } */ "}" '}' } ;
%%
/* tail */