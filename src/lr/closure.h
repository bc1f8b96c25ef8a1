#ifndef VELLMARK_LR_CLOSURE_H
#define VELLMARK_LR_CLOSURE_H

#include <cstddef>

#include "lr/core_table.h"
#include "lr/item_groups.h"
#include "lr/item_set.h"

// The kernel of a successor being formed, its sets still those of the
// closure's entries: most successors are states made already, and are
// recognised without copying their sets.
struct closure_successor {
  size_t count;                 // groups
  size_t* cores;                // count cores, ascending
  const lookahead_word** sets;  // by group: the set of the entry it advances
  uint64_t hash;                // the hash item_groups_rehash gives the kernel's copy
};

// One core of a closed state with its lookahead set (owned by the kernel or by the closure's scratch).
struct closure_entry {
  size_t core;
  const lookahead_word* set;
};

// The reusable scratch of the construction's closure. Items of the rules of
// a nonterminal B all get the same lookaheads, so the closure is solved per
// nonterminal: each B collects, as a set of bits, FIRST of what follows it in
// every item that expects it, and its rules' items are made once at the end.
// The cost is linear in the cores touched times the width of a set.
struct closure {
  const core_table* table;
  void* arrays;                  // the one block that holds every array below, owned
  lookahead_word* nonterm_sets;  // by nonterminal id: the lookaheads of its rules' items
  bool* queued;                  // by nonterminal id: waiting to pass its set on
  bool* reached;                 // by nonterminal id: its set is not empty
  size_t* queue;
  size_t queue_count;
  size_t* reached_list;          // nonterminals with a set, in the order they were reached
  size_t reached_count;
  size_t* entry_of_core;         // by core: entry index + 1, 0 when the core is not in the state
  closure_entry* entries;        // the state's cores with their lookaheads
  size_t entry_count;
  size_t kernel_count;           // the first entries, the kernel's, cores ascending; the rest ascend too
  lookahead_word* merged;        // sets of kernel cores that the closure adds to as well
  size_t merged_count;
  size_t* first_member;          // by exploration key: first entry that expects the symbol, SIZE_MAX when none
  size_t* last_member;           // by exploration key: last such entry
  size_t* next_member;           // by entry: the next entry expecting the same symbol
  lookahead_word* keys;          // the exploration keys that some entry expects, as a row of bits
  lookahead_word* kernel_keys;   // the keys that some kernel entry expects, once closed
  lookahead_word* added_keys;    // those that some added entry expects, once grouped
  uint64_t* set_hash;            // by entry, once grouped: the hash of its lookahead set
  uint64_t* nonterm_hash;        // by nonterminal id, once closed: the hash of its set when reached
  uint64_t added_hash;           // once closed: the hash of the reached nonterminals with their sets
  size_t* order;                 // entry indices in ascending core order once grouped
  size_t* completed;             // entries whose dot is at the end, in item order once grouped
  size_t completed_count;
  closure_successor successor;   // the kernel of the successor being formed
};

// Scratch for closures over table's grammar; null when memory is exhausted.
closure* closure_new(const core_table* table);

// Releases the scratch; accepts null.
void closure_free(closure* c);

// Closes kernel into the entries; the scratch must be fresh or reset. Never fails.
void closure_solve(closure* c, const item_groups* kernel);

// The first half of closure_solve: enters the kernel and solves the lookaheads of every nonterminal it reaches, hashed into added_hash, without adding their rules.
void closure_close(closure* c, const item_groups* kernel);

// The second half of closure_solve: adds the rules of every reached nonterminal with its lookaheads.
void closure_add_rules(closure* c);

// Adds the one rule core of a reached nonterminal with its lookaheads, in place of closure_add_rules; cores must come ascending.
void closure_add_rule_core(closure* c, size_t core);

// True when some kernel core is also the start of a rule the closure adds (the start state's), so that adding rules adds to its lookaheads; once closed.
bool closure_merges_kernel(const closure* c);

// Makes closure_next_key yield key as well, though no entry expects it.
void closure_expect_key(closure* c, size_t key);

// Hashes the entries' sets, groups the entries by the symbol after their dot, cores ascending, and collects the completed ones in item order.
void closure_group_successors(closure* c);

// The least exploration key at or above start that some entry expects; SIZE_MAX when none.
size_t closure_next_key(const closure* c, size_t start);

// Fills successor with the kernel reached on key's symbol, cores ascending, and hashes it.
void closure_fill_successor(closure* c, size_t key);

// True when some kernel entry expects key's symbol; once closed.
inline bool closure_kernel_expects(const closure* c, size_t key) { return lookahead_set_has(c->kernel_keys, key); }

// True when some kernel entry expects a terminal; once closed.
inline bool closure_kernel_expects_terminal(const closure* c) {
  const core_table* t = c->table;
  return lookahead_set_next(c->kernel_keys, 0, lookahead_words_for(t->term_count + t->nonterm_count)) < t->term_count;
}

// True when kernel holds exactly the groups of the successor.
bool closure_successor_is(const closure* c, const item_groups* kernel);

// The successor as groups of their own, hash included; null when memory is exhausted.
item_groups* closure_successor_copy(const closure* c);

// The completed entries as groups, rules in descending item order; null when memory is exhausted or none is complete (then *failed tells which).
item_groups* closure_reductions(const closure* c, bool* failed);

// Inserts every item of the closed state into out; false when memory is exhausted.
bool closure_items(const closure* c, item_set* out);

// Empties the scratch for the next state.
void closure_reset(closure* c);

#endif
