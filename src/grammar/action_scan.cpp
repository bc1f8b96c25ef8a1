#include "grammar/action_scan.h"

#include "grammar/nonterm.h"
#include "grammar/symbol.h"
#include "grammar/term.h"

namespace {

enum context { code, block_comment, line_comment, string_literal, char_literal };

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The byte after the cursor, or 0 at the end.
unsigned char byte_after(const action_scan* s) { return s->end - s->cursor > 1 ? s->cursor[1] : 0; }

// Moves the cursor over one byte, counting lines and code points.
void step(action_scan* s) {
  unsigned char byte = *s->cursor++;
  if (byte == '\n') {
    ++s->at.line;
    s->at.column = 1;
  } else if (!is_continuation(byte)) {
    ++s->at.column;
  }
}

// True when the cursor stands, in the code, on "$$" or "$d".
bool at_reference(const action_scan* s) {
  if (s->context != code || *s->cursor != '$') return false;
  unsigned char next = byte_after(s);
  return next == '$' || (next >= '1' && next <= '9');
}

// Steps over one byte of text and follows the context it leaves the cursor in.
void step_text(action_scan* s) {
  unsigned char byte = *s->cursor;
  unsigned char next = byte_after(s);
  switch (s->context) {
    case code:
      if (byte == '/' && (next == '*' || next == '/')) {
        s->context = next == '*' ? block_comment : line_comment;
        step(s);  // the opener's two bytes are taken together, so that "/*/" does not close
      } else if (byte == '"' || byte == '\'') {
        s->context = byte == '"' ? string_literal : char_literal;
        s->escaped = false;
      }
      break;
    case block_comment:
      if (byte == '*' && next == '/') {
        s->context = code;
        step(s);
      }
      break;
    case line_comment:
      if (byte == '\n') s->context = code;
      break;
    default: {
      unsigned char closing = s->context == string_literal ? '"' : '\'';
      if (byte == closing && !s->escaped) s->context = code;
      s->escaped = byte == '\\' && !s->escaped;
      break;
    }
  }
  step(s);
}

// Reads the reference at the cursor into *piece.
void take_reference(action_scan* s, action_piece* piece) {
  unsigned char next = byte_after(s);
  piece->kind = next == '$' ? action_piece_kind::result : action_piece_kind::value;
  piece->number = next == '$' ? 0 : next - '0';
  piece->bytes = nullptr;
  piece->size = 0;
  step(s);
  step(s);
}

}  // namespace

action_scan action_scan_over(const ustring* action, source_position start) {
  action_scan s{};
  if (action != nullptr && action->size != 0) {
    s.cursor = action->data;
    s.end = action->data + action->size;
  }
  s.at = start;
  s.context = code;
  return s;
}

const ustring* action_reference_tag(const rule* r, unsigned number) {
  if (number == 0) return r->nonterm->type;
  if (number > r->symbols->count) return nullptr;
  symbol s = r->symbols->items[number - 1];
  return s.term != nullptr ? s.term->type : s.nonterm->type;
}

bool action_scan_next(action_scan* scan, action_piece* piece) {
  if (scan->cursor == scan->end) return false;
  piece->at = scan->at;
  if (at_reference(scan)) {
    take_reference(scan, piece);
    return true;
  }
  piece->kind = action_piece_kind::text;
  piece->bytes = scan->cursor;
  piece->number = 0;
  while (scan->cursor != scan->end && !at_reference(scan)) step_text(scan);
  piece->size = static_cast<size_t>(scan->cursor - piece->bytes);
  return true;
}
