#include "grammar/rule.h"

#include "grammar/nonterm.h"
#include "grammar/term.h"

rule* rule_new(struct nonterm* n) {
  rule* r = memory_new_record<rule>();
  if (r == nullptr) return nullptr;
  r->symbols = symbols_new();
  if (r->symbols == nullptr) {
    rule_free(r);
    return nullptr;
  }
  r->nonterm = n;
  return r;
}

void rule_free(rule* r) {
  if (r == nullptr) return;
  symbols_free(r->symbols);
  ustring_free(r->action);
  memory_release(r);
}

const term* rule_precedence(const rule* r) {
  if (r->precedence != nullptr) return r->precedence;
  for (size_t k = r->symbols->count; k-- > 0;) {
    const term* t = r->symbols->items[k].term;
    if (t != nullptr && t->precedence != 0) return t;
  }
  return nullptr;
}

rules* rules_new() { return growable_new<rules>(); }

void rules_free(rules* array) { growable_free(array); }

void rules_clear(rules* array) {
  if (array == nullptr) return;
  for (size_t i = 0; i < array->count; ++i) rule_free(array->items[i]);
  array->count = 0;
}

bool rules_push(rules* array, rule* r) { return growable_push(array, r); }

void rule_print(const rule* r, FILE* stream) {
  ustring_print(r->nonterm->name, stream);
  std::fputs(" -> ", stream);
  symbols_print(r->symbols, stream);
  std::fputc('\n', stream);
}

void rules_print(const rules* array, FILE* stream) {
  for (size_t i = 0; i < array->count; ++i) {
    rule_print(array->items[i], stream);
    std::fputc('|', stream);
  }
  std::fputs(";\n", stream);
}
