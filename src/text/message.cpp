#include "text/message.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t message_size = 256;  // longer than every message that quotes a character

bool is_control(codepoint c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Characters that reorder or break the text around them on a terminal.
bool is_layout_control(codepoint c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

// The short escape of a control character, or null when it has none.
const char* short_escape(codepoint c) {
  switch (c) {
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\v': return "\\v";
    case '\f': return "\\f";
    case '\r': return "\\r";
    default: return nullptr;
  }
}

void write_escaped(codepoint c, char out[message_char_size]) {
  if (const char* text = short_escape(c)) {
    std::snprintf(out, message_char_size, "%s", text);
  } else if (c < 0x80) {
    std::snprintf(out, message_char_size, "\\x%02X", static_cast<unsigned>(c));
  } else {
    std::snprintf(out, message_char_size, "\\u%04X", static_cast<unsigned>(c));
  }
}

}  // namespace

void message_quote_char(codepoint c, reader* r, char out[message_char_size]) {
  bool valid = c <= last_code_point && !(c >= 0xD800 && c <= 0xDFFF);  // surrogates never come from a reader
  if (!valid) {
    bool exhausted = r == nullptr || (c == no_character && at_end(r));
    std::snprintf(out, message_char_size, "%s", exhausted ? "end of input" : "invalid UTF-8");
    return;
  }
  if (is_control(c) || is_layout_control(c)) {
    write_escaped(c, out);
    return;
  }
  unsigned char bytes[4];
  size_t n = utf8_encode(c, bytes);
  std::memcpy(out, bytes, n);
  out[n] = '\0';
}

void message_with_char(const char* format, codepoint c, reader* r) {
  char quoted[message_char_size];
  message_quote_char(c, r, quoted);
  char text[message_size];
  const char* mark = std::strstr(format, "%c");
  if (mark == nullptr) {
    std::snprintf(text, sizeof text, "%s", format);
  } else {
    std::snprintf(text, sizeof text, "%.*s%s%s", static_cast<int>(mark - format), format, quoted, mark + 2);
  }
  if (r == nullptr) {
    diagnostics_read_failure(nullptr, source_position{}, text);
  } else {
    reader_report(r, text);
  }
}
