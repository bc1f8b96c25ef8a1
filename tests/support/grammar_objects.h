#ifndef VELLMARK_TESTS_SUPPORT_GRAMMAR_OBJECTS_H
#define VELLMARK_TESTS_SUPPORT_GRAMMAR_OBJECTS_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "text/ustring.h"

// A new string holding the bytes of s.
inline ustring* text_of(const char* s) {
  ustring* u = ustring_new();
  ustring_append_cstr(u, s);
  return u;
}

// A terminal named name; the emptied source string is freed.
inline term* make_term(const char* name) {
  ustring* text = text_of(name);
  term* t = term_new(text);
  ustring_free(text);
  return t;
}

// A nonterminal named name; the emptied source string is freed.
inline nonterm* make_nonterm(const char* name) {
  ustring* text = text_of(name);
  nonterm* n = nonterm_new(text);
  ustring_free(text);
  return n;
}

// What print(stream) writes.
template <typename F>
std::string printed(F print) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  print(stream);
  std::fclose(stream);
  std::string out(buffer, size);
  std::free(buffer);
  return out;
}

#endif
