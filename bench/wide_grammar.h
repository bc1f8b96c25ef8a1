#ifndef VELLMARK_BENCH_WIDE_GRAMMAR_H
#define VELLMARK_BENCH_WIDE_GRAMMAR_H

#include <cstdio>

// The wide synthetic grammar that the benchmarks share: many terminals, so
// that whatever scales with the number of terminals per state shows.

inline constexpr int wide_keywords = 400;
inline constexpr int wide_levels = 16;
inline constexpr int wide_operators = 6;  // binary operators per level

// Writes a grammar of 512 named terminals: keywords first, then IDENTIFIER,
// then the punctuation, so that lookups that scan a state's entries in
// declaration order go far. Every keyword starts a statement, the even ones
// two; expressions have 16 levels of 6 binary operators each.
inline bool write_wide_grammar(const char* path) {
  FILE* out = std::fopen(path, "w");
  if (out == nullptr) return false;
  for (int i = 0; i < wide_keywords; ++i) std::fprintf(out, "%sK%03d", i % 16 == 0 ? "\n%token " : " ", i);
  std::fputs("\n%token IDENTIFIER NUMBER STRING\n", out);
  std::fputs("%token SEMI COMMA LPAREN RPAREN LBRACE RBRACE LBRACKET RBRACKET DOT ASSIGN NOT TILDE INC\n", out);
  for (int level = 0; level < wide_levels; ++level) {
    std::fputs("%token", out);
    for (int k = 0; k < wide_operators; ++k) std::fprintf(out, " OP%d_%d", level, k);
    std::fputs("\n", out);
  }
  std::fputs("%%\nprogram : stmt_list { } ;\n"
             "stmt_list : stmt { } | stmt_list stmt { } ;\n"
             "block : LBRACE RBRACE { } | LBRACE stmt_list RBRACE { } ;\n"
             "stmt : expr SEMI { } | block { } | SEMI { }\n",
             out);
  static const char* const forms[] = {" expr SEMI", " IDENTIFIER ASSIGN expr SEMI", " LPAREN expr RPAREN stmt",
                                      " block"};
  for (int i = 0; i < wide_keywords; ++i) {
    std::fprintf(out, "    | K%03d%s { }\n", i, forms[i % 4]);
    if (i % 2 == 0) std::fprintf(out, "    | K%03d IDENTIFIER block { }\n", i);
  }
  std::fputs("    ;\nexpr : e0 { } ;\n", out);
  for (int level = 0; level < wide_levels; ++level) {
    std::fprintf(out, "e%d : e%d { }\n", level, level + 1);
    for (int k = 0; k < wide_operators; ++k) std::fprintf(out, "    | e%d OP%d_%d e%d { }\n", level, level, k, level + 1);
    std::fputs("    ;\n", out);
  }
  std::fprintf(out,
               "e%d : postfix { } | NOT e%d { } | TILDE e%d { } | INC e%d { } ;\n"
               "postfix : primary { } | postfix LPAREN RPAREN { } | postfix LPAREN args RPAREN { }\n"
               "    | postfix LBRACKET expr RBRACKET { } | postfix DOT IDENTIFIER { } ;\n"
               "primary : IDENTIFIER { } | NUMBER { } | STRING { } | LPAREN expr RPAREN { } ;\n"
               "args : expr { } | args COMMA expr { } ;\n",
               wide_levels, wide_levels, wide_levels, wide_levels);
  return std::fclose(out) == 0;
}

#endif
