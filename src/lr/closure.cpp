#include "lr/closure.h"

#include <algorithm>
#include <cstring>

#include "grammar/nonterm.h"
#include "text/array_block.h"
#include "text/memory.h"

namespace {

lookahead_word* nonterm_set(const closure* c, size_t n) { return c->nonterm_sets + n * c->table->words; }

// Adds first (and extra, when given) to the lookaheads of nonterminal n, queueing n when they grew.
void feed(closure* c, size_t n, const lookahead_word* first, const lookahead_word* extra) {
  size_t words = c->table->words;
  lookahead_word* set = nonterm_set(c, n);
  bool grew = lookahead_set_union(set, first, words);
  if (extra != nullptr && lookahead_set_union(set, extra, words)) grew = true;
  if (!grew) return;
  if (!c->reached[n]) {
    c->reached[n] = true;
    c->reached_list[c->reached_count++] = n;
  }
  if (!c->queued[n]) {
    c->queued[n] = true;
    c->queue[c->queue_count++] = n;
  }
}

// An item before nonterminal n hands n FIRST of the rest of its rule, and its own lookaheads when that rest can vanish.
void feed_from_core(closure* c, size_t core, const lookahead_word* lookaheads) {
  const core_table* t = c->table;
  size_t n = t->next_nonterm[core];
  if (n == no_symbol_key) return;
  feed(c, n, core_table_rest_first(t, core + 1), t->rest_nullable[core + 1] ? lookaheads : nullptr);
}

void add_entry(closure* c, size_t core, const lookahead_word* set) {
  c->entries[c->entry_count++] = closure_entry{core, set};
  c->entry_of_core[core] = c->entry_count;
}

// A core already in the kernel (the start item's) takes the closure's lookaheads as well.
void merge_entry(closure* c, size_t entry, const lookahead_word* set) {
  size_t words = c->table->words;
  closure_entry* e = &c->entries[entry];
  lookahead_word* own = c->merged + c->merged_count * words;
  bool already_merged = e->set >= c->merged && e->set < c->merged + c->table->rule_count * words;
  if (!already_merged) {
    std::memcpy(own, e->set, words * sizeof(lookahead_word));
    ++c->merged_count;
    e->set = own;
  }
  lookahead_set_union(const_cast<lookahead_word*>(e->set), set, words);
}

// The id of the first rule of nonterminal n: the ids of its rules follow one another.
size_t first_rule_id(const core_table* t, size_t n, size_t* count) {
  const rules* alternatives = t->nonterms->items[n]->rules;
  *count = alternatives->count;
  return alternatives->count == 0 ? 0 : alternatives->items[0]->id;
}

void add_rule_entries(closure* c, size_t n) {
  const core_table* t = c->table;
  size_t count = 0;
  size_t first = first_rule_id(t, n, &count);
  const lookahead_word* set = nonterm_set(c, n);
  for (size_t r = 0; r < count; ++r) {
    size_t core = t->core_base[first + r];
    if (c->entry_of_core[core] != 0) {
      merge_entry(c, c->entry_of_core[core] - 1, set);
    } else {
      add_entry(c, core, set);
    }
  }
}

void pass_on(closure* c, size_t n) {
  const core_table* t = c->table;
  const lookahead_word* own = nonterm_set(c, n);
  for (size_t k = t->feeding_base[n]; k < t->feeding_base[n + 1]; ++k) {
    feed(c, t->feeding[k], t->feeding_first + k * t->words, t->feeding_nullable[k] ? own : nullptr);
  }
}

void add_member(closure* c, size_t key, size_t entry) {
  c->next_member[entry] = SIZE_MAX;
  if (c->first_member[key] == SIZE_MAX) {
    c->first_member[key] = entry;
    lookahead_set_add(c->keys, key);
  } else {
    c->next_member[c->last_member[key]] = entry;
  }
  c->last_member[key] = entry;
  if (entry >= c->kernel_count) lookahead_set_add(c->added_keys, key);
}

}  // namespace

