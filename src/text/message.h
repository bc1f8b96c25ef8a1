#ifndef VELLMARK_TEXT_MESSAGE_H
#define VELLMARK_TEXT_MESSAGE_H

#include "text/reader.h"

// Writes format to standard error with its one "%c" replaced by the
// character c, always as valid UTF-8: ASCII as itself, other code points as
// their UTF-8 encoding, and no_character as "end of input" when the reader r
// is exhausted (or r is null) and as "invalid UTF-8" otherwise.
void message_with_char(const char* format, codepoint c, reader* r);

#endif
