#include "output/parser_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "grammar/symbol.h"
#include "grammar/term.h"
#include "output/action_writer.h"
#include "output/lookup_table.h"
#include "output/line_counter.h"
#include "output/parser_code.h"
#include "text/memory.h"

namespace {

// Entries of the action tables: check value, table value, accept flag.
struct action_tables {
  int* pact;
  int* check;
  int* table;
  int* accept;
};

// Entries of the goto tables.
struct goto_tables {
  int* gopact;
  int* gocheck;
  int* gotable;
};

// End of input, as the runtime hands it to the tables.
constexpr int end_of_input = -1;

// A shift to state d is stored as d + 1, a reduction by rule r as -(r + 1),
// so that the sign tells them apart and 0 never occurs.
int shift_entry(const state* target) { return static_cast<int>(target->id) + 1; }
int reduce_entry(const rule* r) { return -(static_cast<int>(r->id) + 1); }

const action* row_of(const solver* s, size_t k) { return s->states->items[k]->action; }

// The reduction on end of input that is not the state's default rule; null when none.
const rule* end_of_input_reduction(const action* row) {
  return rule_map_find(row->reduces, symbol_for_endmark());
}

// Writes text inside a C string literal. Quotes and backslashes are escaped,
// and so is a '?' after another, which would otherwise start a trigraph.
void write_string_body(const ustring* text, FILE* stream) {
  unsigned char previous = 0;
  for (size_t i = 0; i < text->size; ++i) {
    unsigned char c = text->data[i];
    if (c == '"' || c == '\\' || (c == '?' && previous == '?')) std::fputc('\\', stream);
    std::fputc(c, stream);
    previous = c;
  }
}

// One entry of a row before it is placed: the position of its symbol in the
// grammar, which orders the entries, and its check and table values.
struct row_entry {
  uint64_t order;
  int check;
  int table;
};

bool entry_before(const row_entry& a, const row_entry& b) { return a.order < b.order; }

// Gathers the terminal entries of a row into entries (when not null) and
// returns how many there are. Shifts and reductions are both kept in key
// order, so one walk over the two merges them; a shift wins over a
// reduction on the same terminal. Only the entries that exist are visited.
size_t gather_terminal_entries(const action* row, row_entry* entries) {
  size_t count = 0;
  const state_map* shift = row->shifts;
  const rule_map* reduce = row->reduces;
  while (shift != nullptr || reduce != nullptr) {
    bool shifts = reduce == nullptr || (shift != nullptr && !symbol_less(reduce->symbol, shift->symbol));
    symbol key = shifts ? shift->symbol : reduce->symbol;
    if (key.term != nullptr) {
      int table = shifts ? shift_entry(shift->state) : reduce_entry(reduce->rule);
      if (entries != nullptr) entries[count] = row_entry{key.term->id, key.term->value, table};
      ++count;
    }
    if (shifts) {
      if (reduce != nullptr && symbol_equals(reduce->symbol, key)) reduce = reduce->next;
      shift = shift->next;
    } else {
      reduce = reduce->next;
    }
  }
  return count;
}

// Gathers the goto entries of a state into entries (when not null); returns how many there are.
size_t gather_goto_entries(const state* st, row_entry* entries) {
  size_t count = 0;
  for (const state_map* node = st->gotos; node != nullptr; ++count, node = node->next) {
    if (entries != nullptr) {
      entries[count] = row_entry{node->symbol.nonterm->id, static_cast<int>(node->symbol.nonterm->id),
                                 static_cast<int>(node->state->id)};
    }
  }
  return count;
}

// The number of action entries, and in *widest the most terminal entries of one row.
size_t count_action_entries(const solver* s, size_t* widest) {
  size_t entries = 0;
  *widest = 0;
  for (size_t k = 0; k < s->states->count; ++k) {
    const action* row = row_of(s, k);
    size_t terminals = gather_terminal_entries(row, nullptr);
    if (terminals > *widest) *widest = terminals;
    entries += terminals;
    if (row->accepts != nullptr) ++entries;
    if (end_of_input_reduction(row) != nullptr) ++entries;
  }
  return entries;
}

void put_entry(action_tables* tables, size_t* j, int check, int table, int accept) {
  tables->check[*j] = check;
  tables->table[*j] = table;
  tables->accept[*j] = accept;
  ++*j;
}

// One state's entries: its terminals in grammar order (a shift wins over a
// reduction on the same terminal), then the accept entry, then a reduction on
// end of input, which must come after the accept entry so that acceptance
// is found first. scratch has room for the row's terminal entries.
void fill_state_entries(const action* row, row_entry* scratch, action_tables* tables, size_t* j) {
  size_t count = gather_terminal_entries(row, scratch);
  std::sort(scratch, scratch + count, entry_before);
  for (size_t i = 0; i < count; ++i) put_entry(tables, j, scratch[i].check, scratch[i].table, 0);
  if (row->accepts != nullptr) put_entry(tables, j, end_of_input, reduce_entry(row->accepts->rule), 1);
  if (const rule* r = end_of_input_reduction(row)) put_entry(tables, j, end_of_input, reduce_entry(r), 0);
}

void release_action_tables(action_tables* tables) {
  memory_release(tables->pact);
  memory_release(tables->check);
  memory_release(tables->table);
  memory_release(tables->accept);
  *tables = action_tables{};
}

// The number of goto entries, and in *widest the most of one state.
size_t count_goto_entries(const solver* s, size_t* widest) {
  size_t entries = 0;
  *widest = 0;
  for (size_t k = 0; k < s->states->count; ++k) {
    size_t count = gather_goto_entries(s->states->items[k], nullptr);
    if (count > *widest) *widest = count;
    entries += count;
  }
  return entries;
}

// Every state's gotos in the grammar's order of nonterminals; scratch has room for the most of one state.
void fill_goto_entries(const solver* s, row_entry* scratch, goto_tables* tables) {
  size_t j = 0;
  for (size_t k = 0; k < s->states->count; ++k) {
    tables->gopact[k] = static_cast<int>(j);
    size_t count = gather_goto_entries(s->states->items[k], scratch);
    std::sort(scratch, scratch + count, entry_before);
    for (size_t i = 0; i < count; ++i, ++j) {
      tables->gocheck[j] = scratch[i].check;
      tables->gotable[j] = scratch[i].table;
    }
  }
  tables->gopact[s->states->count] = static_cast<int>(j);
}

void release_goto_tables(goto_tables* tables) {
  memory_release(tables->gopact);
  memory_release(tables->gocheck);
  memory_release(tables->gotable);
  *tables = goto_tables{};
}

// Allocates and fills yypact, yycheck, yytable and yyaccept; false, tables
// empty, when memory is exhausted.
bool fill_action_tables(const solver* s, action_tables* tables) {
  size_t state_count = s->states->count;
  size_t widest = 0;
  size_t entries = count_action_entries(s, &widest);
  tables->pact = static_cast<int*>(memory_alloc_zero(state_count + 1, sizeof(int)));
  tables->check = static_cast<int*>(memory_alloc_zero(entries, sizeof(int)));
  tables->table = static_cast<int*>(memory_alloc_zero(entries, sizeof(int)));
  tables->accept = static_cast<int*>(memory_alloc_zero(entries, sizeof(int)));
  auto* scratch = static_cast<row_entry*>(memory_alloc_zero(widest, sizeof(row_entry)));
  if (tables->pact == nullptr || tables->check == nullptr || tables->table == nullptr || tables->accept == nullptr ||
      scratch == nullptr) {
    release_action_tables(tables);
    memory_release(scratch);
    return false;
  }
  size_t j = 0;
  for (size_t k = 0; k < state_count; ++k) {
    tables->pact[k] = static_cast<int>(j);
    fill_state_entries(row_of(s, k), scratch, tables, &j);
  }
  tables->pact[state_count] = static_cast<int>(j);
  memory_release(scratch);
  return true;
}

// Allocates and fills yygopact, yygocheck and yygotable; false, tables
// empty, when memory is exhausted.
bool fill_goto_tables(const solver* s, goto_tables* tables) {
  size_t state_count = s->states->count;
  size_t widest = 0;
  size_t entries = count_goto_entries(s, &widest);
  tables->gopact = static_cast<int*>(memory_alloc_zero(state_count + 1, sizeof(int)));
  tables->gocheck = static_cast<int*>(memory_alloc_zero(entries, sizeof(int)));
  tables->gotable = static_cast<int*>(memory_alloc_zero(entries, sizeof(int)));
  auto* scratch = static_cast<row_entry*>(memory_alloc_zero(widest, sizeof(row_entry)));
  if (tables->gopact == nullptr || tables->gocheck == nullptr || tables->gotable == nullptr || scratch == nullptr) {
    release_goto_tables(tables);
    memory_release(scratch);
    return false;
  }
  fill_goto_entries(s, scratch, tables);
  memory_release(scratch);
  return true;
}

// Writes the record of one symbol's name: "struct symbol kind<id> = {"name"};".
void write_symbol_record(const char* kind, uint64_t id, const ustring* name, const output_names* names, FILE* stream) {
  std::fputs("struct ", stream);
  names_print(names, "symbol", stream);
  std::fputc(' ', stream);
  names_print(names, kind, stream);
  std::fprintf(stream, "%zu = {\"", static_cast<size_t>(id));
  write_string_body(name, stream);
  std::fputs("\"};\n", stream);
}

// Everything before yyaction: prolog, name records, yyaction's prototype.
void write_preamble(const grammar* g, const output_names* names, FILE* stream) {
  ustring_print(g->prolog, stream);
  std::fputs("\nstruct ", stream);
  names_print(names, "symbol", stream);
  std::fputs(" {\n    const char* name;\n};\n\n", stream);
  for (size_t i = 0; i < g->terms->count; ++i) write_terms(g->terms->items[i], names, stream);
  std::fputs("\n", stream);
  names_print_code(names, "int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs);\n\n", stream);
  for (size_t i = 0; i < g->nonterms->count; ++i) write_nonterm(g->nonterms->items[i], names, stream);
  std::fputs("\n", stream);
}

// Pushes buffered output to the file and reports a write error, which would
// otherwise leave a truncated parser behind a successful run.
bool finish_output(FILE* stream, diagnostics* d) {
  if (std::fflush(stream) == 0 && std::ferror(stream) == 0) return true;
  diagnostics_line(d, "Error: Unable to write the parser source.");
  return false;
}

// Writes everything up to and including yyaction, counting the lines
// written when the actions are to be marked with #line directives; false
// after a message when some action could not be written.
bool write_parser_head(const grammar* g, const parser_options* o, FILE* stream) {
  line_marks marks{o->grammar_file, o->output_file, nullptr};
  if (o->line_directives && (marks.output = line_counter_open(stream)) == nullptr) {
    diagnostics_line(o->sink, "Memory allocation failed in write_actions.");
    return false;
  }
  FILE* head = marks.output != nullptr ? marks.output->stream : stream;
  write_preamble(g, &o->names, head);
  bool complete = write_actions(g, &o->names, marks.output != nullptr ? &marks : nullptr, head);
  if (!complete) diagnostics_line(o->sink, "Memory allocation failed in write_actions.");
  return line_counter_close(marks.output) && complete;
}

// Writes "<type> name[] = {v0<separator>v1...};" ("{0}" when empty).
void write_array(FILE* stream, const output_names* names, const char* type, const char* name, const int* values,
                 size_t count, const char* separator) {
  std::fputs(type, stream);
  std::fputc(' ', stream);
  names_print(names, name, stream);
  std::fputs("[] = {", stream);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) std::fputs(separator, stream);
    std::fprintf(stream, "%d", values[i]);
  }
  std::fputs(count == 0 ? "0};\n\n" : "};\n\n", stream);
}

