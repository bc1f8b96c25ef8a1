#ifndef VELLMARK_OUTPUT_TOKEN_HEADER_H
#define VELLMARK_OUTPUT_TOKEN_HEADER_H

#include "grammar/grammar.h"

// The token header's fixed name, created in the current directory.
constexpr char token_header_name[] = "grammar.tab.h";

// Writes the token numbers, the value type and the shared declarations to
// the token header; false after a message when the file cannot be opened,
// or silently when memory runs out.
bool write_token_definitions(const grammar* g);

// Writes the same text to an open stream; false when memory runs out.
bool write_token_header(const grammar* g, FILE* stream);

#endif
