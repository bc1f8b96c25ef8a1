#include "output/action_writer.h"

#include <cstdio>

#include "grammar/nonterm.h"
#include "grammar/symbol.h"
#include "grammar/term.h"
#include "text/reader.h"
#include "text/ustring.h"

namespace {

constexpr size_t reference_buffer_size = 64;  // ample for two numbers and the fixed text

// The tag of a right-hand-side symbol's value; empty when it has none.
const ustring* symbol_tag(symbol s) {
  if (s.term != nullptr) return s.term->type;
  if (s.nonterm != nullptr) return s.nonterm->type;
  return nullptr;
}

// "$$": the value of the left-hand side, under its tag (even an empty one).
bool append_result_reference(const rule* r, ustring* text) {
  return ustring_append_cstr(text, "yyval.") && ustring_append(text, r->nonterm->type);
}

// "$d" for a symbol of the right-hand side: its slot in the value stack,
// counted back from the top, then its tag or ".?" when it has none.
bool append_value_reference(const rule* r, unsigned d, ustring* text) {
  char reference[reference_buffer_size];
  size_t n = r->symbols->count;
  if (d > n) {
    std::snprintf(reference, sizeof reference, "/* INVALID $%u */", d);
    return ustring_append_cstr(text, reference);
  }
  std::snprintf(reference, sizeof reference, "yyvs[yysp + (%u - %zu - 1)]", d, n);
  if (!ustring_append_cstr(text, reference)) return false;
  const ustring* tag = symbol_tag(r->symbols->items[d - 1]);
  if (tag == nullptr || ustring_is_empty(tag)) return ustring_append_cstr(text, ".?");
  return ustring_push(text, '.') && ustring_append(text, tag);
}

// Handles the characters after one '$' (already consumed).
bool rewrite_dollar(const rule* r, reader* in, ustring* text) {
  if (at_end(in)) return ustring_push(text, '$');
  codepoint next = read_next(in);
  if (next == '$') return append_result_reference(r, text);
  if (next >= '1' && next <= '9') return append_value_reference(r, next - '0', text);
  return ustring_push(text, '$') && ustring_push(text, next);
}

// The whole action text with every value reference rewritten.
bool rewrite_action(const rule* r, reader* in, ustring* text) {
  while (!at_end(in)) {
    codepoint c = read_next(in);
    bool appended = c == '$' ? rewrite_dollar(r, in, text) : ustring_push(text, c);
    if (!appended) return false;
  }
  return true;
}

}  // namespace

bool write_rule_action(const rule* r, FILE* stream) {
  if (ustring_is_empty(r->action)) return true;  // nothing to rewrite
  reader* in = reader_new_string(r->action);
  ustring* text = ustring_new();
  bool rewritten = in != nullptr && text != nullptr && rewrite_action(r, in, text);
  if (rewritten) ustring_print(text, stream);
  ustring_free(text);
  reader_free(in);
  return rewritten;
}

bool write_actions(const grammar* g, const output_names* names, FILE* stream) {
  names_print_code(names, 
      "int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs)\n"
      "{\n"
      "    YYSTYPE yyval;\n"
      "    memset(&yyval, 0, sizeof(yyval));\n"
      "    switch (yystate) {\n",
      stream);
  bool all_written = true;
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const rules* alternatives = g->nonterms->items[i]->rules;
    for (size_t k = 0; k < alternatives->count; ++k) {
      const rule* r = alternatives->items[k];
      if (r->action == nullptr) continue;
      std::fprintf(stream, "        case %zu:\n", static_cast<size_t>(r->id));
      if (!write_rule_action(r, stream)) all_written = false;
      std::fputs("            break;\n", stream);
    }
  }
  std::fputs(
      "        default:\n"
      "            break;\n"
      "    }\n"
      "    *result = yyval;\n"
      "    return 0;\n"
      "}\n",
      stream);
  return all_written;
}
