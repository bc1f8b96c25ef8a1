#ifndef VELLMARK_TESTS_SUPPORT_TEST_GRAMMAR_H
#define VELLMARK_TESTS_SUPPORT_TEST_GRAMMAR_H

#include <cstdint>
#include <cstring>
#include <string>

#include "grammar/grammar.h"
#include "grammar/grammar_reader.h"
#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "text/reader.h"
#include "text/ustring.h"

// Reads a grammar written in the input format (UTF-8 text); null when it does not read.
inline grammar* read_test_grammar(const char* text) {
  ustring* source = ustring_new();  // bytes are copied raw so that UTF-8 names stay intact
  if (source == nullptr) return nullptr;
  size_t length = std::strlen(text);
  if (!ustring_reserve(source, length + 1)) {
    ustring_free(source);
    return nullptr;
  }
  std::memcpy(source->data, text, length);
  source->size = length;
  reader* r = reader_new_string(source);
  grammar* g = grammar_new();
  bool read = r != nullptr && g != nullptr && grammar_read(g, r);
  reader_free(r);
  ustring_free(source);
  if (!read) {
    grammar_free(g);
    return nullptr;
  }
  return g;
}

// The terminal or nonterminal called name (terminals first); asserts nothing, null when absent.
inline term* test_term(const grammar* g, const char* name) {
  for (size_t i = 0; i < g->terms->count; ++i) {
    const ustring* n = g->terms->items[i]->name;
    if (n->size == std::strlen(name) && std::memcmp(n->data, name, n->size) == 0) return g->terms->items[i];
  }
  return nullptr;
}

inline nonterm* test_nonterm(const grammar* g, const char* name) {
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const ustring* n = g->nonterms->items[i]->name;
    if (n->size == std::strlen(name) && std::memcmp(n->data, name, n->size) == 0) return g->nonterms->items[i];
  }
  return nullptr;
}

// Rule number k of the nonterminal called name.
inline rule* test_rule(const grammar* g, const char* name, size_t k) {
  return test_nonterm(g, name)->rules->items[k];
}

inline symbol test_t(const grammar* g, const char* name) { return symbol_for_term(test_term(g, name)); }

inline symbol test_n(const grammar* g, const char* name) { return symbol_for_nonterm(test_nonterm(g, name)); }

// A small deterministic generator of grammars: up to four terminals (declared
// and quoted), up to five nonterminals with up to three alternatives each, right-hand
// sides of up to four symbols, and some nonterminals left without rules.
struct grammar_dice {
  uint64_t state;
};

inline size_t roll(grammar_dice* dice, size_t sides) {
  dice->state = dice->state * 6364136223846793005u + 1442695040888963407u;
  return static_cast<size_t>((dice->state >> 33) % sides);
}

inline std::string random_grammar_text(uint64_t seed) {
  grammar_dice dice{seed * 2654435761u + 1};
  static const char* const terminals[] = {"a", "b", "'+'", "'('"};
  static const char* const nonterminals[] = {"S", "A", "B", "C", "D"};
  size_t term_count = 1 + roll(&dice, 4);
  size_t nonterm_count = 1 + roll(&dice, 5);
  std::string text = "%token a b\n%%\n";
  for (size_t n = 0; n < nonterm_count; ++n) {
    size_t alternatives = n == 0 ? 1 + roll(&dice, 3) : roll(&dice, 4);
    if (alternatives == 0) continue;
    text += nonterminals[n];
    text += " :";
    for (size_t a = 0; a < alternatives; ++a) {
      if (a > 0) text += " |";
      size_t length = roll(&dice, 5);
      for (size_t k = 0; k < length; ++k) {
        text += ' ';
        if (roll(&dice, 2) == 0) {
          text += terminals[roll(&dice, term_count)];
        } else {
          text += nonterminals[roll(&dice, nonterm_count)];
        }
      }
      text += " { }";
    }
    text += " ;\n";
  }
  return text;
}

// Statements after each of several keywords, over expressions of three
// levels: the states after the keywords close over the same nonterminals
// with the same lookaheads, and a label's statement expects a symbol that
// the rules its closure adds expect too.
inline constexpr const char* keyword_statements_grammar =
    "%token ID NUM IF WHILE DO ELSE\n%%\n"
    "program : list { } ;\nlist : list stmt { } | { } ;\n"
    "stmt : IF '(' e ')' stmt { } | IF '(' e ')' stmt ELSE stmt { } | WHILE '(' e ')' stmt { }\n"
    "  | DO stmt WHILE '(' e ')' ';' { } | ID ':' stmt { } | e ';' { } | '{' list '}' { } | ';' { } ;\n"
    "e : e '+' t { } | e '-' t { } | t { } ;\nt : t '*' f { } | f { } ;\n"
    "f : ID { } | NUM { } | '(' e ')' { } | ID '(' args ')' { } ;\nargs : { } | e { } | args ',' e { } ;\n";

#endif