// The lookup arrays are the runtime's own, private to the parser's file and
// read by no one else, so they are written without spaces: they add a third
// or so to the file, where the tables they replace make up most of it.
void write_lookup_array(FILE* stream, const output_names* names, const char* name, const int* values, size_t count) {
  write_array(stream, names, "static const int", name, values, count, ",");
}

void write_comb(FILE* stream, const output_names* names, const char* const (&name)[3], const lookup_table* table,
                bool with_bases = true) {
  write_lookup_array(stream, names, name[0], table->base, with_bases ? table->states : 0);
  write_lookup_array(stream, names, name[1], table->check, table->length);
  write_lookup_array(stream, names, name[2], table->value, table->length);
}

}  // namespace

void write_c_array(FILE* stream, const output_names* names, const char* name, const int* values, size_t count) {
  write_array(stream, names, "int", name, values, count, ", ");
}

void write_terms(const term* t, const output_names* names, FILE* stream) {
  write_symbol_record("term", t->id, t->name, names, stream);
}

void write_nonterm(const nonterm* n, const output_names* names, FILE* stream) {
  write_symbol_record("nonterm", n->id, n->name, names, stream);
}

bool write_action_tables(const grammar* /* the rows name their terminals */, const solver* s, const output_names* names,
                         FILE* stream, diagnostics* d) {
  action_tables tables{};
  if (!fill_action_tables(s, &tables)) {
    diagnostics_line(d, "Memory allocation failed in write_action_tables.");
    return false;
  }
  size_t state_count = s->states->count;
  size_t j = static_cast<size_t>(tables.pact[state_count]);
  write_c_array(stream, names, "yypact", tables.pact, state_count + 1);
  write_c_array(stream, names, "yycheck", tables.check, j);
  write_c_array(stream, names, "yytable", tables.table, j);
  write_c_array(stream, names, "yyaccept", tables.accept, j);
  release_action_tables(&tables);
  return true;
}

