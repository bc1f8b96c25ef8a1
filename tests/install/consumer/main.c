#include "grammar.tab.h"

int main(void) {
    return yyparse() == 0 ? 0 : 1;
}
