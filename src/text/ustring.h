#ifndef VELLMARK_TEXT_USTRING_H
#define VELLMARK_TEXT_USTRING_H

#include <cstdint>
#include <cstdio>

// A Unicode code point; no_character stands for "no valid character here".
using codepoint = uint32_t;
constexpr codepoint no_character = UINT32_MAX;
constexpr codepoint last_code_point = 0x10FFFF;

// Writes the UTF-8 encoding of cp into bytes; returns its length, 0 for cp above U+10FFFF.
size_t utf8_encode(codepoint cp, unsigned char bytes[4]);

// Growable UTF-8 text: not NUL-terminated, data is null until the first byte.
struct ustring {
  unsigned char* data;
  size_t capacity;
  size_t size;
};

// A new empty string owning no buffer; null on allocation failure.
ustring* ustring_new();

// A new string that takes over source's buffer, leaving source empty; null (source untouched) on failure.
ustring* ustring_new_move(ustring* source);

// Releases the buffer and the record; accepts null.
void ustring_free(ustring* s);

// Empties the string and keeps its buffer; accepts null.
void ustring_clear(ustring* s);

// Ensures capacity >= n by the growth rule; false (string unchanged) when the buffer cannot grow.
bool ustring_reserve(ustring* s, size_t n);

// Appends the UTF-8 encoding of cp; false (string unchanged) for cp above U+10FFFF or when memory runs out.
bool ustring_push(ustring* s, codepoint cp);

// Appends source's bytes to destination (itself allowed); false when either is null or memory runs out.
bool ustring_append(ustring* destination, const ustring* source);

// Appends size bytes of UTF-8 text as they are; false when s is null or memory runs out.
bool ustring_append_bytes(ustring* s, const unsigned char* bytes, size_t size);

// Appends each byte of text as the code point of that value; false at the first failed push (earlier bytes stay).
bool ustring_append_cstr(ustring* s, const char* text);

// Appends blanks until the string is width code points long; false when s is null or memory runs out.
bool ustring_pad_right(ustring* s, size_t width);

// Number of code points; 0 for null or empty.
size_t ustring_length(const ustring* s);

// True iff the string holds no bytes.
bool ustring_is_empty(const ustring* s);

// The n-th code point counting from 0; no_character when there is none.
codepoint ustring_at(const ustring* s, size_t n);

// Gives destination source's buffer, releasing destination's own, and leaves source empty.
void ustring_move(ustring* destination, ustring* source);

// A new string with its own copy of s's bytes; null when s is null or memory runs out.
ustring* ustring_copy(const ustring* s);

// A new exact-size heap copy of the bytes (caller releases it), size stored in out_size; null for empty text or on failure.
unsigned char* ustring_copy_bytes(const ustring* s, size_t* out_size);

// Byte-wise three-way comparison with a NUL-terminated keyword, a proper prefix first.
int ustring_compare(const ustring* s, const char* keyword);

// True iff both are non-null and hold the same bytes.
bool ustring_equal(const ustring* a, const ustring* b);

// A hash of the bytes: equal strings hash alike; 0 bytes and null hash alike.
uint64_t ustring_hash(const ustring* s);

// Writes the bytes unchanged to stream; returns the number written, 0 when there is nothing.
size_t ustring_print(const ustring* s, FILE* stream);

#endif
