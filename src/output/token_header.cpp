#include "output/token_header.h"

#include <cstdio>

namespace {

constexpr size_t enumerator_width = 10;
constexpr uint32_t first_listed_value = 256;  // smaller tokens are returned as their character

bool is_listed(const term* t) { return static_cast<uint32_t>(t->value) >= first_listed_value; }

bool has_enumerators(const grammar* g) {
  for (size_t i = 0; i < g->terms->count; ++i)
    if (is_listed(g->terms->items[i])) return true;
  return false;
}

// One "NAME       = value," line per terminal the scanner cannot return as a plain character.
bool write_enumerators(const grammar* g, FILE* stream) {
  ustring* name = ustring_new();
  if (name == nullptr) return false;
  bool written = true;
  for (size_t i = 0; i < g->terms->count && written; ++i) {
    const term* t = g->terms->items[i];
    if (!is_listed(t)) continue;
    ustring_clear(name);
    written = ustring_append(name, t->name) && ustring_pad_right(name, enumerator_width);
    if (written) {
      ustring_print(name, stream);
      std::fprintf(stream, " = %d,\n", t->value);
    }
  }
  ustring_free(name);
  return written;
}

// The token enumeration; left out when it would have no members, which C rejects.
bool write_enumeration(const grammar* g, const output_names* names, FILE* stream) {
  if (!has_enumerators(g)) return true;
  names_print_code(names, "enum yytokentype {\n", stream);
  if (!write_enumerators(g, stream)) return false;
  std::fputs("};\n\n", stream);
  return true;
}

}  // namespace

bool write_token_header(const grammar* g, const output_names* names, FILE* stream) {
  std::fputs("#ifndef ", stream);
  names_print(names, "tab_h", stream);
  std::fputs("\n#define ", stream);
  names_print(names, "tab_h", stream);
  std::fputs("\n\n", stream);
  if (!write_enumeration(g, names, stream)) return false;
  names_print_code(names, "typedef union YYSTYPE ", stream);
  ustring_print(g->union_body, stream);
  names_print_code(names,
                   " YYSTYPE;\n\n"
                   "void yyerror(const char *message);\n\n"
                   "extern YYSTYPE yylval;\n\n"
                   "extern char *yytext;\n\n"
                   "int yyparse(void);\n\n"
                   "#endif\n",
                   stream);
  return true;
}

output_file* write_token_definitions(const grammar* g, const output_names* names, const char* name,
                                     diagnostics* d) {
  output_file* header = output_file_open(name);
  if (header == nullptr) {
    diagnostics_line(d, "Unable to open %s for writing.", name);
    return nullptr;
  }
  bool written = write_token_header(g, names, header->stream);
  if (written && (std::fflush(header->stream) != 0 || std::ferror(header->stream) != 0)) {
    diagnostics_line(d, "Error: Unable to write %s.", name);
    written = false;
  }
  if (written) return header;
  output_file_discard(header);
  return nullptr;
}
