#ifndef VELLMARK_LR_LOOKAHEAD_SET_H
#define VELLMARK_LR_LOOKAHEAD_SET_H

#include <cstddef>
#include <cstdint>

// A set of lookahead symbols as a fixed-width row of bits. Bit k stands for
// the k-th terminal in ascending record address order, and the bit after the
// last terminal for the end marker, so ascending bits follow symbol order.
using lookahead_word = uint64_t;

constexpr size_t lookahead_word_bits = 64;

// Words needed for a row of bits bits (at least one).
constexpr size_t lookahead_words_for(size_t bits) {
  return bits == 0 ? 1 : (bits + lookahead_word_bits - 1) / lookahead_word_bits;
}

// Adds member bit to set.
inline void lookahead_set_add(lookahead_word* set, size_t bit) {
  set[bit / lookahead_word_bits] |= lookahead_word{1} << (bit % lookahead_word_bits);
}

// True when bit is a member of set.
inline bool lookahead_set_has(const lookahead_word* set, size_t bit) {
  return (set[bit / lookahead_word_bits] >> (bit % lookahead_word_bits)) & 1u;
}

// Adds every member of source to set (they may be the same row); true when set gained a member.
inline bool lookahead_set_union(lookahead_word* set, const lookahead_word* source, size_t words) {
  lookahead_word gained = 0;
  for (size_t w = 0; w < words; ++w) {
    lookahead_word before = set[w];
    set[w] = before | source[w];
    gained |= set[w] ^ before;
  }
  return gained != 0;
}

// True when set has no member.
inline bool lookahead_set_is_empty(const lookahead_word* set, size_t words) {
  for (size_t w = 0; w < words; ++w) {
    if (set[w] != 0) return false;
  }
  return true;
}

// The number of members of set.
inline size_t lookahead_set_count(const lookahead_word* set, size_t words) {
  size_t members = 0;
  for (size_t w = 0; w < words; ++w) members += static_cast<size_t>(__builtin_popcountll(set[w]));
  return members;
}

// The greatest member below limit (pass words * 64 to start); SIZE_MAX when there is none.
inline size_t lookahead_set_previous(const lookahead_word* set, size_t limit) {
  while (limit > 0) {
    size_t w = (limit - 1) / lookahead_word_bits;
    size_t used = limit - w * lookahead_word_bits;  // bits of word w below limit, 1..64
    lookahead_word bits = set[w];
    if (used < lookahead_word_bits) bits &= (lookahead_word{1} << used) - 1;
    if (bits != 0) return w * lookahead_word_bits + (lookahead_word_bits - 1 - __builtin_clzll(bits));
    limit = w * lookahead_word_bits;
  }
  return SIZE_MAX;
}

// The least member at or above start; SIZE_MAX when there is none below words * 64.
inline size_t lookahead_set_next(const lookahead_word* set, size_t start, size_t words) {
  size_t w = start / lookahead_word_bits;
  if (w >= words) return SIZE_MAX;
  lookahead_word bits = set[w] & (~lookahead_word{0} << (start % lookahead_word_bits));
  while (true) {
    if (bits != 0) return w * lookahead_word_bits + __builtin_ctzll(bits);
    if (++w >= words) return SIZE_MAX;
    bits = set[w];
  }
}

#endif