closure* closure_new(const core_table* table) {
  closure* c = memory_new_record<closure>();
  if (c == nullptr) return nullptr;
  size_t keys = table->term_count + table->nonterm_count;
  c->table = table;
  c->arrays = array_block_new([c, table, keys](array_block* b) {
    array_block_take(b, &c->nonterm_sets, table->nonterm_count * table->words);
    array_block_take(b, &c->queued, table->nonterm_count);
    array_block_take(b, &c->reached, table->nonterm_count);
    array_block_take(b, &c->queue, table->nonterm_count);
    array_block_take(b, &c->reached_list, table->nonterm_count);
    array_block_take(b, &c->entry_of_core, table->core_count);
    array_block_take(b, &c->entries, table->core_count);
    array_block_take(b, &c->merged, table->rule_count * table->words);
    array_block_take(b, &c->first_member, keys);
    array_block_take(b, &c->last_member, keys);
    array_block_take(b, &c->next_member, table->core_count);
    array_block_take(b, &c->keys, lookahead_words_for(keys));
    array_block_take(b, &c->kernel_keys, lookahead_words_for(keys));
    array_block_take(b, &c->added_keys, lookahead_words_for(keys));
    array_block_take(b, &c->set_hash, table->core_count);
    array_block_take(b, &c->nonterm_hash, table->nonterm_count);
    array_block_take(b, &c->order, table->core_count);
    array_block_take(b, &c->completed, table->core_count);
    array_block_take(b, &c->successor.cores, table->core_count);
    array_block_take(b, &c->successor.sets, table->core_count);
  });
  if (c->arrays == nullptr) {
    closure_free(c);
    return nullptr;
  }
  for (size_t k = 0; k < keys; ++k) c->first_member[k] = SIZE_MAX;
  return c;
}

void closure_free(closure* c) {
  if (c == nullptr) return;
  memory_release(c->arrays);
  memory_release(c);
}

void closure_close(closure* c, const item_groups* kernel) {
  const core_table* t = c->table;
  for (size_t k = 0; k < kernel->count; ++k) {
    add_entry(c, kernel->cores[k], item_groups_set(kernel, k));
    if (t->next_key[kernel->cores[k]] != no_symbol_key) lookahead_set_add(c->kernel_keys, t->next_key[kernel->cores[k]]);
  }
  c->kernel_count = c->entry_count;
  for (size_t k = 0; k < kernel->count; ++k) feed_from_core(c, kernel->cores[k], item_groups_set(kernel, k));
  while (c->queue_count > 0) {
    size_t n = c->queue[--c->queue_count];
    c->queued[n] = false;
    pass_on(c, n);
  }
  // The cores of a nonterminal's rules are consecutive and ascend with its
  // id, so entries added by ascending id follow the kernel's in core order.
  std::sort(c->reached_list, c->reached_list + c->reached_count);
  uint64_t added = 0;
  for (size_t k = 0; k < c->reached_count; ++k) {
    size_t n = c->reached_list[k];
    c->nonterm_hash[n] = lookahead_set_hash(nonterm_set(c, n), t->words);
    added = hash_mix(hash_mix(added, n), c->nonterm_hash[n]);
  }
  c->added_hash = added;
}

void closure_add_rules(closure* c) {
  for (size_t k = 0; k < c->reached_count; ++k) add_rule_entries(c, c->reached_list[k]);
}

void closure_add_rule_core(closure* c, size_t core) {
  const core_table* t = c->table;
  add_entry(c, core, nonterm_set(c, t->rule_by_id[t->core_rule[core]]->nonterm->id));
}

bool closure_merges_kernel(const closure* c) {
  const core_table* t = c->table;
  for (size_t k = 0; k < c->kernel_count; ++k) {
    size_t core = c->entries[k].core;
    size_t id = t->core_rule[core];
    if (t->core_base[id] == core && c->reached[t->rule_by_id[id]->nonterm->id]) return true;
  }
  return false;
}

void closure_expect_key(closure* c, size_t key) { lookahead_set_add(c->keys, key); }

void closure_solve(closure* c, const item_groups* kernel) {
  closure_close(c, kernel);
  closure_add_rules(c);
}

// The hash of every entry's set: the rules of one nonterminal share one set, hashed once when it was closed.
void hash_sets(closure* c) {
  size_t words = c->table->words;
  const lookahead_word* shared = c->nonterm_sets;
  const lookahead_word* shared_end = c->nonterm_sets + c->table->nonterm_count * words;
  for (size_t k = 0; k < c->entry_count; ++k) {
    const lookahead_word* set = c->entries[k].set;
    bool of_nonterm = set >= shared && set < shared_end;
    c->set_hash[k] = of_nonterm ? c->nonterm_hash[(set - shared) / words] : lookahead_set_hash(set, words);
  }
}

void closure_group_successors(closure* c) {
  hash_sets(c);
  // Ordering what the state holds, rather than walking a mark per core of
  // the grammar, keeps the cost of a state to its own size.
  const core_table* t = c->table;
  const closure_entry* entries = c->entries;
  // The kernel's entries and the added ones each ascend by core: one merge orders them all.
  size_t* order = c->order;
  size_t kernel = 0;
  size_t added = c->kernel_count;
  while (kernel < c->kernel_count || added < c->entry_count) {
    bool from_kernel = added == c->entry_count ||
                       (kernel < c->kernel_count && entries[kernel].core < entries[added].core);
    *order++ = from_kernel ? kernel++ : added++;
  }
  for (size_t k = 0; k < c->entry_count; ++k) {
    size_t entry = c->order[k];
    size_t key = t->next_key[entries[entry].core];
    if (key == no_symbol_key) {
      c->completed[c->completed_count++] = entry;
    } else {
      add_member(c, key, entry);
    }
  }
  const size_t* rank = t->rule_rank;
  const size_t* rule_of = t->core_rule;
  std::sort(c->completed, c->completed + c->completed_count, [entries, rank, rule_of](size_t a, size_t b) {
    return rank[rule_of[entries[a].core]] > rank[rule_of[entries[b].core]];
  });
}

