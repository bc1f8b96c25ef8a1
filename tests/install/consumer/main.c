#include <string.h>

#include "grammar.tab.h"
#include "words.tab.h"

/* "consumer" sums numbers, "consumer words" counts words. */
int main(int argc, char **argv) {
    int result = argc > 1 && strcmp(argv[1], "words") == 0 ? wordsparse() : yyparse();
    return result == 0 ? 0 : 1;
}
