#ifndef VELLMARK_LEX_EXPRESSION_H
#define VELLMARK_LEX_EXPRESSION_H

#include "lex/macros.h"
#include "text/reader.h"
#include "text/ustring.h"

// Reads one rule expression, unexpanded. It ends at a run of blanks (spaces and tabs, started by
// a space) that is not followed by a reference to a defined macro; that run is consumed and left
// out. Quoted and bracketed parts are taken whole. Returns null after a message when the input
// ends first, or when a character cannot be stored (malformed input, memory exhausted).
ustring* read_expression(reader* r, const macro_table* macros);

// Appends the rest of a quoted part whose opening quote text already holds, through the closing
// unescaped quote; false after a message when the input ends first, or when a character cannot
// be stored.
bool read_expression_quote(reader* r, ustring* text);

// Appends the rest of a bracketed part whose '[' text already holds, through the closing
// unescaped ']'; false after a message when the input ends first, or when a character cannot be
// stored.
bool read_expression_bracket(reader* r, ustring* text);

// True iff, after the spaces and tabs at the reader's position, the input ends or holds anything
// but a reference to a defined macro; consumes nothing.
bool at_expression_end(reader* r, const macro_table* macros);

#endif
