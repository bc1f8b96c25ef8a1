#include "text/ustring.h"

#include <cstring>

#include "text/growable.h"
#include "text/memory.h"

namespace {

// Room for needed bytes, grown from start; past half the address space it
// becomes SIZE_MAX, so the allocation fails instead of wrapping.
size_t capacity_for(size_t start, size_t needed) { return grown_capacity(start, 16, needed, SIZE_MAX); }

// Makes room for extra more bytes; false (string unchanged) when the total
// does not fit in a size or the buffer cannot be resized.
bool grow_by(ustring* s, size_t extra) {
  if (extra > SIZE_MAX - s->size) return false;
  size_t needed = s->size + extra;
  if (needed <= s->capacity) return true;
  size_t capacity = capacity_for(s->capacity, needed);
  void* data = memory_resize(s->data, capacity);
  if (data == nullptr) return false;
  s->data = static_cast<unsigned char*>(data);
  s->capacity = capacity;
  return true;
}

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the sequence at p with remaining bytes left, storing its length;
// no_character for a continuation byte, an invalid lead or a cut-off sequence.
codepoint decode_at(const unsigned char* p, size_t remaining, size_t* length) {
  unsigned char lead = p[0];
  if (lead < 0x80) {
    *length = 1;
    return lead;
  }
  if (remaining >= 2 && (lead & 0xE0) == 0xC0) {
    *length = 2;
    return (codepoint(lead & 0x1F) << 6) | (p[1] & 0x3F);
  }
  if (remaining >= 3 && (lead & 0xF0) == 0xE0) {
    *length = 3;
    return (codepoint(lead & 0x0F) << 12) | (codepoint(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
  }
  if (remaining >= 4 && (lead & 0xF8) == 0xF0) {
    *length = 4;
    return (codepoint(lead & 0x07) << 18) | (codepoint(p[1] & 0x3F) << 12) |
           (codepoint(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
  }
  return no_character;
}

}  // namespace

size_t utf8_encode(codepoint cp, unsigned char bytes[4]) {
  if (cp <= 0x7F) {
    bytes[0] = static_cast<unsigned char>(cp);
    return 1;
  }
  if (cp <= 0x7FF) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp <= 0xFFFF) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 3;
  }
  if (cp <= last_code_point) {
    bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
  }
  return 0;
}

ustring* ustring_new() { return memory_new_record<ustring>(); }

ustring* ustring_new_move(ustring* source) {
  if (source == nullptr) return nullptr;
  ustring* s = memory_new_record<ustring>();
  if (s == nullptr) return nullptr;
  *s = *source;
  *source = ustring{};
  return s;
}

void ustring_free(ustring* s) {
  if (s == nullptr) return;
  memory_release(s->data);
  memory_release(s);
}

void ustring_clear(ustring* s) {
  if (s != nullptr) s->size = 0;
}

bool ustring_reserve(ustring* s, size_t n) {
  if (s == nullptr) return false;
  if (n <= s->capacity) return true;
  return grow_by(s, n - s->size);
}

bool ustring_push(ustring* s, codepoint cp) {
  unsigned char bytes[4];
  size_t count = utf8_encode(cp, bytes);
  if (count == 0 || s == nullptr || !grow_by(s, count)) return false;
  std::memcpy(s->data + s->size, bytes, count);
  s->size += count;
  return true;
}

bool ustring_append(ustring* destination, const ustring* source) {
  if (destination == nullptr || source == nullptr) return false;
  return ustring_append_bytes(destination, source->data, source->size);
}

bool ustring_append_bytes(ustring* s, const unsigned char* bytes, size_t size) {
  if (s == nullptr) return false;
  if (size == 0) return true;
  // When bytes lie within s itself, growing may move them: keep their offset.
  bool inside = s->data != nullptr && bytes >= s->data && bytes < s->data + s->size;
  size_t offset = inside ? static_cast<size_t>(bytes - s->data) : 0;
  if (!grow_by(s, size)) return false;
  if (inside) bytes = s->data + offset;
  std::memcpy(s->data + s->size, bytes, size);
  s->size += size;
  return true;
}

bool ustring_append_cstr(ustring* s, const char* text) {
  if (s == nullptr || text == nullptr) return false;
  if (!grow_by(s, std::strlen(text))) return false;
  for (const char* p = text; *p != '\0'; ++p) {
    if (!ustring_push(s, static_cast<unsigned char>(*p))) return false;
  }
  return true;
}

bool ustring_pad_right(ustring* s, size_t width) {
  if (s == nullptr) return false;
  for (size_t count = ustring_length(s); count < width; ++count) {
    if (!ustring_push(s, ' ')) return false;
  }
  return true;
}

size_t ustring_length(const ustring* s) {
  if (s == nullptr || s->data == nullptr) return 0;
  size_t count = 0;
  for (size_t i = 0; i < s->size; ++i) {
    if (!is_continuation(s->data[i])) ++count;
  }
  return count;
}

bool ustring_is_empty(const ustring* s) { return s == nullptr || s->size == 0; }

codepoint ustring_at(const ustring* s, size_t n) {
  if (s == nullptr || s->data == nullptr) return no_character;
  size_t position = 0;
  for (size_t index = 0; position < s->size; ++index) {
    size_t length = 0;
    codepoint cp = decode_at(s->data + position, s->size - position, &length);
    if (cp == no_character || index == n) return cp;
    position += length;
  }
  return no_character;
}

void ustring_move(ustring* destination, ustring* source) {
  if (destination == source) return;  // moving a string onto itself must not free its own buffer
  memory_release(destination->data);
  *destination = *source;
  *source = ustring{};
}

ustring* ustring_copy(const ustring* s) {
  if (s == nullptr) return nullptr;
  ustring* copy = ustring_new();
  if (copy == nullptr || s->size == 0) return copy;
  size_t capacity = capacity_for(0, s->size);
  copy->data = static_cast<unsigned char*>(memory_alloc(capacity));
  if (copy->data == nullptr) {
    ustring_free(copy);
    return nullptr;
  }
  std::memcpy(copy->data, s->data, s->size);
  copy->capacity = capacity;
  copy->size = s->size;
  return copy;
}

unsigned char* ustring_copy_bytes(const ustring* s, size_t* out_size) {
  if (s == nullptr || s->data == nullptr || out_size == nullptr || s->size == 0) return nullptr;
  auto* bytes = static_cast<unsigned char*>(memory_alloc(s->size));
  if (bytes == nullptr) return nullptr;
  std::memcpy(bytes, s->data, s->size);
  *out_size = s->size;
  return bytes;
}

int ustring_compare(const ustring* s, const char* keyword) {
  size_t length = std::strlen(keyword);
  size_t common = s->size < length ? s->size : length;
  if (common > 0) {
    int order = std::memcmp(s->data, keyword, common);
    if (order != 0) return order;
  }
  if (s->size < length) return -1;
  return s->size > length ? 1 : 0;
}

bool ustring_equal(const ustring* a, const ustring* b) {
  if (a == nullptr || b == nullptr || a->size != b->size) return false;
  return a->size == 0 || std::memcmp(a->data, b->data, a->size) == 0;
}

uint64_t ustring_hash(const ustring* s) {
  uint64_t hash = 0xcbf29ce484222325u;  // 64-bit FNV-1a
  for (size_t i = 0; s != nullptr && i < s->size; ++i) hash = (hash ^ s->data[i]) * 0x100000001b3u;
  return hash;
}

size_t ustring_print(const ustring* s, FILE* stream) {
  if (s == nullptr || s->data == nullptr || s->size == 0) return 0;
  return std::fwrite(s->data, 1, s->size, stream);
}
