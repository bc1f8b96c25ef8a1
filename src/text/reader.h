#ifndef VELLMARK_TEXT_READER_H
#define VELLMARK_TEXT_READER_H

#include <cstdio>

#include "text/diagnostics.h"
#include "text/ustring.h"

// UTF-8 decoder with look-ahead over a stream (read through a 256-byte
// window) or over a private copy of a string.
struct reader {
  FILE* file;  // null for a string reader; never closed by the reader
  unsigned char* buffer;
  size_t capacity;
  unsigned char* cursor;  // first unread byte
  unsigned char* end;     // one past the last valid byte
  size_t line;
  size_t column;           // column of the first unread character, in code points from 1
  diagnostics* sink;       // where the readers of this input report; null: bare lines on standard error
  bool failed;             // a read error on the stream ended the input early
};

constexpr size_t reader_window = 256;

// A reader over an open stream, reading nothing yet; null on allocation failure.
reader* reader_new(FILE* file);

// A reader over a copy of text; null when text is null, empty, or memory runs out.
reader* reader_new_string(const ustring* text);

// Releases the buffer and the record, never the stream; accepts null.
void reader_free(reader* r);

// Consumes and returns the next character; no_character at the end or on malformed UTF-8.
codepoint read_next(reader* r);

// Returns the next character without consuming it; no_character when there is none.
codepoint peek_next(reader* r);

// Returns the character after the next one without consuming anything; no_character when there is none.
codepoint peek_ahead(reader* r);

// Returns the character n places ahead (0 is the next); sets *end_flag to 1 when the input ends before it.
codepoint peek_way_ahead(reader* r, size_t n, unsigned char* end_flag);

// True iff no unread byte is left.
bool at_end(reader* r);

// Skips white space and comments; false only when a comment is malformed.
bool read_space(reader* r);

// Skips white space and comments, then returns the next character unconsumed.
codepoint read_space_and_peek(reader* r);

// Skips white space and comments, then consumes and returns the next character.
codepoint read_space_and_next(reader* r);

// Like read_space but stops before a line feed outside comments; false when a comment is malformed.
bool read_space_to_newline(reader* r);

// Skips blanks and tabs; returns the next other character unconsumed.
codepoint read_blanks(reader* r);

// True when a read error on the stream, not its end, ended the input.
bool reader_failed(const reader* r);

// The current line number, 1 at creation.
size_t reader_line_number(const reader* r);

// Line and column of the next unread character (1:1 at creation); a refused sequence counts as one column.
source_position reader_position(const reader* r);

// Makes every message about this input go to sink (not owned; null: standard error).
void reader_report_to(reader* r, diagnostics* sink);

// Reports a failure of reading this input at the reader's position (see diagnostics_read_failure).
void reader_report(reader* r, const char* text);

// Reports a failure of reading this input at the place at.
void reader_report_at(reader* r, source_position at, const char* text);

// Consumes the next character and appends it to text; false after "Invalid Unicode code point:
// U+FFFFFFFF" when no valid character is there, or without a message when memory runs out.
bool read_next_into(reader* r, ustring* text);

#endif
