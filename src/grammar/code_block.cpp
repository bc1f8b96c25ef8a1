#include "grammar/code_block.h"

namespace {

constexpr codepoint open_brace = '{';
constexpr codepoint close_brace = '}';
constexpr codepoint double_quote = '"';
constexpr codepoint single_quote = '\'';
constexpr codepoint backslash = '\\';
constexpr codepoint percent = '%';

// Consumes the next character and appends it; false when it cannot be stored
// (memory, or malformed input, which is reported).
bool copy_next(reader* r, ustring* text) { return read_next_into(r, text); }

// Like copy_next, also handing back the character copied.
bool copy_next_as(reader* r, ustring* text, codepoint* copied) {
  *copied = peek_next(r);
  return read_next_into(r, text);
}

bool fail_with(reader* r, const char* message) {
  reader_report(r, message);
  return false;
}

ustring* free_and_fail(ustring* text) {
  ustring_free(text);
  return nullptr;
}

}  // namespace

ustring* read_action(reader* r) {
  ustring* text = ustring_new();
  if (text == nullptr) return nullptr;
  if (read_space_and_peek(r) != open_brace) {
    reader_report(r, "Missing '{' to start compound statement.");
    return free_and_fail(text);
  }
  if (!read_action_brace(r, text)) return free_and_fail(text);
  return text;
}

// Nested blocks are tracked by a depth counter rather than by calling itself,
// so an action nested arbitrarily deep cannot exhaust the stack.
bool read_action_brace(reader* r, ustring* text) {
  size_t depth = 1;
  if (!copy_next(r, text)) return false;  // the opening brace
  for (;;) {
    if (at_end(r)) return fail_with(r, "error: unexpected end of input.");
    codepoint next = peek_next(r);
    if (next == double_quote) {
      if (!read_action_string(r, text)) return false;
    } else if (next == single_quote) {
      if (!read_action_quote(r, text)) return false;
    } else if (next == open_brace) {
      ++depth;
      if (!copy_next(r, text)) return false;
    } else if (next == close_brace) {
      if (!copy_next(r, text)) return false;
      if (--depth == 0) return true;
    } else if (!copy_next(r, text)) {
      return false;
    }
  }
}

bool read_action_string(reader* r, ustring* text) {
  if (!copy_next(r, text)) return false;  // the opening quote
  bool escaped = false;
  while (!at_end(r)) {
    codepoint c;
    if (!copy_next_as(r, text, &c)) return false;
    if (c == double_quote && !escaped) return true;
    escaped = c == backslash && !escaped;
  }
  return fail_with(r, "Unexpected end of input in string.");
}

bool read_action_quote(reader* r, ustring* text) {
  if (!copy_next(r, text)) return false;  // the opening quote
  if (at_end(r)) return fail_with(r, "Unexpected end of input in character.");
  codepoint c;
  if (!copy_next_as(r, text, &c)) return false;
  if (c == backslash) {
    if (at_end(r)) return fail_with(r, "Unexpected end of input in character.");
    if (!copy_next(r, text)) return false;
  }
  if (peek_next(r) != single_quote) return fail_with(r, "Missing ''' to end character.");
  return copy_next(r, text);
}

ustring* read_prolog(reader* r) {
  codepoint first = read_next(r);
  codepoint second = read_next(r);
  if (first != percent || second != open_brace) return nullptr;
  ustring* text = ustring_new();
  if (text == nullptr) return nullptr;
  for (;;) {
    if (at_end(r)) {
      reader_report(r, "Unexpected end of file in prolog.");
      return free_and_fail(text);
    }
    if (peek_next(r) == percent && peek_ahead(r) == close_brace) {
      read_next(r);
      read_next(r);
      return text;
    }
    if (!copy_next(r, text)) return free_and_fail(text);
  }
}

ustring* read_user_code(reader* r) {
  ustring* text = ustring_new();
  if (text == nullptr) return nullptr;
  while (!at_end(r)) {
    if (!copy_next(r, text)) return free_and_fail(text);
  }
  return text;
}
