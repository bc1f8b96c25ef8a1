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

// A cell of a table that is neither blank nor the default mark.
struct cell {
  uint32_t state;  // position in the solver's states
  uint32_t value;  // the number shown
  char tail;       // 's', 'r' or 'a' after an action's number; '\0' for a goto
};

// The written cells of one table, bucketed by table row and in state order
// within a row, so that printing a row copies the row of blank and default
// cells and writes its few entries in, instead of searching every state.
struct cell_rows {
  size_t rows;
  size_t* starts;  // rows + 1 positions in cells: row i holds starts[i] to starts[i + 1]
  cell* cells;
  char* base;      // cell_width characters per state: blank, or the default mark
};

void cell_rows_free(cell_rows* t) {
  memory_release(t->starts);
  memory_release(t->cells);
  memory_release(t->base);
  *t = cell_rows{};
}

// Each record's row, by id: its position in the grammar's array, which rows
// follow even where ids do not; false when the ids are not a numbering of it.
bool number_rows_by_id(size_t* row_of_id, size_t count, const auto* array) {
  for (size_t i = 0; i < count; ++i) row_of_id[i] = SIZE_MAX;
  for (size_t i = 0; i < count; ++i) {
    size_t id = array->items[i]->id;
    if (id >= count || row_of_id[id] != SIZE_MAX) return false;
    row_of_id[id] = i;
  }
  return true;
}

// Calls emit(symbol, tail, value) for each lookahead of row in key order, once
// per lookahead: a shift before a reduction before an accept.
template <typename Emit>
void visit_action_cells(const action* row, Emit emit) {
  const state_map* shift = row->shifts;
  const rule_map* reduce = row->reduces;
  const rule_map* accept = row->accepts;
  if (reduce == nullptr && accept == nullptr) {  // most rows only shift, or only reduce by default
    for (; shift != nullptr; shift = shift->next) emit(shift->symbol, 's', shift->state->id);
    return;
  }
  while (shift != nullptr || reduce != nullptr || accept != nullptr) {
    symbol key = shift != nullptr ? shift->symbol : reduce != nullptr ? reduce->symbol : accept->symbol;
    if (reduce != nullptr && symbol_less(reduce->symbol, key)) key = reduce->symbol;
    if (accept != nullptr && symbol_less(accept->symbol, key)) key = accept->symbol;
    bool shifts = shift != nullptr && symbol_equals(shift->symbol, key);
    bool reduces = reduce != nullptr && symbol_equals(reduce->symbol, key);
    bool accepts = accept != nullptr && symbol_equals(accept->symbol, key);
    if (shifts) {
      emit(key, 's', shift->state->id);
    } else if (reduces) {
      emit(key, 'r', reduce->rule->id);
    } else {
      emit(key, 'a', accept->rule->id);
    }
    if (shifts) shift = shift->next;
    if (reduces) reduce = reduce->next;
    if (accepts) accept = accept->next;
  }
}

// Fills t from cells_of(k, emit), which calls emit(row, tail, value) for the
// written cells of state k in any row order; false, t empty, when memory is
// exhausted or a number does not fit a cell record.
template <typename CellsOf>
bool cell_rows_fill(cell_rows* t, const solver* s, size_t rows, CellsOf cells_of) {
  size_t states = s->states->count;
  *t = cell_rows{rows, static_cast<size_t*>(memory_alloc_zero(rows + 1, sizeof(size_t))), nullptr, nullptr};
  if (t->starts == nullptr || states > UINT32_MAX) {
    cell_rows_free(t);
    return false;
  }
  bool fits = true;
  for (size_t k = 0; k < states; ++k) {
    cells_of(k, [t, &fits](size_t row, char, uint64_t value) {
      ++t->starts[row + 1];
      fits = fits && value <= UINT32_MAX;
    });
  }
  for (size_t row = 0; row < rows; ++row) t->starts[row + 1] += t->starts[row];
  t->cells = static_cast<cell*>(memory_alloc_zero(t->starts[rows], sizeof(cell)));
  if (!fits || t->cells == nullptr) {
    cell_rows_free(t);
    return false;
  }
  // Filled state by state, each row's cells come in state order; starts[row] runs ahead and is set back after.
  for (size_t k = 0; k < states; ++k) {
    cells_of(k, [t, k](size_t row, char tail, uint64_t value) {
      t->cells[t->starts[row]++] = cell{static_cast<uint32_t>(k), static_cast<uint32_t>(value), tail};
    });
  }
  for (size_t row = rows; row > 0; --row) t->starts[row] = t->starts[row - 1];
  t->starts[0] = 0;
  return true;
}

