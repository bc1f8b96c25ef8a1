#ifndef VELLMARK_TESTS_LEX_SUPPORT_H
#define VELLMARK_TESTS_LEX_SUPPORT_H

#include <cstring>
#include <string>

#include "text/reader.h"
#include "text/ustring.h"

// A string holding exactly these bytes, malformed UTF-8 included; empty or null when memory runs out.
inline ustring* make_text(const std::string& bytes) {
  ustring* s = ustring_new();
  if (s != nullptr && !bytes.empty() && ustring_reserve(s, bytes.size())) {
    std::memcpy(s->data, bytes.data(), bytes.size());
    s->size = bytes.size();
  }
  return s;
}

inline std::string str(const ustring* s) {
  if (s == nullptr) return "<null>";
  return s->size == 0 ? "" : std::string(reinterpret_cast<const char*>(s->data), s->size);
}

// A string reader over the given bytes, owning the text it was made from.
struct text_reader {
  ustring* text;
  reader* r;
  explicit text_reader(const std::string& bytes) : text(make_text(bytes)), r(reader_new_string(text)) {}
  ~text_reader() {
    reader_free(r);
    ustring_free(text);
  }
};

#endif
