#ifndef VELLMARK_TEXT_MESSAGE_H
#define VELLMARK_TEXT_MESSAGE_H

#include <cstddef>

#include "text/reader.h"

// Room that any quoted character takes in a message, terminator included.
constexpr size_t message_char_size = 16;

// Writes into out (message_char_size bytes) how a message shows c, always
// harmless to a terminal: printable characters as their UTF-8 encoding,
// control and bidirectional-formatting characters escaped ("\x1B", "\r",
// "\u202E"), and no_character as "end of input" when the reader r is
// exhausted (or r is null) and as "invalid UTF-8" otherwise.
void message_quote_char(codepoint c, reader* r, char out[message_char_size]);

// Reports format, with its one "%c" replaced by c as message_quote_char
// shows it, as a failure of reading r (see reader_report); r may be null,
// the line then going bare to standard error.
void message_with_char(const char* format, codepoint c, reader* r);

#endif
