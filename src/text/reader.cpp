#include "text/reader.h"

#include <cstring>

#include "text/memory.h"

namespace {

size_t unread_bytes(const reader* r) { return static_cast<size_t>(r->end - r->cursor); }

// Slides the unread bytes to the front of the window and tops it up from the
// stream with one read; a short read leaves fewer bytes. A read error ends
// the input there and is remembered, so that it is not taken for the end.
void refill(reader* r) {
  if (r->file == nullptr || r->failed) return;  // a string reader already holds all of its input
  size_t unread = unread_bytes(r);
  if (r->cursor != r->buffer) {
    std::memmove(r->buffer, r->cursor, unread);
    r->cursor = r->buffer;
    r->end = r->buffer + unread;
  }
  size_t room = r->capacity - unread;
  if (room == 0) return;
  size_t read = std::fread(r->end, 1, room, r->file);
  r->end += read;
  if (read < room && std::ferror(r->file)) r->failed = true;
}

// True when at least count bytes are unread, refilling the window if needed.
bool have_bytes(reader* r, size_t count) {
  if (unread_bytes(r) >= count) return true;
  refill(r);
  return unread_bytes(r) >= count;
}

// Length announced by a lead byte; 0 for a continuation byte or 0xF8-0xFF.
size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

bool continuations_valid(const unsigned char* p, size_t length) {
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return false;
  }
  return true;
}

