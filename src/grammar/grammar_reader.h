#ifndef VELLMARK_GRAMMAR_GRAMMAR_READER_H
#define VELLMARK_GRAMMAR_GRAMMAR_READER_H

#include "grammar/grammar.h"
#include "text/reader.h"
#include "text/ustring.h"

// Reads the whole input into g and numbers it; false after the failure's messages.
bool grammar_read(grammar* g, reader* r);

// Reads the header section through its closing "%%"; false after a message.
bool grammar_read_header(grammar* g, reader* r);

// Reads the rules section up to the end of input or through the second "%%"; false after a message.
bool grammar_read_rules(grammar* g, reader* r);

// Stores the rest of the input as user code; false when it cannot be stored.
bool grammar_read_user_code(grammar* g, reader* r);

// Reads one identifier; null after a message when none starts here, or on allocation failure.
ustring* read_identifier(reader* r);

// Reads the rest of a token declaration after its keyword; false after a message.
bool read_directive_tokens(grammar* g, reader* r);

// Reads the rest of a type declaration after its keyword; false after a message.
bool read_directive_type(grammar* g, reader* r);

// Reads the union block after its keyword; false after a message.
bool read_directive_union(grammar* g, reader* r);

// Reads one rule group and returns its head; null after a message.
nonterm* read_nonterm(grammar* g, reader* r);

// Reads the symbols of one alternative of n; null after a message.
rule* read_rule(grammar* g, nonterm* n, reader* r);

// Reads one quoted terminal and appends it to the rule; false after a message.
bool read_rule_terminal(grammar* g, rule* target, reader* r);

// Reads the characters of a quoted terminal up to the closing quote; null after a message.
ustring* read_characters(reader* r);

// Reads one identifier of a right-hand side and appends its symbol; false after a message.
bool read_rule_nonterminal(grammar* g, rule* target, reader* r);

#endif
