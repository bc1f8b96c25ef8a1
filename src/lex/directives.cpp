#include "lex/directives.h"

#include "text/memory.h"

namespace {

// How reading a name or an option ended, so that running out of memory, or
// a comment that failed (after its message), is never mistaken for
// malformed text that may be ignored.
enum class outcome { done, malformed, out_of_memory, broken_comment };

// True when reading must stop: the failure is no malformed option to ignore.
bool is_fatal(outcome o) { return o == outcome::out_of_memory || o == outcome::broken_comment; }

bool is_ascii_letter(codepoint c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool is_ascii_digit(codepoint c) { return c >= '0' && c <= '9'; }

// Collects the characters that continue a name already holding its first one.
bool read_name_rest(reader* r, ustring* name) {
  while (is_name_char(peek_next(r))) {
    if (!read_next_into(r, name)) return false;
  }
  return true;
}

// Reads one name after white space and comments into *name (null unless
// done). A comment that fails ends the name there: its text is never taken
// for the name.
outcome read_name(reader* r, ustring** name) {
  *name = nullptr;
  if (!read_space(r)) return outcome::broken_comment;
  codepoint first = read_next(r);
  if (!is_name_start(first)) return outcome::malformed;
  ustring* text = ustring_new();
  if (text == nullptr || !ustring_push(text, first) || !read_name_rest(r, text)) {
    ustring_free(text);
    return outcome::out_of_memory;
  }
  *name = text;
  return outcome::done;
}

// Consumes the next character when it is the expected one.
bool read_expected(reader* r, codepoint expected) {
  if (peek_next(r) != expected) return false;
  read_next(r);
  return true;
}

// Reads the parts of name="value" in order, stopping at the first one missing.
outcome read_option_parts(reader* r, ustring** name, ustring** value) {
  outcome part = read_name(r, name);
  if (is_fatal(part)) return part;
  if (!read_expected(r, '=') || !read_expected(r, '"')) return outcome::malformed;
  part = read_name(r, value);
  if (is_fatal(part)) return part;
  if (!read_expected(r, '"')) return outcome::malformed;
  if (*name == nullptr || *value == nullptr) return outcome::malformed;
  return outcome::done;
}

// Reads one option assignment and stores it when it names the prefix.
outcome read_option(directives* d, reader* r) {
  ustring* name = nullptr;
  ustring* value = nullptr;
  outcome result = read_option_parts(r, &name, &value);
  if (result == outcome::done && ustring_compare(name, "prefix") == 0) {
    ustring_move(d->prefix, value);
  }
  ustring_free(name);
  ustring_free(value);
  return result;
}

}  // namespace

bool is_name_start(codepoint c) { return c == '_' || is_ascii_letter(c); }

bool is_name_char(codepoint c) { return is_name_start(c) || is_ascii_digit(c); }

directives* directives_new() {
  directives* d = memory_new_record<directives>();
  if (d == nullptr) return nullptr;
  d->prefix = ustring_new();
  if (d->prefix == nullptr) {
    // A record without its prefix string could not store the option later.
    memory_release(d);
    return nullptr;
  }
  return d;
}

void directives_free(directives* d) {
  if (d == nullptr) return;
  ustring_free(d->prefix);
  memory_release(d);
}

ustring* read_directive_name(reader* r) {
  ustring* name = nullptr;
  read_name(r, &name);
  return name;
}

bool parse_option(directives* d, reader* r) { return read_option(d, r) == outcome::done; }

bool process_directive(const ustring* name, directives* d, reader* r) {
  if (name == nullptr || ustring_compare(name, "option") != 0) return true;
  return !is_fatal(read_option(d, r));
}