// The base line: each state's cell when a row has no entry for it.
bool cell_rows_lay_base(cell_rows* t, const solver* s, bool defaults) {
  size_t states = s->states->count;
  t->base = static_cast<char*>(memory_alloc(states == 0 ? 1 : states * cell_width));
  if (t->base == nullptr) return false;
  for (size_t k = 0; k < states; ++k) {
    const action* row = s->states->items[k]->action;
    bool marked = defaults && row != nullptr && row->default_rule != nullptr;
    std::memcpy(t->base + k * cell_width, marked ? default_cell : blank_cell, cell_width);
  }
  return true;
}

// The action table's cells: one row per terminal in array order, then the end marker's; false when memory is exhausted.
bool action_cells(cell_rows* t, const grammar* g, const solver* s) {
  size_t terms = g->terms->count;
  auto* row_of_id = static_cast<size_t*>(memory_alloc_zero(terms + 1, sizeof(size_t)));
  bool made = row_of_id != nullptr && number_rows_by_id(row_of_id, terms, g->terms);
  made = made && cell_rows_fill(t, s, terms + 1, [s, row_of_id, terms](size_t k, auto emit) {
           const action* row = s->states->items[k]->action;
           if (row == nullptr) return;
           visit_action_cells(row, [&emit, row_of_id, terms](symbol key, char tail, uint64_t value) {
             emit(key.term != nullptr ? row_of_id[key.term->id] : terms, tail, value);
           });
         });
  memory_release(row_of_id);
  if (made && cell_rows_lay_base(t, s, true)) return true;
  cell_rows_free(t);
  return false;
}

// The goto table's cells: one row per nonterminal in array order; false when memory is exhausted.
bool goto_cells(cell_rows* t, const grammar* g, const solver* s) {
  size_t nonterms = g->nonterms->count;
  auto* row_of_id = static_cast<size_t*>(memory_alloc_zero(nonterms + 1, sizeof(size_t)));
  bool made = row_of_id != nullptr && number_rows_by_id(row_of_id, nonterms, g->nonterms);
  made = made && cell_rows_fill(t, s, nonterms, [s, row_of_id](size_t k, auto emit) {
           for (const state_map* node = s->states->items[k]->gotos; node != nullptr; node = node->next) {
             emit(row_of_id[node->symbol.nonterm->id], '\0', node->state->id);
           }
         });
  memory_release(row_of_id);
  if (made && cell_rows_lay_base(t, s, false)) return true;
  cell_rows_free(t);
  return false;
}

// Writes a long run of text, through the buffer or around it.
void put_long_text(line_buffer* out, const char* text, size_t length) {
  if (length <= sizeof out->data) {
    put_text(out, text, length);
    return;
  }
  flush(out);
  std::fwrite(text, 1, length, stdout);
}

// One table row: the base line with the row's cells written in, then a line feed.
void put_cell_row(line_buffer* out, const cell_rows* t, size_t states, size_t row) {
  size_t from = 0;  // the first state not yet written
  for (size_t i = t->starts[row]; i < t->starts[row + 1]; ++i) {
    const cell& c = t->cells[i];
    put_long_text(out, t->base + from * cell_width, (c.state - from) * cell_width);
    put_number(out, c.value, c.tail != '\0' ? cell_width - 1 : cell_width, c.tail);
    from = c.state + 1;
  }
  put_long_text(out, t->base + from * cell_width, (states - from) * cell_width);
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

// What printing one table needs besides the output: the label being
// padded, the line being gathered and the table's written cells.
struct table_scratch {
  ustring* label;
  line_buffer* line;
  cell_rows cells;
};

void table_scratch_close(table_scratch* t) {
  cell_rows_free(&t->cells);
  memory_release(t->line);
  ustring_free(t->label);
}

// False (nothing kept) when the label, the line or the cells (from fill) cannot be made.
template <typename Fill>
bool table_scratch_open(table_scratch* t, Fill fill) {
  t->label = ustring_new();
  t->line = memory_new_record<line_buffer>();
  if (t->label == nullptr || t->line == nullptr || !fill(&t->cells)) {
    table_scratch_close(t);
    return false;
  }
  return true;
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
  if (!table_scratch_open(&t, [g, s](cell_rows* cells) { return action_cells(cells, g, s); })) return false;
  size_t width = label_width(g);
  for (size_t i = 0; i < g->terms->count; ++i) {
    print_label(t.label, g->terms->items[i]->name, nullptr, width);
    put_cell_row(t.line, &t.cells, s->states->count, i);
    flush(t.line);
  }
  print_label(t.label, nullptr, "$", width);
  put_cell_row(t.line, &t.cells, s->states->count, g->terms->count);
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
  if (!table_scratch_open(&t, [g, s](cell_rows* cells) { return goto_cells(cells, g, s); })) return false;
  size_t width = label_width(g);
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    print_label(t.label, g->nonterms->items[i]->name, nullptr, width);
    put_cell_row(t.line, &t.cells, s->states->count, i);
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
