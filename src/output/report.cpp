#include "output/report.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "text/memory.h"

namespace {

unsigned long number(uint64_t value) { return static_cast<unsigned long>(value); }

// Output gathered into large writes: a report has a cell per state and symbol.
struct line_buffer {
  char data[1 << 16];
  size_t used;
};

void flush(line_buffer* out) {
  std::fwrite(out->data, 1, out->used, stdout);
  out->used = 0;
}

void put_text(line_buffer* out, const char* text, size_t length) {
  if (out->used + length > sizeof out->data) flush(out);
  std::memcpy(out->data + out->used, text, length);
  out->used += length;
}

// Writes value right-aligned in width columns (wider when it needs more) and then tail, as "%*lu" and tail would.
void put_number(line_buffer* out, uint64_t value, size_t width, char tail) {
  char text[48];
  char* end = text + sizeof text;
  char* p = end;
  if (tail != '\0') *--p = tail;
  char* digits_end = p;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  size_t digits = static_cast<size_t>(digits_end - p);
  while (digits < width) {
    *--p = ' ';
    ++digits;
  }
  put_text(out, p, static_cast<size_t>(end - p));
}

constexpr char blank_cell[] = "     ";
constexpr char default_cell[] = "    '";
constexpr size_t cell_width = 5;

// The widest name of a terminal or nonterminal, in code points.
size_t label_width(const grammar* g) {
  size_t width = 0;
  for (size_t i = 0; i < g->terms->count; ++i) {
    size_t length = ustring_length(g->terms->items[i]->name);
    if (length > width) width = length;
  }
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    size_t length = ustring_length(g->nonterms->items[i]->name);
    if (length > width) width = length;
  }
  return width;
}

// Writes text padded on the right to width code points, then one blank; a longer text stays whole.
void print_label(ustring* scratch, const ustring* name, const char* fixed, size_t width) {
  ustring_clear(scratch);
  bool made = name != nullptr ? ustring_append(scratch, name) : ustring_append_cstr(scratch, fixed);
  if (made) made = ustring_pad_right(scratch, width);
  if (made) {
    ustring_print(scratch, stdout);
  } else {
    // Without room to pad, the label is still written and padded blank by blank.
    size_t length = name != nullptr ? ustring_length(name) : 0;
    if (name != nullptr) {
      ustring_print(name, stdout);
    } else {
      for (const char* p = fixed; *p != '\0'; ++p, ++length) std::putchar(*p);
    }
    for (; length < width; ++length) std::putchar(' ');
  }
  std::putchar(' ');
}

// Where each state's walk through its sorted maps stands. When the rows are
// printed in ascending key order, each lookup continues from where the last
// one stopped, so a whole row costs one pass over every state's maps.
struct map_cursors {
  const state_map** shifts;
  const rule_map** reduces;
  const rule_map** accepts;
  const state_map** gotos;
};

template <typename V>
const V* cursor_find(const symbol_map<V>** cursor, symbol key) {
  const symbol_map<V>* node = *cursor;
  while (node != nullptr && symbol_less(node->symbol, key)) node = node->next;
  *cursor = node;
  if (node != nullptr && symbol_equals(node->symbol, key)) return symbol_map_target(node);
  return nullptr;
}

// Puts every cursor at the start of its map.
void rewind_cursors(map_cursors* c, const solver* s) {
  for (size_t k = 0; k < s->states->count; ++k) {
    const state* st = s->states->items[k];
    c->gotos[k] = st->gotos;
    if (st->action == nullptr) continue;
    c->shifts[k] = st->action->shifts;
    c->reduces[k] = st->action->reduces;
    c->accepts[k] = st->action->accepts;
  }
}

bool make_cursors(map_cursors* c, const solver* s) {
  size_t count = s->states->count;
  c->shifts = static_cast<const state_map**>(memory_alloc_zero(count, sizeof(state_map*)));
  c->reduces = static_cast<const rule_map**>(memory_alloc_zero(count, sizeof(rule_map*)));
  c->accepts = static_cast<const rule_map**>(memory_alloc_zero(count, sizeof(rule_map*)));
  c->gotos = static_cast<const state_map**>(memory_alloc_zero(count, sizeof(state_map*)));
  if (c->shifts == nullptr || c->reduces == nullptr || c->accepts == nullptr || c->gotos == nullptr) return false;
  rewind_cursors(c, s);
  return true;
}

void release_cursors(map_cursors* c) {
  memory_release(c->shifts);
  memory_release(c->reduces);
  memory_release(c->accepts);
  memory_release(c->gotos);
}

// One action cell, as print_action prints it.
void put_action(line_buffer* out, const action* row, const state* shift, const rule* reduce, const rule* accept) {
  if (shift != nullptr) {
    put_number(out, shift->id, cell_width - 1, 's');
  } else if (reduce != nullptr) {
    put_number(out, reduce->id, cell_width - 1, 'r');
  } else if (accept != nullptr) {
    put_number(out, accept->id, cell_width - 1, 'a');
  } else if (row != nullptr && row->default_rule != nullptr) {
    put_text(out, default_cell, cell_width);
  } else {
    put_text(out, blank_cell, cell_width);
  }
}

// The cells of one lookahead for every state, found by forward cursors (or by a search from the start).
void put_action_row(line_buffer* out, const solver* s, map_cursors* cursors, symbol lookahead) {
  for (size_t k = 0; k < s->states->count; ++k) {
    const action* row = s->states->items[k]->action;
    if (cursors == nullptr) {
      const state* shift = row == nullptr ? nullptr : state_map_find(row->shifts, lookahead);
      const rule* reduce = row == nullptr ? nullptr : rule_map_find(row->reduces, lookahead);
      const rule* accept = row == nullptr ? nullptr : rule_map_find(row->accepts, lookahead);
      put_action(out, row, shift, reduce, accept);
      continue;
    }
    const state* shift = cursor_find(&cursors->shifts[k], lookahead);
    const rule* reduce = cursor_find(&cursors->reduces[k], lookahead);
    const rule* accept = cursor_find(&cursors->accepts[k], lookahead);
    put_action(out, row, shift, reduce, accept);
  }
  put_text(out, "\n", 1);
}

