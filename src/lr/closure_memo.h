#ifndef VELLMARK_LR_CLOSURE_MEMO_H
#define VELLMARK_LR_CLOSURE_MEMO_H

#include <cstddef>
#include <cstdint>

#include "lr/closure.h"
#include "lr/lookahead_set.h"
#include "text/hash_index.h"

struct state;

// What the added entries of a closure decide on their own. The entries a
// closure adds to a kernel are the rules of the nonterminals it reaches,
// each with the lookaheads of its nonterminal, so states whose kernels
// differ but feed the same nonterminals the same lookaheads (the statements
// after each keyword, say) add the same entries: on a symbol that no kernel
// entry expects they all go to the same state. A context keeps that state
// per symbol once known, and the added cores by the symbol they expect, so
// that a later state adds only those its kernel's symbols and the unknown
// targets need.
struct closure_context {
  uint64_t hash;           // closure::added_hash of the closures it stands for
  size_t reached_count;    // nonterminals reached
  size_t* reached;         // their ids, ascending
  lookahead_word* sets;    // their lookaheads, in the same order
  size_t key_count;        // exploration keys that the added entries expect
  size_t* keys;            // ascending
  struct state** targets;  // by key position: the state the added entries alone lead to; null until known
  size_t* member_base;     // by key position, one more: where the key's cores start in members
  size_t* members;         // the added cores before each key's symbol, ascending, key by key
  size_t completed_count;  // added cores whose dot is at the end
  size_t* completed;
  const struct term_transitions* moves;  // once known: the transitions on terminals of the states whose kernels expect no terminal, shared, not owned
};

// The contexts met so far, owned, with scratch for choosing cores.
struct closure_memo {
  hash_index<closure_context> index;
  size_t* chosen;  // room for every core of the grammar
};

// An empty memo for a grammar of core_count cores; null when memory is exhausted.
closure_memo* closure_memo_new(size_t core_count);

// Releases every context and the memo; accepts null.
void closure_memo_free(closure_memo* m);

// The context that the closed c stands for; null when none is known or when
// c's kernel begins a rule it would add (the start state's).
closure_context* closure_memo_find(const closure_memo* m, const closure* c);

// Adds to the closed c, in place of closure_add_rules, the added cores that
// x keeps before a symbol some kernel entry expects or whose target is
// still unknown, and the completed ones; every key of x is expected.
void closure_memo_enter(closure_memo* m, const closure_context* x, closure* c);

// Keeps the context of the grouped c, every rule added, when its added
// entries expect enough symbols to be worth it; null when they do not, when
// c adds to a kernel entry's lookaheads, or when memory is exhausted (then
// *failed is set).
closure_context* closure_memo_add(closure_memo* m, const closure* c, bool* failed);

// Where key's target is kept in x; key must be one the added entries
// expect, and keys must be asked for in ascending order, *at (0 for the
// first) keeping the place between calls.
inline struct state** closure_context_target(closure_context* x, size_t key, size_t* at) {
  while (x->keys[*at] < key) ++*at;
  return &x->targets[*at];
}

#endif
