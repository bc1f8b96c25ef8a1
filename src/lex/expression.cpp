#include "lex/expression.h"

namespace {

constexpr const char* expression_end_message = "Unexpected end of input in expression.";
constexpr const char* quote_end_message = "Unexpected end of input in quoted expression.";
constexpr const char* bracket_end_message = "Unexpected end of input in bracket expression.";

bool is_blank(codepoint c) { return c == ' ' || c == '\t'; }

// Appends characters through the first unescaped closing one; false after a message when the
// input ends first, or silently after a failed append.
bool read_expression_part(reader* r, ustring* text, codepoint closing, const char* end_message) {
  bool escaped = false;
  while (!at_end(r)) {
    codepoint c = peek_next(r);
    if (!read_next_into(r, text)) return false;
    if (c == closing && !escaped) return true;
    escaped = c == '\\' && !escaped;
  }
  reader_report(r, end_message);
  return false;
}

enum class blank_run { continues, ends, failed };

// Consumes the run of blanks at a space and keeps it in the expression only when a macro
// reference follows. Consuming the run before looking past it keeps the look-ahead short, so a
// stream's window cannot hide a reference that comes after many blanks.
blank_run read_blank_run(reader* r, const macro_table* macros, ustring* text) {
  size_t kept = text->size;
  while (is_blank(peek_next(r))) {
    if (!read_next_into(r, text)) return blank_run::failed;
  }
  if (!at_expression_end(r, macros)) return blank_run::continues;
  text->size = kept;  // blanks are one byte each, so this drops exactly the run
  return blank_run::ends;
}

// Consumes and appends one character and the quoted or bracketed part it opens; false on failure.
bool read_expression_char(reader* r, ustring* text, bool escaped) {
  codepoint c = peek_next(r);
  if (!read_next_into(r, text)) return false;
  if (c == '"' && !escaped) return read_expression_quote(r, text);
  if (c == '[' && !escaped) return read_expression_bracket(r, text);
  return true;
}

}  // namespace

ustring* read_expression(reader* r, const macro_table* macros) {
  if (at_end(r)) {
    reader_report(r, expression_end_message);
    return nullptr;
  }
  ustring* text = ustring_new();
  bool escaped = false;
  while (text != nullptr) {
    codepoint c = peek_next(r);
    if (c == ' ') {
      blank_run run = read_blank_run(r, macros, text);
      if (run == blank_run::ends) return text;
      if (run == blank_run::failed) break;
      escaped = false;
    } else {
      if (!read_expression_char(r, text, escaped)) break;
      escaped = c == '\\' && !escaped;
    }
    if (at_end(r)) {
      reader_report(r, expression_end_message);
      break;
    }
  }
  ustring_free(text);
  return nullptr;
}

bool read_expression_quote(reader* r, ustring* text) {
  return read_expression_part(r, text, '"', quote_end_message);
}

bool read_expression_bracket(reader* r, ustring* text) {
  return read_expression_part(r, text, ']', bracket_end_message);
}

bool at_expression_end(reader* r, const macro_table* macros) {
  size_t position = 0;
  unsigned char ended = 0;
  codepoint c = peek_way_ahead(r, position, &ended);
  while (!ended && is_blank(c)) c = peek_way_ahead(r, ++position, &ended);
  if (ended) return true;
  if (c != '{') return true;
  return !is_macro(macros, r, position);
}
