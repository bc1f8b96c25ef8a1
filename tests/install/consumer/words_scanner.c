/* Words of letters from standard input; any other character is itself. */
#include <ctype.h>
#include <stdio.h>

#include "words.tab.h"

char *wordstext;
static char text[2];

int wordslex(void) {
    int c;
    do {
        c = getchar();
    } while (c == ' ' || c == '\n');
    if (c == EOF) return 0;
    text[0] = (char)c;
    wordstext = text;
    if (!isalpha(c)) return c;
    while (isalpha(c = getchar())) {
    }
    ungetc(c, stdin);
    return WORD;
}
