// Feeds arbitrary token streams to a parser generated at build time from
// runtime/nesting.y: every stream must be accepted or rejected with a
// message, whatever its depth, without a crash or a leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include "grammar.tab.h"
extern YYSTYPE yylval;
int yyparse(void);
int yylex(void);
char* yytext;
}

namespace {

// The tokens of the grammar, plus a few it never expects.
constexpr int known_tokens[] = {NUMBER, NAME, '+', '-', '*', '(', ')', ';', '{', '}', '=', 'x', -1, 0x10ffff};
constexpr size_t known_count = sizeof known_tokens / sizeof known_tokens[0];
constexpr uint8_t raw_token = 0xff;  // the next four bytes are the token itself

const uint8_t* cursor = nullptr;
const uint8_t* stop = nullptr;
char token_text[16];

// A token chosen by the next byte, or taken raw from the next four.
int next_token() {
  uint8_t byte = *cursor++;
  if (byte == raw_token && stop - cursor >= 4) {
    int32_t raw;
    std::memcpy(&raw, cursor, sizeof raw);
    cursor += sizeof raw;
    return raw;
  }
  return known_tokens[byte % known_count];
}

}  // namespace

// The scanner: the fuzzer's bytes as tokens, 0 once they are used up.
int yylex(void) {
  int token = cursor < stop ? next_token() : 0;
  std::snprintf(token_text, sizeof token_text, "%d", token);
  yytext = token_text;
  yylval.number = static_cast<unsigned>(token);
  return token;
}

// The runtime's messages go to standard output, pointed at the null device once.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cursor = data;
  stop = data + size;
  int result = yyparse();
  if (result != 0 && result != -1) std::abort();
  return 0;
}
