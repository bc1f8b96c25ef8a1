#ifndef VELLMARK_OUTPUT_PARSER_CODE_H
#define VELLMARK_OUTPUT_PARSER_CODE_H

// The parser runtime's C text (runtime/parser_runtime.c, embedded at build
// time), written unchanged as the last piece of every generated parser; it
// holds no terminating NUL.
extern const unsigned char parser_code[];

// The number of bytes of parser_code.
extern const unsigned int parser_code_len;

#endif
