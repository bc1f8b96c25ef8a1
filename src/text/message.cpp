#include "text/message.h"

#include <cstring>

namespace {

// Writes c as UTF-8 bytes, or a phrase when c is no valid code point.
void write_char(codepoint c, reader* r) {
  bool valid = c <= last_code_point && !(c >= 0xD800 && c <= 0xDFFF);  // surrogates never come from a reader
  if (!valid) {
    bool exhausted = r == nullptr || (c == no_character && at_end(r));
    std::fputs(exhausted ? "end of input" : "invalid UTF-8", stderr);
    return;
  }
  unsigned char bytes[4];
  size_t n = utf8_encode(c, bytes);
  std::fwrite(bytes, 1, n, stderr);
}

}  // namespace

void message_with_char(const char* format, codepoint c, reader* r) {
  const char* mark = std::strstr(format, "%c");
  if (mark == nullptr) {
    std::fputs(format, stderr);
    return;
  }
  std::fwrite(format, 1, static_cast<size_t>(mark - format), stderr);
  write_char(c, r);
  std::fputs(mark + 2, stderr);
}