size_t closure_next_key(const closure* c, size_t start) {
  const core_table* t = c->table;
  return lookahead_set_next(c->keys, start, lookahead_words_for(t->term_count + t->nonterm_count));
}

void closure_fill_successor(closure* c, size_t key) {
  closure_successor* next = &c->successor;
  size_t count = 0;
  uint64_t hash = 0;
  for (size_t entry = c->first_member[key]; entry != SIZE_MAX; entry = c->next_member[entry]) {
    next->cores[count] = c->entries[entry].core + 1;
    next->sets[count] = c->entries[entry].set;
    hash = item_groups_hash_group(hash, next->cores[count], c->set_hash[entry]);
    ++count;
  }
  next->count = count;
  next->hash = item_groups_hash_end(hash, count);
}

bool closure_successor_is(const closure* c, const item_groups* kernel) {
  const closure_successor& next = c->successor;
  if (kernel->count != next.count || kernel->hash != next.hash) return false;
  if (std::memcmp(kernel->cores, next.cores, next.count * sizeof(size_t)) != 0) return false;
  size_t bytes = kernel->words * sizeof(lookahead_word);
  for (size_t k = 0; k < next.count; ++k) {
    if (std::memcmp(item_groups_set(kernel, k), next.sets[k], bytes) != 0) return false;
  }
  return true;
}

item_groups* closure_successor_copy(const closure* c) {
  const closure_successor& next = c->successor;
  item_groups* kernel = item_groups_new(next.count, c->table->words);
  if (kernel == nullptr) return nullptr;
  std::memcpy(kernel->cores, next.cores, next.count * sizeof(size_t));
  for (size_t k = 0; k < next.count; ++k) {
    std::memcpy(item_groups_set(kernel, k), next.sets[k], kernel->words * sizeof(lookahead_word));
  }
  kernel->hash = next.hash;
  return kernel;
}

item_groups* closure_reductions(const closure* c, bool* failed) {
  *failed = false;
  if (c->completed_count == 0) return nullptr;
  size_t words = c->table->words;
  item_groups* groups = item_groups_new(c->completed_count, words);
  if (groups == nullptr) {
    *failed = true;
    return nullptr;
  }
  for (size_t k = 0; k < c->completed_count; ++k) {
    const closure_entry& e = c->entries[c->completed[k]];
    groups->cores[k] = e.core;
    std::memcpy(item_groups_set(groups, k), e.set, words * sizeof(lookahead_word));
  }
  return groups;
}

bool closure_items(const closure* c, item_set* out) {
  const core_table* t = c->table;
  for (size_t k = 0; k < c->entry_count; ++k) {
    const closure_entry& e = c->entries[k];
    size_t id = t->core_rule[e.core];
    size_t mark = e.core - t->core_base[id];
    for (size_t bit = lookahead_set_next(e.set, 0, t->words); bit != SIZE_MAX;
         bit = lookahead_set_next(e.set, bit + 1, t->words)) {
      if (!item_insert(out, item_make(t->rule_by_id[id], mark, core_table_bit_symbol(t, bit)), nullptr)) {
        return false;
      }
    }
  }
  return true;
}

void closure_reset(closure* c) {
  size_t words = c->table->words;
  for (size_t k = 0; k < c->entry_count; ++k) {
    size_t core = c->entries[k].core;
    c->entry_of_core[core] = 0;
    size_t key = c->table->next_key[core];
    if (key != no_symbol_key) c->first_member[key] = SIZE_MAX;
  }
  for (size_t k = 0; k < c->reached_count; ++k) {
    size_t n = c->reached_list[k];
    c->reached[n] = false;
    std::memset(nonterm_set(c, n), 0, words * sizeof(lookahead_word));
  }
  c->entry_count = 0;
  size_t key_bytes = lookahead_words_for(c->table->term_count + c->table->nonterm_count) * sizeof(lookahead_word);
  std::memset(c->keys, 0, key_bytes);
  std::memset(c->kernel_keys, 0, key_bytes);
  std::memset(c->added_keys, 0, key_bytes);
  c->reached_count = 0;
  c->queue_count = 0;
  c->merged_count = 0;
  c->completed_count = 0;
}