void write_default_rules(const solver* s, const output_names* names, FILE* stream) {
  std::fputs("int ", stream);
  names_print(names, "yydefact", stream);
  std::fputs("[] = {", stream);
  for (size_t k = 0; k < s->states->count; ++k) {
    if (k > 0) std::fputs(", ", stream);
    const rule* r = row_of(s, k)->default_rule;
    if (r != nullptr) {
      std::fprintf(stream, "%zu", static_cast<size_t>(r->id));
    } else {
      std::fputs("-1", stream);
    }
  }
  std::fputs("};\n\n", stream);
}

bool write_the_gotos(const solver* s, const grammar* g, const output_names* names, FILE* stream, diagnostics* d) {
  goto_tables tables{};
  if (!fill_goto_tables(s, &tables)) {
    diagnostics_line(d, "Error: failed to allocate memory for goto tables.");
    return false;
  }
  size_t state_count = s->states->count;
  size_t entries = static_cast<size_t>(tables.gopact[state_count]);
  write_c_array(stream, names, "yygopact", tables.gopact, state_count + 1);
  write_c_array(stream, names, "yygocheck", tables.gocheck, entries);
  write_c_array(stream, names, "yygotable", tables.gotable, entries);
  release_goto_tables(&tables);
  ustring_print(g->user_code, stream);
  return true;
}

