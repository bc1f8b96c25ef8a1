#ifndef VELLMARK_GRAMMAR_CODE_BLOCK_H
#define VELLMARK_GRAMMAR_CODE_BLOCK_H

#include "text/reader.h"
#include "text/ustring.h"

// Skips white space and comments and reads one brace block verbatim; null after a message.
ustring* read_action(reader* r);

// Appends the brace block starting at the next "{" through its matching "}"; false after a message.
bool read_action_brace(reader* r, ustring* text);

// Appends the string literal starting at the next double quote; false after a message.
bool read_action_string(reader* r, ustring* text);

// Appends the character literal starting at the next single quote; false after a message.
bool read_action_quote(reader* r, ustring* text);

// Consumes "%{", returns the text up to "%}" and consumes "%}"; null on failure.
ustring* read_prolog(reader* r);

// Returns the rest of the input verbatim; null when it cannot be stored.
ustring* read_user_code(reader* r);

#endif
