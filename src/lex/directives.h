#ifndef VELLMARK_LEX_DIRECTIVES_H
#define VELLMARK_LEX_DIRECTIVES_H

#include "text/reader.h"
#include "text/ustring.h"

// Settings made by the "%option" directives of a scanner description's header.
struct directives {
  ustring* prefix;  // value of the last prefix option; empty until one is read; owned
};

// True iff c may begin a name: '_' or an ASCII letter.
bool is_name_start(codepoint c);

// True iff c may continue a name: '_', an ASCII letter or an ASCII digit.
bool is_name_char(codepoint c);

// A record with an empty prefix; null, with nothing allocated left over, when memory runs out.
directives* directives_new();

// Releases the prefix and the record; accepts null.
void directives_free(directives* d);

// Skips white space and comments, consumes one character and, when it starts a name, the rest of
// the name; returns the new name, or null when a comment fails (after its message, nothing more
// consumed), when that first character (left consumed) cannot start a name, or memory runs out.
ustring* read_directive_name(reader* r);

// Reads one assignment of the form name="value" and stores a prefix value; false when the text is
// malformed or memory runs out, with nothing stored.
bool parse_option(directives* d, reader* r);

// Acts on one directive: "option" reads an option assignment, every other name is ignored; false
// only when memory ran out or a comment failed while an option was read (a malformed option is
// ignored).
bool process_directive(const ustring* name, directives* d, reader* r);

#endif
