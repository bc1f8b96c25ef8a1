#include "grammar/nonterm.h"

nonterm* nonterm_new(ustring* name) {
  nonterm* n = memory_new_record<nonterm>();
  if (n == nullptr) return nullptr;
  n->type = ustring_new();
  if (n->type != nullptr) n->rules = rules_new();
  if (n->rules != nullptr) n->firsts = symbol_set_new();
  if (n->firsts != nullptr) n->follows = symbol_set_new();
  // The name is taken over last: a failure before it leaves the caller's text intact.
  if (n->follows != nullptr) n->name = ustring_new_move(name);
  if (n->name == nullptr) {
    nonterm_free(n);
    return nullptr;
  }
  return n;
}

void nonterm_free(nonterm* n) {
  if (n == nullptr) return;
  symbol_set_free(n->firsts);
  symbol_set_free(n->follows);
  rules_clear(n->rules);
  rules_free(n->rules);
  ustring_free(n->name);
  ustring_free(n->type);
  memory_release(n);
}

nonterms* nonterms_new() { return growable_new<nonterms>(); }

void nonterms_free(nonterms* array) { growable_free(array); }

void nonterms_clear(nonterms* array) {
  if (array == nullptr) return;
  for (size_t i = 0; i < array->count; ++i) nonterm_free(array->items[i]);
  array->count = 0;
}

bool nonterm_push(nonterms* array, nonterm* n) { return growable_push(array, n); }

nonterm* nonterm_find_with_name(const nonterms* array, const ustring* name) {
  if (array == nullptr) return nullptr;
  for (size_t i = 0; i < array->count; ++i) {
    if (ustring_equal(array->items[i]->name, name)) return array->items[i];
  }
  return nullptr;
}

void nonterm_print(const nonterm* n, FILE* stream) {
  ustring_print(n->name, stream);
  std::fputc(':', stream);
  rules_print(n->rules, stream);
}

void nonterms_print(const nonterms* array, FILE* stream) {
  for (size_t i = 0; i < array->count; ++i) nonterm_print(array->items[i], stream);
}

void nonterm_print_firsts(const nonterm* n, FILE* stream) {
  symbol_set_print(n->firsts, stream);
  if (n->nullable) std::fputs(" eps", stream);
}

void nonterm_print_follows(const nonterm* n, FILE* stream) { symbol_set_print(n->follows, stream); }
