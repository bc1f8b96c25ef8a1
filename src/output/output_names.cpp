#include "output/output_names.h"

#include <cctype>
#include <cstring>

namespace {

// Every name of a generated parser's source or token header that another
// file of a program may see, in its default spelling, and the runtime's
// private lookup arrays, spelt alike. The names of the symbol records, which
// have no "yy", are spelt by their writers.
constexpr const char* external_names[] = {
    "yyparse", "yylex",    "yylval",   "yytext",   "yyerror",  "yyerrstatus", "yyaction",
    "YYSTYPE", "yytokentype", "yypact", "yycheck", "yytable", "yyaccept",    "yydefact",
    "yygopact", "yygocheck", "yygotable", "yyr1",   "yyr2",     "yylookup",    "yyactbase",
    "yyactcheck", "yyactvalue", "yygotobase", "yygotocheck", "yygotovalue",
    "yygotodefault",
};

bool is_name_start(unsigned char c) { return std::isalpha(c) != 0 || c == '_'; }
bool is_name_part(unsigned char c) { return std::isalnum(c) != 0 || c == '_'; }

bool is_external(const char* word, size_t length) {
  for (const char* name : external_names) {
    if (std::strlen(name) == length && std::memcmp(name, word, length) == 0) return true;
  }
  return false;
}

void print_prefix(const char* prefix, bool upper, FILE* stream) {
  for (const char* c = prefix; *c != '\0'; ++c) {
    std::fputc(upper ? std::toupper(static_cast<unsigned char>(*c)) : *c, stream);
  }
}

// Writes a name of length bytes, not NUL-terminated, spelt under prefix.
void print_spelt(const char* prefix, const char* name, size_t length, FILE* stream) {
  if (length >= 2 && (std::memcmp(name, "yy", 2) == 0 || std::memcmp(name, "YY", 2) == 0)) {
    print_prefix(prefix, name[0] == 'Y', stream);
    std::fwrite(name + 2, 1, length - 2, stream);
  } else {
    print_prefix(prefix, false, stream);
    std::fwrite(name, 1, length, stream);
  }
}

}  // namespace

bool names_prefix_is_valid(const char* text) {
  if (!is_name_start(static_cast<unsigned char>(text[0]))) return false;
  for (const char* c = text; *c != '\0'; ++c) {
    if (!is_name_part(static_cast<unsigned char>(*c))) return false;
  }
  return true;
}

void names_print(const output_names* names, const char* name, FILE* stream) {
  if (names->prefix == nullptr) {
    std::fputs(name, stream);
  } else {
    print_spelt(names->prefix, name, std::strlen(name), stream);
  }
}

void names_print_code(const output_names* names, const char* code, size_t size, FILE* stream) {
  if (names->prefix == nullptr) {
    std::fwrite(code, 1, size, stream);
    return;
  }
  size_t i = 0;
  while (i < size) {
    size_t start = i;
    if (!is_name_part(static_cast<unsigned char>(code[i]))) {
      while (i < size && !is_name_part(static_cast<unsigned char>(code[i]))) ++i;
      std::fwrite(code + start, 1, i - start, stream);
      continue;
    }
    while (i < size && is_name_part(static_cast<unsigned char>(code[i]))) ++i;
    if (is_external(code + start, i - start)) {
      print_spelt(names->prefix, code + start, i - start, stream);
    } else {
      std::fwrite(code + start, 1, i - start, stream);
    }
  }
}

void names_print_code(const output_names* names, const char* code, FILE* stream) {
  names_print_code(names, code, std::strlen(code), stream);
}
