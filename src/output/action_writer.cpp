#include "output/action_writer.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "grammar/action_scan.h"
#include "grammar/nonterm.h"
#include "text/ustring.h"

namespace {

constexpr size_t reference_buffer_size = 64;  // ample for two numbers and the fixed text

// "$$": the value of the left-hand side, under its tag (even an empty one).
bool append_result_reference(const rule* r, ustring* text) {
  return ustring_append_cstr(text, "yyval.") && ustring_append(text, action_reference_tag(r, 0));
}

// "$d" for a symbol of the right-hand side: its slot in the value stack,
// counted back from the top, then its tag or ".?" when it has none.
bool append_value_reference(const rule* r, unsigned d, ustring* text) {
  char reference[reference_buffer_size];
  size_t n = r->symbols->count;
  const ustring* tag = action_reference_tag(r, d);
  if (tag == nullptr) {
    std::snprintf(reference, sizeof reference, "/* INVALID $%u */", d);
    return ustring_append_cstr(text, reference);
  }
  std::snprintf(reference, sizeof reference, "yyvs[yysp + (%u - %zu - 1)]", d, n);
  if (!ustring_append_cstr(text, reference)) return false;
  if (ustring_is_empty(tag)) return ustring_append_cstr(text, ".?");
  return ustring_push(text, '.') && ustring_append(text, tag);
}

// The whole action text with every value reference rewritten; comments and
// literals are copied as they are.
bool rewrite_action(const rule* r, ustring* text) {
  action_scan scan = action_scan_over(r->action, r->action_at);
  action_piece piece;
  while (action_scan_next(&scan, &piece)) {
    bool appended = piece.kind == action_piece_kind::text     ? ustring_append_bytes(text, piece.bytes, piece.size)
                    : piece.kind == action_piece_kind::result ? append_result_reference(r, text)
                                                              : append_value_reference(r, piece.number, text);
    if (!appended) return false;
  }
  return true;
}

// r's action with every value reference rewritten; null when memory runs out.
ustring* rewritten_action(const rule* r) {
  ustring* text = ustring_new();
  bool rewritten = text != nullptr && rewrite_action(r, text);
  if (rewritten) return text;
  ustring_free(text);
  return nullptr;
}

// Which of yyaction's stack parameters the actions written so far read.
struct stack_use {
  bool top;     // yysp
  bool values;  // yyvs
};

// True when text holds name as a whole identifier.
bool mentions(const ustring* text, const char* name) {
  size_t length = std::strlen(name);
  auto is_name_part = [](unsigned char c) { return std::isalnum(c) != 0 || c == '_'; };
  for (size_t i = 0; i + length <= text->size; ++i) {
    if (std::memcmp(text->data + i, name, length) != 0) continue;
    bool starts = i == 0 || !is_name_part(text->data[i - 1]);
    bool ends = i + length == text->size || !is_name_part(text->data[i + length]);
    if (starts && ends) return true;
  }
  return false;
}

// Writes a #line directive; a file name is quoted as a C string.
void write_line_mark(size_t line, const char* file, FILE* stream) {
  std::fprintf(stream, "#line %zu \"", line);
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(file); *c != '\0'; ++c) {
    if (*c == '"' || *c == '\\') {
      std::fprintf(stream, "\\%c", *c);
    } else if (*c < ' ' || *c == 0x7f) {
      std::fprintf(stream, "\\%03o", *c);
    } else {
      std::fputc(*c, stream);
    }
  }
  std::fputs("\"\n", stream);
}

// One case's action, between #line directives when marks is not null; false,
// writing no action, when memory runs out.
bool write_case_body(const rule* r, const line_marks* marks, stack_use* used, FILE* stream) {
  if (ustring_is_empty(r->action)) return true;  // nothing to rewrite
  ustring* text = rewritten_action(r);
  if (text == nullptr) return false;
  used->top = used->top || mentions(text, "yysp");
  used->values = used->values || mentions(text, "yyvs");
  bool marked = marks != nullptr && r->action_at.line != 0;
  if (marked) write_line_mark(r->action_at.line, marks->grammar_file, stream);
  ustring_print(text, stream);
  if (marked) {
    std::fputc('\n', stream);
    write_line_mark(line_counter_next_line(marks->output) + 1, marks->output_file, stream);
  }
  ustring_free(text);
  return true;
}

}  // namespace

bool write_rule_action(const rule* r, FILE* stream) {
  if (ustring_is_empty(r->action)) return true;  // nothing to rewrite
  ustring* text = rewritten_action(r);
  if (text != nullptr) ustring_print(text, stream);
  ustring_free(text);
  return text != nullptr;
}

bool write_actions(const grammar* g, const output_names* names, const line_marks* marks, FILE* stream) {
  names_print_code(names,
      "int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs)\n"
      "{\n"
      "    YYSTYPE yyval;\n"
      "    memset(&yyval, 0, sizeof(yyval));\n"
      "    switch (yystate) {\n",
      stream);
  bool all_written = true;
  stack_use used{};
  for (size_t i = 0; i < g->nonterms->count; ++i) {
    const rules* alternatives = g->nonterms->items[i]->rules;
    for (size_t k = 0; k < alternatives->count; ++k) {
      const rule* r = alternatives->items[k];
      if (r->action == nullptr) continue;
      std::fprintf(stream, "        case %zu:\n", static_cast<size_t>(r->id));
      if (!write_case_body(r, marks, &used, stream)) all_written = false;
      std::fputs("            break;\n", stream);
    }
  }
  std::fputs(
      "        default:\n"
      "            break;\n"
      "    }\n",
      stream);
  // Parameters no action reads would draw a warning.
  if (!used.top) std::fputs("    (void)yysp;\n", stream);
  if (!used.values) std::fputs("    (void)yyvs;\n", stream);
  std::fputs(
      "    *result = yyval;\n"
      "    return 0;\n"
      "}\n",
      stream);
  return all_written;
}