bool write_the_rules(const grammar* g, const output_names* names, FILE* stream, diagnostics* d) {
  size_t count = grammar_rule_count(g);
  int* lhs = static_cast<int*>(memory_alloc_zero(count, sizeof(int)));
  int* lengths = static_cast<int*>(memory_alloc_zero(count, sizeof(int)));
  if (lhs == nullptr || lengths == nullptr) {
    memory_release(lhs);
    memory_release(lengths);
    diagnostics_line(d, "Memory allocation failed in write_the_rules.");
    return false;
  }
  size_t position = 0;
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const rules* alternatives = g->nonterms->items[i]->rules;
    for (size_t k = 0; k < alternatives->count; ++k, ++position) {
      lhs[position] = static_cast<int>(alternatives->items[k]->nonterm->id);
      lengths[position] = static_cast<int>(alternatives->items[k]->symbols->count);
    }
  }
  write_c_array(stream, names, "yyr1", lhs, count);
  write_c_array(stream, names, "yyr2", lengths, count);
  memory_release(lhs);
  memory_release(lengths);
  return true;
}

bool write_lookup_tables(const grammar* g, const solver* s, const output_names* names, FILE* stream, diagnostics* d) {
  action_tables actions{};
  goto_tables gotos{};
  lookup_table action_comb{};
  lookup_table goto_comb{};
  size_t nonterms = g->nonterms->count;
  auto* defaults = static_cast<int*>(memory_alloc_zero(nonterms == 0 ? 1 : nonterms, sizeof(int)));
  bool built = defaults != nullptr && fill_action_tables(s, &actions) && fill_goto_tables(s, &gotos);
  size_t states = s->states->count;
  table_rows action_rows{actions.pact, actions.check, actions.table, actions.accept, states};
  table_rows goto_rows{gotos.gopact, gotos.gocheck, gotos.gotable, nullptr, states};
  column_map columns{};
  if (built) columns = lookup_columns(&action_rows, first_token_value);
  bool shared = false;
  built = built && lookup_goto_defaults(&goto_rows, nonterms, defaults) &&
          lookup_tables_build(&action_rows, &columns, &goto_rows, defaults, &action_comb, &goto_comb, &shared);
  if (!built) {
    diagnostics_line(d, "Memory allocation failed in write_lookup_tables.");
  } else {
    int sizes[] = {columns.low_columns, columns.first_high, static_cast<int>(action_comb.length),
                   static_cast<int>(goto_comb.length), shared ? 1 : 0};
    write_lookup_array(stream, names, "yylookup", sizes, 5);
    write_comb(stream, names, {"yyactbase", "yyactcheck", "yyactvalue"}, &action_comb);
    // Shared displacements are written once, as the action comb's.
    write_comb(stream, names, {"yygotobase", "yygotocheck", "yygotovalue"}, &goto_comb, !shared);
    write_lookup_array(stream, names, "yygotodefault", defaults, nonterms);
  }
  memory_release(defaults);
  release_action_tables(&actions);
  release_goto_tables(&gotos);
  lookup_table_release(&action_comb);
  lookup_table_release(&goto_comb);
  return built;
}

bool write_parser(const grammar* g, const solver* s, const parser_options* o, FILE* stream) {
  const output_names* names = &o->names;
  bool complete = write_parser_head(g, o, stream);
  if (!write_action_tables(g, s, names, stream, o->sink)) return false;
  write_default_rules(s, names, stream);
  complete = write_the_gotos(s, g, names, stream, o->sink) && complete;
  complete = write_the_rules(g, names, stream, o->sink) && complete;
  complete = write_lookup_tables(g, s, names, stream, o->sink) && complete;
  names_print_code(names, reinterpret_cast<const char*>(parser_code), parser_code_len, stream);
  return finish_output(stream, o->sink) && complete;
}