void put_default_row(line_buffer* out, const solver* s) {
  for (size_t k = 0; k < s->states->count; ++k) {
    const action* row = s->states->items[k]->action;
    if (row != nullptr && row->default_rule != nullptr) {
      put_number(out, row->default_rule->id, cell_width - 1, 'r');
    } else {
      put_text(out, blank_cell, cell_width);
    }
  }
  put_text(out, "\n", 1);
}

void put_goto_row(line_buffer* out, const solver* s, map_cursors* cursors, symbol key) {
  for (size_t k = 0; k < s->states->count; ++k) {
    const state* target = cursors != nullptr ? cursor_find(&cursors->gotos[k], key)
                                             : state_map_find(s->states->items[k]->gotos, key);
    if (target != nullptr) {
      put_number(out, target->id, cell_width, '\0');
    } else {
      put_text(out, blank_cell, cell_width);
    }
  }
  put_text(out, "\n", 1);
}

// Cursors when they can be made; null otherwise (every cell is searched).
map_cursors* cursors_for(map_cursors* c, const solver* s) {
  if (make_cursors(c, s)) return c;
  release_cursors(c);
  *c = map_cursors{};
  return nullptr;
}

// What printing one table needs besides the output: the label being
// padded, the line being gathered and the cursors through the maps.
struct table_scratch {
  ustring* label;
  line_buffer* line;
  map_cursors storage;
  map_cursors* cursors;
  symbol last_key;  // of the last row begun
  size_t rows;      // rows begun
};

void table_scratch_close(table_scratch* t) {
  release_cursors(&t->storage);
  memory_release(t->line);
  ustring_free(t->label);
}

// False (nothing kept) when the label or the line cannot be made; missing cursors only slow the lookups.
bool table_scratch_open(table_scratch* t, const solver* s) {
  t->label = ustring_new();
  t->line = memory_new_record<line_buffer>();
  if (t->label == nullptr || t->line == nullptr) {
    table_scratch_close(t);
    return false;
  }
  t->cursors = cursors_for(&t->storage, s);
  return true;
}

// Readies the cursors for the row of key. They only move forward through
// the maps, whose keys ascend: a key below the last row's starts them over.
void table_scratch_follow(table_scratch* t, const solver* s, symbol key) {
  if (t->cursors != nullptr && t->rows > 0 && symbol_less(key, t->last_key)) rewind_cursors(t->cursors, s);
  t->last_key = key;
  ++t->rows;
}

}  // namespace

void print_header(const grammar* g, const solver* s) {
  std::printf("%*s ", static_cast<int>(label_width(g)), "");
  line_buffer* out = memory_new_record<line_buffer>();
  for (size_t k = 0; k < s->states->count; ++k) {
    if (out != nullptr) {
      put_number(out, s->states->items[k]->id, cell_width, '\0');
    } else {
      std::printf("%5lu", number(s->states->items[k]->id));
    }
  }
  if (out != nullptr) flush(out);
  memory_release(out);
  std::putchar('\n');
}

void print_action(const action* row, symbol lookahead) {
  if (row == nullptr) {
    std::printf("%5s", "");
    return;
  }
  if (const state* target = state_map_find(row->shifts, lookahead)) {
    std::printf("%4lus", number(target->id));
  } else if (const rule* r = rule_map_find(row->reduces, lookahead)) {
    std::printf("%4lur", number(r->id));
  } else if (const rule* accepted = rule_map_find(row->accepts, lookahead)) {
    std::printf("%4lua", number(accepted->id));
  } else if (row->default_rule != nullptr) {
    std::printf("%5s", "'");
  } else {
    std::printf("%5s", "");
  }
}

bool print_actions(const grammar* g, const solver* s) {
  print_header(g, s);
  table_scratch t{};
  if (!table_scratch_open(&t, s)) return false;
  size_t width = label_width(g);
  for (size_t i = 0; i < g->terms->count; ++i) {
    term* x = g->terms->items[i];
    table_scratch_follow(&t, s, symbol_for_term(x));
    print_label(t.label, x->name, nullptr, width);
    put_action_row(t.line, s, t.cursors, symbol_for_term(x));
    flush(t.line);
  }
  print_label(t.label, nullptr, "$", width);
  table_scratch_follow(&t, s, symbol_for_endmark());
  put_action_row(t.line, s, t.cursors, symbol_for_endmark());
  flush(t.line);
  print_label(t.label, nullptr, "any", width);
  put_default_row(t.line, s);
  flush(t.line);
  table_scratch_close(&t);
  return true;
}

bool print_gotos(const grammar* g, const solver* s) {
  print_header(g, s);
  table_scratch t{};
  if (!table_scratch_open(&t, s)) return false;
  size_t width = label_width(g);
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    nonterm* n = g->nonterms->items[i];
    table_scratch_follow(&t, s, symbol_for_nonterm(n));
    print_label(t.label, n->name, nullptr, width);
    put_goto_row(t.line, s, t.cursors, symbol_for_nonterm(n));
    flush(t.line);
  }
  std::putchar('\n');
  table_scratch_close(&t);
  return true;
}

bool print_parser(const grammar* g, const solver* s) {
  if (!print_actions(g, s)) return false;
  std::putchar('\n');
  return print_gotos(g, s);
}
