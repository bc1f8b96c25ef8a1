#include "lr/closure_memo.h"

#include <algorithm>
#include <cstring>

#include "text/array_block.h"
#include "text/memory.h"

namespace {

// Contexts are kept only for closures whose added entries expect at least
// this many symbols: fewer transitions do not repay keeping them.
constexpr size_t worthwhile_keys = 4;

size_t key_words(const closure* c) { return lookahead_words_for(c->table->term_count + c->table->nonterm_count); }

bool stands_for(const closure_context* x, const closure* c) {
  if (x->hash != c->added_hash || x->reached_count != c->reached_count) return false;
  size_t words = c->table->words;
  for (size_t k = 0; k < x->reached_count; ++k) {
    size_t n = c->reached_list[k];
    if (x->reached[k] != n) return false;
    if (std::memcmp(x->sets + k * words, c->nonterm_sets + n * words, words * sizeof(lookahead_word)) != 0) return false;
  }
  return true;
}

// The sizes of a context.
struct context_size {
  size_t reached;
  size_t words;
  size_t keys;
  size_t members;
  size_t completed;
};

// A context of the given sizes in one block, its arrays zero; null when memory is exhausted.
closure_context* new_context(const context_size& size) {
  closure_context* x = nullptr;
  closure_context parts{};
  void* block = array_block_new([&](array_block* b) {
    array_block_take(b, &x, 1);
    array_block_take(b, &parts.reached, size.reached);
    array_block_take(b, &parts.sets, size.reached * size.words);
    array_block_take(b, &parts.keys, size.keys);
    array_block_take(b, &parts.targets, size.keys);
    array_block_take(b, &parts.member_base, size.keys + 1);
    array_block_take(b, &parts.members, size.members);
    array_block_take(b, &parts.completed, size.completed);
  });
  if (block == nullptr) return nullptr;
  *x = parts;
  x->reached_count = size.reached;
  x->key_count = size.keys;
  x->completed_count = size.completed;
  return x;
}

// Copies c's reached nonterminals with their sets into x.
void keep_reached(closure_context* x, const closure* c) {
  size_t words = c->table->words;
  x->hash = c->added_hash;
  for (size_t k = 0; k < c->reached_count; ++k) {
    size_t n = c->reached_list[k];
    x->reached[k] = n;
    std::memcpy(x->sets + k * words, c->nonterm_sets + n * words, words * sizeof(lookahead_word));
  }
}

// Copies into x the keys of c's added entries with their cores, and the completed added cores.
void keep_added(closure_context* x, const closure* c) {
  size_t position = 0;
  size_t members = 0;
  for (size_t key = lookahead_set_next(c->added_keys, 0, key_words(c)); key != SIZE_MAX;
       key = lookahead_set_next(c->added_keys, key + 1, key_words(c))) {
    x->keys[position] = key;
    x->member_base[position++] = members;
    for (size_t entry = c->first_member[key]; entry != SIZE_MAX; entry = c->next_member[entry]) {
      if (entry >= c->kernel_count) x->members[members++] = c->entries[entry].core;
    }
  }
  x->member_base[position] = members;
  size_t completed = 0;
  for (size_t k = 0; k < c->completed_count; ++k) {
    if (c->completed[k] >= c->kernel_count) x->completed[completed++] = c->entries[c->completed[k]].core;
  }
}

}  // namespace

closure_memo* closure_memo_new(size_t core_count) {
  closure_memo* m = memory_new_record<closure_memo>();
  if (m == nullptr) return nullptr;
  m->chosen = static_cast<size_t*>(memory_alloc_zero(core_count == 0 ? 1 : core_count, sizeof(size_t)));
  if (m->chosen == nullptr) {
    memory_release(m);
    return nullptr;
  }
  return m;
}

void closure_memo_free(closure_memo* m) {
  if (m == nullptr) return;
  for (size_t k = 0; k < m->index.capacity; ++k) memory_release(m->index.slots[k].value);
  hash_index_clear(&m->index);
  memory_release(m->chosen);
  memory_release(m);
}

closure_context* closure_memo_find(const closure_memo* m, const closure* c) {
  if (m->index.count == 0 || closure_merges_kernel(c)) return nullptr;
  return hash_index_find(&m->index, c->added_hash, [c](const closure_context* x) { return stands_for(x, c); });
}

void closure_memo_enter(closure_memo* m, const closure_context* x, closure* c) {
  size_t count = 0;
  for (size_t k = 0; k < x->key_count; ++k) {
    closure_expect_key(c, x->keys[k]);
    if (x->targets[k] != nullptr && !closure_kernel_expects(c, x->keys[k])) continue;
    for (size_t i = x->member_base[k]; i < x->member_base[k + 1]; ++i) m->chosen[count++] = x->members[i];
  }
  for (size_t k = 0; k < x->completed_count; ++k) m->chosen[count++] = x->completed[k];
  std::sort(m->chosen, m->chosen + count);
  for (size_t k = 0; k < count; ++k) closure_add_rule_core(c, m->chosen[k]);
}

closure_context* closure_memo_add(closure_memo* m, const closure* c, bool* failed) {
  size_t keys = lookahead_set_count(c->added_keys, key_words(c));
  if (keys < worthwhile_keys || c->merged_count > 0) return nullptr;
  size_t added = c->entry_count - c->kernel_count;
  size_t completed = 0;
  for (size_t k = 0; k < c->completed_count; ++k) completed += c->completed[k] >= c->kernel_count ? 1 : 0;
  closure_context* x = new_context(context_size{c->reached_count, c->table->words, keys, added - completed, completed});
  if (x == nullptr || !hash_index_add(&m->index, c->added_hash, x)) {
    memory_release(x);
    *failed = true;
    return nullptr;
  }
  keep_reached(x, c);
  keep_added(x, c);
  return x;
}