// Decodes one complete sequence, refusing bad continuations, overlong forms,
// surrogates and values past the last code point with no_character.
codepoint decode_sequence(const unsigned char* p, size_t length) {
  if (!continuations_valid(p, length)) return no_character;
  switch (length) {
    case 1:
      return p[0];
    case 2:
      if (p[0] == 0xC0 || p[0] == 0xC1) return no_character;
      return (codepoint(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
    case 3: {
      codepoint cp = (codepoint(p[0] & 0x0F) << 12) | (codepoint(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return no_character;
      return cp;
    }
    default: {
      codepoint cp = (codepoint(p[0] & 0x07) << 18) | (codepoint(p[1] & 0x3F) << 12) |
                     (codepoint(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
      if (cp < 0x10000 || cp > last_code_point) return no_character;
      return cp;
    }
  }
}

// Moves the position past one consumed character, refused ones included.
void count_position(reader* r, codepoint consumed) {
  if (consumed == '\n') {
    ++r->line;
    r->column = 1;
  } else {
    ++r->column;
  }
}

// Steps over n characters by their lead bytes and decodes the next one,
// consuming everything up to and including it when asked. A stray
// continuation byte or an impossible lead stops the reader where it is.
codepoint decode_nth_utf8(reader* r, size_t n, bool consume, unsigned char* end_flag) {
  size_t offset = 0;
  codepoint result = no_character;
  for (size_t i = 0;; ++i) {
    if (!have_bytes(r, offset + 1)) {
      if (end_flag != nullptr) *end_flag = 1;
      return no_character;
    }
    size_t length = sequence_length(r->cursor[offset]);
    if (length == 0) return no_character;
    size_t start = offset;
    offset += length;
    if (!have_bytes(r, offset)) return no_character;  // sequence cut off by the end of input
    if (i == n) {
      result = decode_sequence(r->cursor + start, length);
      break;
    }
  }
  if (consume) {
    r->cursor += offset;
    count_position(r, result);
  }
  return result;
}

bool is_space(codepoint c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads the rest of a two-slash comment, entered on its second slash. The
// line feed that ends it is consumed, unless keep_newline leaves it for the
// caller; malformed UTF-8 fails with the same message as in the other kind.
bool read_single_line_comment(reader* r, bool keep_newline) {
  for (;;) {
    if (at_end(r)) return true;
    if (keep_newline && peek_next(r) == '\n') return true;
    source_position at = reader_position(r);
    codepoint c = read_next(r);
    if (c == no_character) {
      reader_report_at(r, at, "Invalid Unicode code point in comment.");
      return false;
    }
    if (c == '\n') return true;
  }
}

// Reads the rest of a slash-asterisk comment, entered on its asterisk, which
// counts as the asterisk before the closing slash.
bool read_multiline_comment(reader* r) {
  bool after_star = false;
  for (;;) {
    if (at_end(r)) {
      reader_report(r, "Unexpected end of file in comment.");
      return false;
    }
    source_position at = reader_position(r);
    codepoint c = read_next(r);
    if (c == no_character) {
      reader_report_at(r, at, "Invalid Unicode code point in comment.");
      return false;
    }
    if (c == '/' && after_star) return true;
    after_star = c == '*';
  }
}

// Skips white space and both kinds of comment; with stop_at_newline a line
// feed outside a comment ends the skip unconsumed.
bool skip_space(reader* r, bool stop_at_newline) {
  for (;;) {
    codepoint c = peek_next(r);
    if (stop_at_newline && c == '\n') return true;
    if (is_space(c)) {
      read_next(r);
      continue;
    }
    if (c != '/') return true;
    codepoint after = peek_ahead(r);
    if (after != '*' && after != '/') return true;
    read_next(r);
    bool closed = after == '*' ? read_multiline_comment(r) : read_single_line_comment(r, stop_at_newline);
    if (!closed) return false;
  }
}

}  // namespace

reader* reader_new(FILE* file) {
  if (file == nullptr) return nullptr;  // a stream reader needs a stream to pull from
  reader* r = memory_new_record<reader>();
  if (r == nullptr) return nullptr;
  r->buffer = static_cast<unsigned char*>(memory_alloc(reader_window));
  if (r->buffer == nullptr) {
    memory_release(r);
    return nullptr;
  }
  r->file = file;
  r->capacity = reader_window;
  r->cursor = r->end = r->buffer;
  r->line = 1;
  r->column = 1;
  return r;
}

reader* reader_new_string(const ustring* text) {
  size_t size = 0;
  unsigned char* bytes = ustring_copy_bytes(text, &size);
  if (bytes == nullptr) return nullptr;
  reader* r = memory_new_record<reader>();
  if (r == nullptr) {
    memory_release(bytes);
    return nullptr;
  }
  r->buffer = r->cursor = bytes;
  r->capacity = size;
  r->end = bytes + size;
  r->line = 1;
  r->column = 1;
  return r;
}

void reader_free(reader* r) {
  if (r == nullptr) return;
  memory_release(r->buffer);
  memory_release(r);
}

codepoint read_next(reader* r) { return decode_nth_utf8(r, 0, true, nullptr); }

codepoint peek_next(reader* r) { return decode_nth_utf8(r, 0, false, nullptr); }

codepoint peek_ahead(reader* r) { return decode_nth_utf8(r, 1, false, nullptr); }

codepoint peek_way_ahead(reader* r, size_t n, unsigned char* end_flag) {
  return decode_nth_utf8(r, n, false, end_flag);
}

bool at_end(reader* r) {
  if (r->cursor != r->end) return false;
  refill(r);
  return r->cursor == r->end;
}

bool read_space(reader* r) { return skip_space(r, false); }

codepoint read_space_and_peek(reader* r) {
  read_space(r);
  return peek_next(r);
}

codepoint read_space_and_next(reader* r) {
  read_space(r);
  return read_next(r);
}

bool read_space_to_newline(reader* r) { return skip_space(r, true); }

codepoint read_blanks(reader* r) {
  for (;;) {
    codepoint c = peek_next(r);
    if (c != ' ' && c != '\t') return c;
    read_next(r);
  }
}

size_t reader_line_number(const reader* r) { return r->line; }

source_position reader_position(const reader* r) { return source_position{r->line, r->column}; }

void reader_report_to(reader* r, diagnostics* sink) { r->sink = sink; }

void reader_report(reader* r, const char* text) { reader_report_at(r, reader_position(r), text); }

void reader_report_at(reader* r, source_position at, const char* text) {
  diagnostics_read_failure(r->sink, at, text);
}

bool read_next_into(reader* r, ustring* text) {
  source_position at = reader_position(r);
  codepoint c = read_next(r);
  if (c == no_character) {
    reader_report_at(r, at, "Invalid Unicode code point: U+FFFFFFFF");
    return false;
  }
  return ustring_push(text, c);
}

bool reader_failed(const reader* r) { return r->failed; }
