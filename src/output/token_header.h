#ifndef VELLMARK_OUTPUT_TOKEN_HEADER_H
#define VELLMARK_OUTPUT_TOKEN_HEADER_H

#include "grammar/grammar.h"
#include "output/output_file.h"
#include "output/output_names.h"

// The token header's default name, in the current directory.
constexpr char token_header_name[] = "grammar.tab.h";

// Writes the token numbers, the value type and the shared declarations into
// the output file for name, which the caller commits or discards; null after
// a message through d naming the file when it cannot be opened or written,
// or silently when memory runs out.
output_file* write_token_definitions(const grammar* g, const output_names* names, const char* name,
                                     diagnostics* d);

// Writes the same text to an open stream; false when memory runs out.
bool write_token_header(const grammar* g, const output_names* names, FILE* stream);

#endif
