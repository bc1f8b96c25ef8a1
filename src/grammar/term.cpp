#include "grammar/term.h"

term* term_new(ustring* name) {
  term* t = memory_new_record<term>();
  if (t == nullptr) return nullptr;
  t->type = ustring_new();
  // The name is taken over last: a failure before it leaves the caller's text intact.
  if (t->type != nullptr) t->name = ustring_new_move(name);
  if (t->name == nullptr) {
    term_free(t);
    return nullptr;
  }
  return t;
}

void term_free(term* t) {
  if (t == nullptr) return;
  ustring_free(t->name);
  ustring_free(t->type);
  memory_release(t);
}

terms* terms_new() { return growable_new<terms>(); }

void terms_free(terms* array) { growable_free(array); }

void terms_clear(terms* array) {
  if (array == nullptr) return;
  for (size_t i = 0; i < array->count; ++i) term_free(array->items[i]);
  array->count = 0;
}

bool term_push(terms* array, term* t) { return growable_push(array, t); }

term* term_find(const terms* array, const ustring* name) {
  if (array == nullptr) return nullptr;
  for (size_t i = 0; i < array->count; ++i) {
    if (ustring_equal(array->items[i]->name, name)) return array->items[i];
  }
  return nullptr;
}
