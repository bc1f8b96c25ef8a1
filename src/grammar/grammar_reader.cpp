#include "grammar/grammar_reader.h"

#include "grammar/code_block.h"
#include "grammar/nonterm.h"
#include "grammar/rule.h"
#include "grammar/symbol.h"
#include "grammar/term.h"
#include "text/message.h"

namespace {

// Character classes are ASCII only and tested on the whole code point, so
// nothing above U+007F (nor the no-character value) ever belongs to one.
bool is_letter(codepoint c) { return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z'); }

bool is_digit(codepoint c) { return c >= U'0' && c <= U'9'; }

bool is_printable(codepoint c) { return c >= U' ' && c <= U'~'; }

bool starts_identifier(codepoint c) { return is_letter(c) || c == U'_'; }

bool continues_identifier(codepoint c) { return starts_identifier(c) || is_digit(c); }

// Skips white space and comments and peeks at what follows. A broken comment
// reads as no character at all: the text after a malformed byte inside a
// comment must never be taken for grammar, and the caller then reports the
// failure as it would at the end of the input.
codepoint skip_space_and_peek(reader* r) {
  if (!read_space(r)) return no_character;
  return peek_next(r);
}

// Replaces the text of destination by that of text, which is freed.
void store_text(ustring* destination, ustring* text) {
  ustring_move(destination, text);
  ustring_free(text);
}

// Gives *type its own copy of tag, replacing what it held; false (unchanged) when memory runs out.
bool assign_type(ustring** type, const ustring* tag) {
  ustring* copy = ustring_copy(tag);
  if (copy == nullptr) return false;
  ustring_free(*type);
  *type = copy;
  return true;
}

// The nonterminal of that name, made and appended to the grammar when there
// is none, the name standing at at; null on allocation failure.
nonterm* find_or_add_nonterm(grammar* g, ustring* name, source_position at) {
  nonterm* n = grammar_find_nonterm(g, name);
  if (n != nullptr) return n;
  n = nonterm_new(name);
  if (n == nullptr) return nullptr;
  n->seen_at = at;
  if (!grammar_add_nonterm(g, n)) {
    nonterm_free(n);
    return nullptr;
  }
  return n;
}

// Declares one token name: a name declared before keeps its first declaration.
bool declare_token(grammar* g, reader* r, ustring* name, const ustring* tag, source_position at) {
  if (grammar_find_term(g, name) != nullptr) return true;
  term* t = term_new(name);
  if (t == nullptr) return false;
  t->seen_at = at;
  t->value = g->next_token_value;
  if (tag != nullptr && !assign_type(&t->type, tag)) {
    reader_report(r, "Failed to assign type to token.");
    term_free(t);
    return false;
  }
  if (!grammar_add_term(g, t)) {
    reader_report(r, "Failed to add token to grammar.");
    term_free(t);
    return false;
  }
  ++g->next_token_value;
  return true;
}

// Reads the optional "<tag>" of a token declaration into *tag (null when absent).
bool read_token_tag(reader* r, ustring** tag) {
  *tag = nullptr;
  if (read_blanks(r) != U'<') return true;
  read_next(r);
  *tag = read_identifier(r);
  if (*tag == nullptr) {
    reader_report(r, "Failed to read type in token directive.");
    return false;
  }
  if (peek_next(r) != U'>') {
    reader_report(r, "Missing '>' in the token directive.");
    ustring_free(*tag);
    *tag = nullptr;
    return false;
  }
  read_next(r);
  return true;
}

// Declares the names up to the end of the line. A comment that fails here
// fails the list: the words of a broken comment are never declared.
bool read_token_names(grammar* g, reader* r, const ustring* tag) {
  for (;;) {
    if (!read_space_to_newline(r)) return false;
    codepoint c = peek_next(r);
    if (c == no_character) return true;
    if (c == U'\n') {
      read_next(r);
      return true;
    }
    source_position at = reader_position(r);
    ustring* name = read_identifier(r);
    if (name == nullptr) {
      reader_report(r, "Expected token name.");
      return false;
    }
    bool declared = declare_token(g, r, name, tag, at);
    ustring_free(name);
    if (!declared) return false;
  }
}

// Reads the required "<tag>" of a type declaration; null after a message.
ustring* read_type_tag(reader* r) {
  if (read_blanks(r) != U'<') {
    reader_report(r, "Missing '<' in the type directive.");
    return nullptr;
  }
  read_next(r);
  ustring* tag = read_identifier(r);
  if (tag == nullptr) {
    reader_report(r, "Failed to read type identifier.");
    return nullptr;
  }
  if (peek_next(r) != U'>') {
    reader_report(r, "Missing '>' in the type directive.");
    ustring_free(tag);
    return nullptr;
  }
  read_next(r);
  return tag;
}

// Gives each name up to the end of the line the tag, making nonterminals as needed.
bool read_type_names(grammar* g, reader* r, const ustring* tag) {
  for (;;) {
    codepoint c = read_blanks(r);
    if (c == no_character) return true;
    if (c == U'\n') {
      read_next(r);
      return true;
    }
    source_position at = reader_position(r);
    ustring* name = read_identifier(r);
    if (name == nullptr) {
      reader_report(r, "Expected nonterminal name after type.");
      return false;
    }
    nonterm* n = find_or_add_nonterm(g, name, at);
    ustring_free(name);
    if (n == nullptr) {
      reader_report(r, "Failed to add nonterm to grammar.");
      return false;
    }
    if (!assign_type(&n->type, tag)) {
      reader_report(r, "Failed to assign type to nonterminal.");
      return false;
    }
  }
}

// Copies the union block after its "{" through the matching "}" into text,
// counting every brace: strings and comments are not recognised there.
// Malformed input is reported as such, and only exhausted memory as a
// memory error.
bool read_union_block(reader* r, ustring* text) {
  size_t depth = 1;
  while (!at_end(r)) {
    codepoint c = peek_next(r);
    if (!read_next_into(r, text)) {
      if (c != no_character) reader_report(r, "Memory error while reading union body.");
      return false;
    }
    if (c == U'{') {
      ++depth;
    } else if (c == U'}' && --depth == 0) {
      return true;
    }
  }
  reader_report(r, "Missing closing '}' in the union directive.");
  return false;
}

// The terminal written in quotes whose characters are text, made and
// appended with the code point of its first character as its token number
// when it is new; null when memory is exhausted.
term* find_or_add_quoted(grammar* g, const ustring* text, source_position at) {
  term* t = grammar_find_term(g, text);
  if (t != nullptr) return t;
  ustring* name = ustring_copy(text);
  if (name == nullptr) return nullptr;
  t = term_new(name);
  ustring_free(name);
  if (t == nullptr) return nullptr;
  t->value = static_cast<int32_t>(ustring_at(text, 0));
  t->seen_at = at;
  if (!grammar_add_term(g, t)) {
    term_free(t);
    return nullptr;
  }
  return t;
}

// Reads a quoted terminal from its opening quote through its closing one; null after a message.
term* read_quoted_terminal(grammar* g, reader* r) {
  source_position at = reader_position(r);
  read_next(r);
  ustring* text = read_characters(r);
  if (text == nullptr) return nullptr;
  term* t = find_or_add_quoted(g, text, at);
  ustring_free(text);
  if (t != nullptr) read_next(r);
  return t;
}

// Reads one name or quoted terminal of a precedence line: a name not seen before is declared as a token.
term* read_precedence_terminal(grammar* g, reader* r, const ustring* tag) {
  if (peek_next(r) == U'\'') return read_quoted_terminal(g, r);
  source_position at = reader_position(r);
  ustring* name = read_identifier(r);
  if (name == nullptr) {
    reader_report(r, "Expected token name or quoted terminal.");
    return nullptr;
  }
  term* t = grammar_find_term(g, name);
  if (t == nullptr && declare_token(g, r, name, tag, at)) t = g->terms->items[g->terms->count - 1];  // declared last
  ustring_free(name);
  return t;
}

// Gives t the level and grouping of the line being read; false after a message when it already has a level.
bool take_precedence(grammar* g, reader* r, term* t, associativity assoc, source_position at) {
  if (t->precedence != 0) {
    char message[300];
    std::snprintf(message, sizeof message, "Terminal '%.*s' is already on an earlier precedence line.",
                  static_cast<int>(t->name->size < 200 ? t->name->size : 200), reinterpret_cast<const char*>(t->name->data));
    reader_report_at(r, at, message);
    return false;
  }
  t->precedence = g->precedence_levels;
  t->assoc = assoc;
  return true;
}

// Reads the rest of a precedence line after its keyword: one new level, binding tighter than the lines before.
bool read_directive_precedence(grammar* g, reader* r, associativity assoc) {
  ustring* tag = nullptr;
  if (!read_token_tag(r, &tag)) return false;
  ++g->precedence_levels;
  bool ok = true;
  for (;;) {
    ok = read_space_to_newline(r);
    codepoint c = peek_next(r);
    if (!ok || c == no_character) break;
    if (c == U'\n') {
      read_next(r);
      break;
    }
    source_position at = reader_position(r);
    term* t = read_precedence_terminal(g, r, tag);
    ok = t != nullptr && take_precedence(g, r, t, assoc, at);
    if (!ok) break;
  }
  ustring_free(tag);
  return ok;
}

// Reads the name after "%start": the start symbol, a nonterminal whose rules may come later.
bool read_directive_start(grammar* g, reader* r) {
  read_blanks(r);
  g->declared_start_at = reader_position(r);
  ustring* name = starts_identifier(peek_next(r)) ? read_identifier(r) : nullptr;
  if (name == nullptr) {
    reader_report(r, "Expected a nonterminal name after %start.");
    return false;
  }
  bool is_token = grammar_find_term(g, name) != nullptr;
  nonterm* n = is_token || g->declared_start != nullptr ? nullptr : find_or_add_nonterm(g, name, g->declared_start_at);
  ustring_free(name);
  if (is_token) {
    reader_report_at(r, g->declared_start_at, "The start symbol must be a nonterminal.");
  } else if (g->declared_start != nullptr) {
    reader_report_at(r, g->declared_start_at, "The start symbol is named twice.");
  }
  g->declared_start = n;
  return n != nullptr;
}

// Reads the number after "%expect": how many shift/reduce conflicts the grammar expects.
bool read_directive_expect(grammar* g, reader* r) {
  read_blanks(r);
  if (!is_digit(peek_next(r))) {
    reader_report(r, "Expected a number after %expect.");
    return false;
  }
  int64_t count = 0;
  while (is_digit(peek_next(r))) {
    count = count * 10 + static_cast<int64_t>(read_next(r) - U'0');
    if (count > INT32_MAX) {
      reader_report(r, "The number after %expect is too large.");
      return false;
    }
  }
  g->expected_conflicts = count;
  return true;
}

// Reads "%prec NAME" or "%prec 'c'" after the symbols of an alternative: the
// alternative takes that terminal's precedence, and its action must follow.
bool read_rule_precedence(grammar* g, rule* target, reader* r) {
  source_position keyword_at = reader_position(r);
  read_next(r);
  ustring* keyword = read_identifier(r);
  if (keyword == nullptr) return false;
  bool is_prec = ustring_compare(keyword, "prec") == 0;
  ustring_free(keyword);
  if (!is_prec) {
    reader_report_at(r, keyword_at, "Unknown directive in rule.");
    return false;
  }
  codepoint c = skip_space_and_peek(r);
  term* t = nullptr;
  if (c == U'\'') {
    t = read_quoted_terminal(g, r);
    if (t == nullptr) return false;
  } else if (starts_identifier(c)) {
    source_position name_at = reader_position(r);
    ustring* name = read_identifier(r);
    if (name == nullptr) return false;
    t = grammar_find_term(g, name);
    ustring_free(name);
    if (t == nullptr) {
      reader_report_at(r, name_at, "Expected a token after %prec.");
      return false;
    }
  } else {
    reader_report(r, "Expected a token after %prec.");
    return false;
  }
  target->precedence = t;
  if (skip_space_and_peek(r) != U'{') {
    reader_report(r, "Expected the action after %prec.");
    return false;
  }
  return true;
}

// Reads a directive's keyword after its "%" and runs that directive.
bool read_directive(grammar* g, reader* r) {
  source_position keyword_at = reader_position(r);
  ustring* keyword = read_identifier(r);
  if (keyword == nullptr) return false;
  bool ok = false;
  if (ustring_compare(keyword, "token") == 0) {
    ok = read_directive_tokens(g, r);
  } else if (ustring_compare(keyword, "union") == 0) {
    ok = read_directive_union(g, r);
  } else if (ustring_compare(keyword, "type") == 0) {
    ok = read_directive_type(g, r);
  } else if (ustring_compare(keyword, "left") == 0) {
    ok = read_directive_precedence(g, r, associativity::left);
  } else if (ustring_compare(keyword, "right") == 0) {
    ok = read_directive_precedence(g, r, associativity::right);
  } else if (ustring_compare(keyword, "nonassoc") == 0) {
    ok = read_directive_precedence(g, r, associativity::nonassoc);
  } else if (ustring_compare(keyword, "start") == 0) {
    ok = read_directive_start(g, r);
  } else if (ustring_compare(keyword, "expect") == 0) {
    ok = read_directive_expect(g, r);
  } else {
    reader_report_at(r, keyword_at, "Unknown directive.");
  }
  ustring_free(keyword);
  return ok;
}

// Reads the prolog block at "%{", replacing any earlier one.
bool read_prolog_into(grammar* g, reader* r) {
  ustring* text = read_prolog(r);
  if (text == nullptr) return false;
  store_text(g->prolog, text);
  return true;
}

// Reads one alternative's symbols and its action block, appending the rule to n.
bool read_alternative(grammar* g, nonterm* n, reader* r) {
  rule* alternative = read_rule(g, n, r);
  if (alternative == nullptr) {
    reader_report(r, "Failed to read rule for nonterminal.");
    return false;
  }
  if (!rules_push(n->rules, alternative)) {
    rule_free(alternative);
    return false;
  }
  alternative->action_at = reader_position(r);
  alternative->action = read_action(r);
  if (alternative->action == nullptr) {
    reader_report(r, "Failed to read action for rule.");
    return false;
  }
  return true;
}

}  // namespace

bool grammar_read(grammar* g, reader* r) {
  if (!grammar_read_header(g, r)) {
    reader_report(r, "Failed to read grammar header.");
    return false;
  }
  if (!grammar_read_rules(g, r)) {
    reader_report(r, "Failed to read grammar rules.");
    return false;
  }
  if (!grammar_read_user_code(g, r)) {
    reader_report(r, "Failed to read grammar user code.");
    return false;
  }
  if (g->declared_start != nullptr && g->declared_start->rules->count == 0) {
    reader_report_at(r, g->declared_start_at, "The start symbol has no rules.");
    return false;
  }
  grammar_assign_ids(g);
  return true;
}

bool grammar_read_header(grammar* g, reader* r) {
  for (;;) {
    codepoint c = skip_space_and_peek(r);
    if (c != U'%') {
      message_with_char("Unexpected '%c' in header section.", c, r);
      return false;
    }
    if (peek_ahead(r) == U'{') {
      if (!read_prolog_into(g, r)) return false;
      continue;
    }
    read_next(r);
    if (peek_next(r) == U'%') {
      read_next(r);
      return true;
    }
    if (!read_directive(g, r)) return false;
  }
}

bool grammar_read_rules(grammar* g, reader* r) {
  for (;;) {
    // A comment that fails here fails the section: the end of the input
    // inside it must not pass for the end of the rules.
    if (!read_space(r)) return false;
    codepoint c = peek_next(r);
    if (starts_identifier(c)) {
      if (read_nonterm(g, r) == nullptr) return false;
    } else if (c == no_character) {
      return true;
    } else if (c == U'%' && peek_ahead(r) == U'%') {
      read_next(r);
      read_next(r);
      return true;
    } else {
      message_with_char("Unexpected '%c' in rules section.", c, r);
      return false;
    }
  }
}

bool grammar_read_user_code(grammar* g, reader* r) {
  ustring* text = read_user_code(r);
  if (text == nullptr) return false;
  store_text(g->user_code, text);
  return true;
}

ustring* read_identifier(reader* r) {
  codepoint c = peek_next(r);
  if (!starts_identifier(c)) {
    message_with_char("Unexpected '%c' to start identifier.", c, r);
    return nullptr;
  }
  ustring* name = ustring_new();
  if (name == nullptr) return nullptr;
  while (continues_identifier(peek_next(r))) {
    if (!ustring_push(name, read_next(r))) {
      ustring_free(name);
      return nullptr;
    }
  }
  return name;
}

bool read_directive_tokens(grammar* g, reader* r) {
  ustring* tag = nullptr;
  if (!read_token_tag(r, &tag)) return false;
  bool ok = read_token_names(g, r, tag);
  ustring_free(tag);
  return ok;
}

bool read_directive_type(grammar* g, reader* r) {
  ustring* tag = read_type_tag(r);
  if (tag == nullptr) return false;
  bool ok = read_type_names(g, r, tag);
  ustring_free(tag);
  return ok;
}

bool read_directive_union(grammar* g, reader* r) {
  if (skip_space_and_peek(r) != U'{') {
    reader_report(r, "Missing opening '{' in the union directive.");
    return false;
  }
  read_next(r);
  ustring* text = ustring_new();
  if (text == nullptr || !ustring_push(text, U'{')) {
    reader_report(r, "Failed to push initial '{' into union string.");
    ustring_free(text);
    return false;
  }
  if (!read_union_block(r, text)) {
    ustring_free(text);
    return false;
  }
  store_text(g->union_body, text);
  return true;
}

nonterm* read_nonterm(grammar* g, reader* r) {
  source_position at = reader_position(r);
  ustring* name = read_identifier(r);
  if (name == nullptr) {
    reader_report(r, "Unable to read nonterminal name.");
    return nullptr;
  }
  nonterm* head = find_or_add_nonterm(g, name, at);
  ustring_free(name);
  if (head == nullptr) return nullptr;
  if (head->defined_at.line == 0) head->defined_at = at;
  if (g->start == nullptr) g->start = head;
  if (skip_space_and_peek(r) != U':') {
    reader_report(r, "Expected ':' after nonterminal name.");
    return nullptr;
  }
  read_next(r);
  for (;;) {
    if (!read_alternative(g, head, r)) return nullptr;
    codepoint c = skip_space_and_peek(r);
    if (c != U'|') {
      if (c != U';') {
        reader_report(r, "Expected ';' after rules.");
        return nullptr;
      }
      read_next(r);
      return head;
    }
    read_next(r);
  }
}

rule* read_rule(grammar* g, nonterm* n, reader* r) {
  rule* alternative = rule_new(n);
  if (alternative == nullptr) return nullptr;
  for (;;) {
    codepoint c = skip_space_and_peek(r);
    bool ok = true;
    if (c == U'\'') {
      ok = read_rule_terminal(g, alternative, r);
    } else if (starts_identifier(c)) {
      ok = read_rule_nonterminal(g, alternative, r);
    } else if (c == U'|' || c == U';' || c == U'{') {
      return alternative;
    } else if (c == U'%' && starts_identifier(peek_ahead(r))) {
      ok = read_rule_precedence(g, alternative, r);
    } else if (is_printable(c)) {
      message_with_char("Unexpected '%c' in rule.", c, r);
      ok = false;
    } else {
      reader_report(r, "Unexpected non-printable character in rule.");
      ok = false;
    }
    if (!ok) {
      rule_free(alternative);
      return nullptr;
    }
  }
}

bool read_rule_terminal(grammar* g, rule* target, reader* r) {
  source_position at = reader_position(r);
  read_next(r);
  ustring* text = read_characters(r);
  if (text == nullptr) {
    reader_report(r, "Unable to read terminal in rule.");
    return false;
  }
  term* t = find_or_add_quoted(g, text, at);
  ustring_free(text);
  if (t == nullptr || !symbol_push_term(target->symbols, t)) return false;
  read_next(r);
  return true;
}

ustring* read_characters(reader* r) {
  codepoint c = peek_next(r);
  if (c == U' ' || !is_printable(c)) {
    message_with_char("Unexpected '%c' to start terminal.", c, r);
    return nullptr;
  }
  ustring* text = ustring_new();
  if (text == nullptr) return nullptr;
  for (;;) {
    if (!ustring_push(text, read_next(r))) {
      ustring_free(text);
      return nullptr;
    }
    c = peek_next(r);
    if (c == U'\'') return text;
    if (c == U' ' || !is_printable(c)) {
      message_with_char("Unexpected '%c' in terminal.", c, r);
      ustring_free(text);
      return nullptr;
    }
  }
}

bool read_rule_nonterminal(grammar* g, rule* target, reader* r) {
  source_position at = reader_position(r);
  ustring* name = read_identifier(r);
  if (name == nullptr) {
    reader_report(r, "Unable to read nonterminal in rule.");
    return false;
  }
  term* t = grammar_find_term(g, name);
  if (t != nullptr) {
    ustring_free(name);
    return symbol_push_term(target->symbols, t);
  }
  nonterm* n = find_or_add_nonterm(g, name, at);
  ustring_free(name);
  if (n == nullptr) return false;
  if (n->used_at.line == 0) n->used_at = at;
  return symbol_push_nonterm(target->symbols, n);
}
