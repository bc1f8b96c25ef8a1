/* The scanner of the JSON checker: the tokens of RFC 8259 from standard
   input. Anything malformed is returned as a token that no rule expects,
   so the parser rejects the document at that point. */
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "grammar.tab.h"

/* Returned for malformed input; the parser has no entry for it. */
#define MALFORMED 1

char *yytext;
static char text[64];
static size_t length;

/* Keeps the first characters of the token for the parser's messages. */
static void keep(int c) {
    if (length + 1 < sizeof text) {
        text[length++] = (char)c;
    }
    text[length] = '\0';
}

/* Reads and keeps the next character. */
static int next(void) {
    int c = getchar();
    if (c != EOF) {
        keep(c);
    }
    return c;
}

/* Reads the digits after the first one; returns how many there were. */
static int digits(void) {
    int count = 0;
    int c;
    while ((c = getchar()) != EOF && isdigit(c)) {
        keep(c);
        ++count;
    }
    ungetc(c, stdin);
    return count;
}

/* The rest of a number whose first character (a digit or '-') is kept. */
static int number(int first) {
    if (first == '-') {
        first = next();
        if (first == EOF || !isdigit(first)) {
            return MALFORMED;
        }
    }
    if (first != '0') {
        digits();
    }
    int c = getchar();
    if (c == '.') {
        keep(c);
        if (digits() == 0) {
            return MALFORMED;
        }
        c = getchar();
    }
    if (c == 'e' || c == 'E') {
        keep(c);
        c = getchar();
        if (c == '+' || c == '-') {
            keep(c);
        } else {
            ungetc(c, stdin);
        }
        if (digits() == 0) {
            return MALFORMED;
        }
        c = getchar();
    }
    ungetc(c, stdin);
    return NUMBER;
}

/* The continuation bytes of a UTF-8 sequence whose lead byte is kept;
   false for a sequence that is not the shortest encoding of a code point
   outside the surrogates. */
static int utf8_sequence(int lead) {
    int count = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    int low = 0x80;
    int high = 0xBF;
    if (lead < 0xC2 || lead > 0xF4) {
        return 0;
    }
    if (lead == 0xE0) {
        low = 0xA0;
    } else if (lead == 0xED) {
        high = 0x9F;
    } else if (lead == 0xF0) {
        low = 0x90;
    } else if (lead == 0xF4) {
        high = 0x8F;
    }
    for (int i = 0; i < count; ++i) {
        int c = next();
        if (c < low || c > high) {
            return 0;
        }
        low = 0x80;
        high = 0xBF;
    }
    return 1;
}

/* The rest of a string after its opening quote. */
static int string(void) {
    for (;;) {
        int c = next();
        if (c == EOF || c < 0x20) {
            return MALFORMED;
        }
        if (c == '"') {
            return STRING;
        }
        if (c >= 0x80 && !utf8_sequence(c)) {
            return MALFORMED;
        }
        if (c != '\\') {
            continue;
        }
        c = next();
        if (c == 'u') {
            for (int i = 0; i < 4; ++i) {
                c = next();
                if (c == EOF || !isxdigit(c)) {
                    return MALFORMED;
                }
            }
        } else if (c == EOF || strchr("\"\\/bfnrt", c) == NULL) {
            return MALFORMED;
        }
    }
}

/* The rest of true, false or null after its first letter. */
static int word(int first) {
    const char *rest = first == 't' ? "rue" : first == 'f' ? "alse" : "ull";
    for (; *rest != '\0'; ++rest) {
        if (next() != *rest) {
            return MALFORMED;
        }
    }
    return first == 't' ? TRUE_WORD : first == 'f' ? FALSE_WORD : NULL_WORD;
}

/* Skips white space and returns the next token, 0 at the end of the input. */
int yylex(void) {
    int c;
    do {
        c = getchar();
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    length = 0;
    text[0] = '\0';
    yytext = text;
    if (c == EOF) {
        return 0;
    }
    keep(c);
    if (c == '"') {
        return string();
    }
    if (c == '-' || isdigit(c)) {
        return number(c);
    }
    if (c == 't' || c == 'f' || c == 'n') {
        return word(c);
    }
    if (strchr("{}[],:", c) != NULL) {
        return c;
    }
    return MALFORMED;
}

void yyerror(const char *message) {
    fprintf(stderr, "%s\n", message);
}
