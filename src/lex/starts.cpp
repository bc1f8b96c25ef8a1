#include "lex/starts.h"

#include "lex/directives.h"
#include "text/memory.h"

namespace {

void start_free(start* s) {
  if (s == nullptr) return;
  ustring_free(s->name);
  memory_release(s);
}

}  // namespace

starts* starts_new() { return growable_new<starts>(); }

void starts_free(starts* table) {
  if (table == nullptr) return;
  for (size_t i = 0; i < table->count; ++i) start_free(table->items[i]);
  growable_free(table);
}

bool start_push(starts* table, ustring* name) {
  if (!growable_make_room(table)) return false;
  start* s = memory_new_record<start>();
  if (s == nullptr) return false;
  s->name = ustring_new_move(name);
  if (s->name == nullptr) {
    memory_release(s);
    return false;
  }
  return growable_push(table, s);
}

start* start_find(const starts* table, const ustring* name) {
  for (size_t i = 0; i < table->count; ++i) {
    start* s = table->items[i];
    if (s != nullptr && ustring_equal(s->name, name)) return s;
  }
  return nullptr;
}

// Start condition names follow the same rule as directive names.
ustring* read_start_name(reader* r) { return read_directive_name(r); }
