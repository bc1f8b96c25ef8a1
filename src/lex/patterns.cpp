#include "lex/patterns.h"

#include <cstdio>

#include "grammar/code_block.h"
#include "lex/expression.h"
#include "text/memory.h"
#include "text/message.h"

namespace {

constexpr const char* header_failure = "Failed to read header section.";
constexpr const char* rules_failure = "error: invalid rules section.";
constexpr const char* user_code_failure = "Failed to read user code section.";
constexpr const char* invalid_code_point = "Invalid Unicode code point.";
constexpr const char* missing_angle = "error: expected '>' after start condition on line %zu.";
constexpr const char* unknown_start = "error: unknown start condition on line %zu.";
constexpr const char* invalid_expression = "error: invalid expression starting on line %zu.";
constexpr const char* invalid_macros = "error: invalid macros in expression starting on line %zu.";
constexpr const char* invalid_action =
    "error: invalid action after expression starting on line %zu.";
constexpr const char* unexpected_after =
    "error: unexpected character '%%c' after expression starting on line %zu.";
constexpr const char* end_of_file_expression = "<<EOF>>";
constexpr const char* initial_start = "INITIAL";

// Reports a failure that names the line a rule starts on.
void report_at_line(reader* r, const char* format, size_t line) {
  char text[128];
  std::snprintf(text, sizeof text, format, line);
  reader_report(r, text);
}

bool is_white_space(codepoint c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Every description has the start condition rules are in when they name none.
bool push_initial_start(patterns* p) {
  ustring* name = ustring_new();
  bool pushed = name != nullptr && ustring_append_cstr(name, initial_start) &&
                start_push(p->starts, name);
  ustring_free(name);
  return pushed;
}

// Stores the prolog block; a later block replaces an earlier one.
bool read_header_prolog(patterns* p, reader* r) {
  ustring* text = read_prolog(r);
  if (text == nullptr) return false;
  ustring_free(p->prolog);
  p->prolog = text;
  return true;
}

// Declares the start condition named after "%x"; a declaration without a name is malformed.
bool read_start_declaration(patterns* p, reader* r) {
  ustring* name = read_start_name(r);
  bool declared = name != nullptr && start_push(p->starts, name);
  ustring_free(name);
  return declared;
}

// Acts on the directive named after its '%'; a '%' without a name is malformed.
bool read_header_directive(patterns* p, reader* r) {
  ustring* name = read_directive_name(r);
  bool done = name != nullptr && process_directive(name, p->directives, r);
  ustring_free(name);
  return done;
}

enum class header_item { read, section_end, failed };

// Reads the header item at the reader's position.
header_item read_header_item(patterns* p, reader* r) {
  codepoint c = peek_next(r);
  if (c == no_character) {
    reader_report(r, invalid_code_point);
    return header_item::failed;
  }
  bool read = false;
  if (c != '%') {
    read = patterns_read_macro(p, r);
  } else if (peek_ahead(r) == '{') {
    read = read_header_prolog(p, r);
  } else if (peek_ahead(r) == 'x') {
    read_next(r);
    read_next(r);
    read = read_start_declaration(p, r);
  } else if (peek_ahead(r) == '%') {
    read_next(r);
    read_next(r);
    return header_item::section_end;
  } else {
    read_next(r);
    read = read_header_directive(p, r);
  }
  return read ? header_item::read : header_item::failed;
}

// Skips to the next header item; false when a comment is malformed or the input ends.
bool skip_to_header_item(reader* r) { return read_space(r) && !at_end(r); }

// Reads the header through the "%%" that ends it; false when it is malformed or never ends.
bool read_header(patterns* p, reader* r) {
  if (!push_initial_start(p) || !skip_to_header_item(r)) return false;
  for (;;) {
    header_item item = read_header_item(p, r);
    if (item == header_item::section_end) return true;
    if (item == header_item::failed || !skip_to_header_item(r)) return false;
  }
}

// True iff the reader stands on the "%%" that ends the rules; consumes it then.
bool read_rules_end(reader* r) {
  if (peek_next(r) != '%' || peek_ahead(r) != '%') return false;
  read_next(r);
  read_next(r);
  return true;
}

// Reads rules up to the end of the input or a "%%"; false after the messages of a bad rule.
bool read_rules(patterns* p, reader* r) {
  for (;;) {
    if (!read_space(r)) break;
    if (at_end(r) || read_rules_end(r)) return true;
    if (peek_next(r) == no_character) {
      reader_report(r, invalid_code_point);
      break;
    }
    if (!patterns_read_regex(p, r)) break;
  }
  reader_report(r, rules_failure);
  return false;
}

// Stores whatever follows the rules as user code, without its leading white space and comments.
bool read_user_code_section(patterns* p, reader* r) {
  if (!read_space(r)) return false;
  if (at_end(r)) return true;
  ustring* code = read_user_code(r);
  if (code == nullptr) return false;
  ustring_free(p->user_code);
  p->user_code = code;
  return true;
}

// Reads "<name>" before a rule's expression and finds the declared start condition.
bool read_rule_start(patterns* p, reader* r, size_t line, start** condition) {
  read_next(r);
  // A comment that fails before the name fails the rule, with its own message only.
  if (!read_space(r)) return false;
  ustring* name = read_start_name(r);
  bool closed = read_next(r) == '>';
  *condition = closed ? start_find(p->starts, name) : nullptr;
  ustring_free(name);
  if (!closed) {
    report_at_line(r, missing_angle, line);
    return false;
  }
  if (*condition == nullptr) {
    report_at_line(r, unknown_start, line);
    return false;
  }
  return true;
}

// Reads the rule's expression and expands its macros into rule; false after a message.
bool read_rule_expression(patterns* p, reader* r, size_t line, pattern* rule) {
  ustring* text = read_expression(r, p->macros);
  if (text == nullptr) {
    report_at_line(r, invalid_expression, line);
    return false;
  }
  rule->expression = macro_expand_new(p->macros, text);
  ustring_free(text);
  if (rule->expression == nullptr) {
    report_at_line(r, invalid_macros, line);
    return false;
  }
  return true;
}

// Reads the code block or the ';' that ends a rule; false after a message.
bool read_rule_action(reader* r, size_t line, pattern* rule) {
  // A malformed comment here would otherwise let the text after it pass for the action.
  if (!read_space(r)) {
    report_at_line(r, invalid_action, line);
    return false;
  }
  codepoint c = peek_next(r);
  if (c == ';') {
    read_next(r);
    return true;
  }
  if (c != '{') {
    char format[128];
    std::snprintf(format, sizeof format, unexpected_after, line);
    message_with_char(format, c, r);
    return false;
  }
  rule->action = read_action(r);
  if (rule->action == nullptr) {
    report_at_line(r, invalid_action, line);
    return false;
  }
  return true;
}

// Keeps a finished rule: the end-of-file rule apart, every other one in the list.
bool store_rule(patterns* p, pattern* rule) {
  if (ustring_compare(rule->expression, end_of_file_expression) == 0) {
    pattern_free(p->eof_pattern);
    p->eof_pattern = rule;
    return true;
  }
  return patterns_push(p, rule);
}

// Reads one run of characters up to white space into word; false when one cannot be stored.
bool read_macro_word(reader* r, ustring* word) {
  while (!is_white_space(peek_next(r))) {
    if (!read_next_into(r, word)) return false;
  }
  return true;
}

void skip_white_space(reader* r) {
  while (is_white_space(peek_next(r))) read_next(r);
}

}  // namespace

patterns* patterns_new() {
  patterns* p = memory_new_record<patterns>();
  if (p == nullptr) return nullptr;
  p->macros = macro_table_new();
  p->directives = directives_new();
  p->starts = starts_new();
  if (p->macros == nullptr || p->directives == nullptr || p->starts == nullptr) {
    patterns_free(p);
    return nullptr;
  }
  return p;
}

void patterns_free(patterns* p) {
  if (p == nullptr) return;
  ustring_free(p->prolog);
  ustring_free(p->user_code);
  macro_table_free(p->macros);
  directives_free(p->directives);
  for (size_t i = 0; i < p->count; ++i) pattern_free(p->items[i]);
  memory_release(p->items);
  pattern_free(p->eof_pattern);
  starts_free(p->starts);
  memory_release(p);
}

pattern* pattern_new() { return memory_new_record<pattern>(); }

void pattern_free(pattern* rule) {
  if (rule == nullptr) return;
  ustring_free(rule->expression);
  ustring_free(rule->action);
  memory_release(rule);
}

bool patterns_push(patterns* p, pattern* rule) { return growable_push(p, rule); }

bool patterns_read(patterns* p, reader* r) {
  if (!read_header(p, r)) {
    reader_report(r, header_failure);
    return false;
  }
  if (!read_rules(p, r)) return false;
  if (!read_user_code_section(p, r)) {
    reader_report(r, user_code_failure);
    return false;
  }
  return true;
}

bool patterns_read_macro(patterns* p, reader* r) {
  ustring* name = ustring_new();
  ustring* value = ustring_new();
  bool defined = name != nullptr && value != nullptr && read_macro_word(r, name);
  if (defined) {
    skip_white_space(r);
    defined = read_macro_word(r, value) && macro_add(p->macros, name, value);
  }
  ustring_free(name);
  ustring_free(value);
  return defined;
}

bool patterns_read_regex(patterns* p, reader* r) {
  size_t line = reader_line_number(r);
  start* condition = nullptr;
  if (peek_next(r) == '<' && peek_ahead(r) != '<' && !read_rule_start(p, r, line, &condition)) {
    return false;
  }
  pattern* rule = pattern_new();
  if (rule == nullptr) return false;
  if (!read_rule_expression(p, r, line, rule)) {
    pattern_free(rule);
    return false;
  }
  rule->start = condition;
  rule->line = reader_line_number(r);
  rule->id = p->count;
  if (!read_rule_action(r, line, rule) || !store_rule(p, rule)) {
    pattern_free(rule);
    return false;
  }
  return true;
}
