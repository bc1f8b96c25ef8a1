#include "lr/ambiguity.h"

#include <bit>
#include <cstdint>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "lr/conflict_example.h"
#include "text/growable.h"
#include "text/memory.h"

namespace {

// Derivation trees are grown from a root nonterminal one decision at a
// time, in preorder: the leftmost undecided nonterminal leaf is either left
// as it is (frozen) or expanded by one of its rules. Each tree is thus made
// by exactly one sequence of decisions, and two trees with equal yields are
// two derivations of one sentential form. Trees are kept as a trie of
// decisions, and grown breadth first, so that the smallest trees come first.

constexpr uint32_t frozen = UINT32_MAX;
constexpr uint32_t no_parent = UINT32_MAX;
constexpr size_t longest_yield = 16;   // symbols; positions fit the bits of a word
constexpr size_t tree_budget = 6000;  // partial trees grown from one root
constexpr size_t most_roots = 4;

struct step {
  uint32_t parent;
  uint32_t decision;  // rule id, or frozen
};

struct steps : growable<step> {};
struct numbers : growable<uint32_t> {};

enum class pending_kind : uint8_t { symbol, tagged, node_end };

// What replaying a tree still has to emit: a symbol, the lookahead read by a shifting item, or the end of a node.
struct pending {
  pending_kind kind;
  symbol x;
  const rule* r;
};

struct pendings : growable<pending> {};

// A complete tree: its decisions, its yield in the shared pool and the positions that matter.
struct sentence {
  uint32_t tree;
  uint32_t yield_start;
  uint32_t yield_length;
  uint32_t reduce_ends;   // bit p: a node of the reduced rule ends before position p, which holds the lookahead
  uint32_t shift_reads;   // bit p: position p is the lookahead read by a shifting item
  uint64_t hash;
};

struct sentences : growable<sentence> {};

struct search {
  const grammar* g;
  const ambiguity_query* query;
  rule** rule_by_id;
  bool* productive;        // by nonterminal id: derives some string of terminals
  bool* leads;             // by nonterminal id: derives a form that holds the head of a rule of the query
  steps* trie;
  numbers* queue;
  pendings* stack;
  numbers* decisions;
  numbers* yield;          // the yield of the tree last replayed
  numbers* pool;           // the yields of stored sentences
  sentences* stored;
  uint32_t* table;         // stored sentence + 1 by hash, open addressing; 0 is free
  size_t table_capacity;
};

template <typename A>
void clear(A* array) {
  if (array != nullptr) array->count = 0;
}

uint32_t code_of(const search* s, symbol x) {
  if (x.term != nullptr) return static_cast<uint32_t>(x.term->id);
  return static_cast<uint32_t>(s->g->terms->count + x.nonterm->id);
}

symbol symbol_of(const search* s, uint32_t code) {
  size_t terms = s->g->terms->count;
  return code < terms ? symbol_for_term(s->g->terms->items[code]) : symbol_for_nonterm(s->g->nonterms->items[code - terms]);
}

size_t rule_count(const grammar* g) {
  size_t count = 0;
  for (size_t n = 0; n < g->nonterms->count; ++n) count += g->nonterms->items[n]->rules->count;
  return count;
}

// Marks every nonterminal that derives a string of terminals, by repeated passes to a fixed point.
void find_productive(search* s) {
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t n = 0; n < s->g->nonterms->count; ++n) {
      const nonterm* head = s->g->nonterms->items[n];
      for (size_t k = 0; k < head->rules->count && !s->productive[n]; ++k) {
        const symbols* rhs = head->rules->items[k]->symbols;
        bool all = true;
        for (size_t i = 0; i < rhs->count && all; ++i) all = rhs->items[i].term != nullptr || s->productive[rhs->items[i].nonterm->id];
        if (all) changed = s->productive[n] = true;
      }
    }
  }
}

bool is_query_rule(const ambiguity_query* q, const rule* r) {
  if (r == q->reduce) return true;
  for (size_t k = 0; k < q->shift_count; ++k) {
    if (q->shifts[k].rule == r) return true;
  }
  return false;
}

bool is_query_head(const ambiguity_query* q, const nonterm* n) {
  if (q->reduce->nonterm == n) return true;
  for (size_t k = 0; k < q->shift_count; ++k) {
    if (q->shifts[k].rule->nonterm == n) return true;
  }
  return false;
}

// True when the rule holds a nonterminal that leads to the query's rules.
bool rule_leads(const search* s, const rule* r) {
  for (size_t i = 0; i < r->symbols->count; ++i) {
    const nonterm* n = r->symbols->items[i].nonterm;
    if (n != nullptr && s->leads[n->id]) return true;
  }
  return false;
}

// Marks the heads of the query's rules, and every nonterminal with a rule
// that holds a marked one, by repeated passes to a fixed point. Only these
// are worth expanding: any other part of a tree can stay a frozen leaf.
void find_leading(search* s) {
  s->leads[s->query->reduce->nonterm->id] = true;
  for (size_t k = 0; k < s->query->shift_count; ++k) s->leads[s->query->shifts[k].rule->nonterm->id] = true;
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t n = 0; n < s->g->nonterms->count; ++n) {
      const nonterm* head = s->g->nonterms->items[n];
      for (size_t k = 0; k < head->rules->count && !s->leads[n]; ++k) {
        if (rule_leads(s, head->rules->items[k])) changed = s->leads[n] = true;
      }
    }
  }
}

bool open_search(search* s, const grammar* g, const ambiguity_query* query) {
  *s = search{};
  s->g = g;
  s->query = query;
  size_t rules = rule_count(g);
  s->rule_by_id = static_cast<rule**>(memory_alloc_zero(rules == 0 ? 1 : rules, sizeof(rule*)));
  s->productive = static_cast<bool*>(memory_alloc_zero(g->nonterms->count + 1, sizeof(bool)));
  s->leads = static_cast<bool*>(memory_alloc_zero(g->nonterms->count + 1, sizeof(bool)));
  s->trie = growable_new<steps>();
  s->queue = growable_new<numbers>();
  s->stack = growable_new<pendings>();
  s->decisions = growable_new<numbers>();
  s->yield = growable_new<numbers>();
  s->pool = growable_new<numbers>();
  s->stored = growable_new<sentences>();
  if (s->rule_by_id == nullptr || s->productive == nullptr || s->leads == nullptr || s->trie == nullptr || s->queue == nullptr ||
      s->stack == nullptr || s->decisions == nullptr || s->yield == nullptr || s->pool == nullptr || s->stored == nullptr) {
    return false;
  }
  for (size_t n = 0; n < g->nonterms->count; ++n) {
    const struct rules* alternatives = g->nonterms->items[n]->rules;
    for (size_t k = 0; k < alternatives->count; ++k) {
      if (alternatives->items[k]->id < rules) s->rule_by_id[alternatives->items[k]->id] = alternatives->items[k];
    }
  }
  find_productive(s);
  find_leading(s);
  return true;
}

void close_search(search* s) {
  memory_release(s->rule_by_id);
  memory_release(s->productive);
  memory_release(s->leads);
  growable_free(s->trie);
  growable_free(s->queue);
  growable_free(s->stack);
  growable_free(s->decisions);
  growable_free(s->yield);
  growable_free(s->pool);
  growable_free(s->stored);
  memory_release(s->table);
}

// Empties everything that belongs to one root.
void restart(search* s) {
  clear(s->trie);
  clear(s->queue);
  clear(s->pool);
  clear(s->stored);
  memory_release(s->table);
  s->table = nullptr;
  s->table_capacity = 0;
}

bool is_shifting_read(const ambiguity_query* q, const rule* r, size_t position) {
  for (size_t k = 0; k < q->shift_count; ++k) {
    if (q->shifts[k].rule == r && q->shifts[k].mark == position) return true;
  }
  return false;
}

// The decisions of a tree, first to last.
bool collect_decisions(search* s, uint32_t tree) {
  clear(s->decisions);
  for (uint32_t node = tree; node != no_parent; node = s->trie->items[node].parent) {
    if (!growable_push(s->decisions, s->trie->items[node].decision)) return false;
  }
  for (size_t i = 0, j = s->decisions->count; i + 1 < j; ++i, --j) {
    uint32_t swap = s->decisions->items[i];
    s->decisions->items[i] = s->decisions->items[j - 1];
    s->decisions->items[j - 1] = swap;
  }
  return true;
}

// Pushes the children of a node of rule r, last child first, below the end of the node.
bool push_node(search* s, const rule* r) {
  if (!growable_push(s->stack, pending{pending_kind::node_end, symbol_for_endmark(), r})) return false;
  for (size_t k = r->symbols->count; k-- > 0;) {
    symbol x = r->symbols->items[k];
    bool tagged = x.term == s->query->lookahead && is_shifting_read(s->query, r, k);
    if (!growable_push(s->stack, pending{tagged ? pending_kind::tagged : pending_kind::symbol, x, nullptr})) return false;
  }
  return true;
}

enum class replay_end { complete, open, too_long, failed };

// Replays the decisions of a tree from root: fills the yield and, for a
// complete tree, the two position masks; for an open tree *next becomes the
// nonterminal of the leftmost undecided leaf.
replay_end replay(search* s, const nonterm* root, uint32_t tree, uint32_t* reduce_ends, uint32_t* shift_reads,
                  const nonterm** next) {
  if (tree != no_parent && !collect_decisions(s, tree)) return replay_end::failed;
  if (tree == no_parent) clear(s->decisions);
  clear(s->stack);
  clear(s->yield);
  uint32_t ends = 0;
  uint32_t reads = 0;
  size_t used = 0;
  if (!growable_push(s->stack, pending{pending_kind::symbol, symbol_for_nonterm(const_cast<nonterm*>(root)), nullptr})) {
    return replay_end::failed;
  }
  while (s->stack->count > 0) {
    pending p = s->stack->items[--s->stack->count];
    if (p.kind == pending_kind::node_end) {
      if (p.r == s->query->reduce) ends |= uint32_t{1} << s->yield->count;
      continue;
    }
    if (p.x.nonterm != nullptr && used == s->decisions->count) {
      *next = p.x.nonterm;
      return replay_end::open;
    }
    if (p.x.nonterm != nullptr && s->decisions->items[used] != frozen) {
      if (!push_node(s, s->rule_by_id[s->decisions->items[used++]])) return replay_end::failed;
      continue;
    }
    if (p.x.nonterm != nullptr) ++used;
    if (s->yield->count == longest_yield) return replay_end::too_long;
    if (p.kind == pending_kind::tagged) reads |= uint32_t{1} << s->yield->count;
    if (!growable_push(s->yield, code_of(s, p.x))) return replay_end::failed;
  }
  uint32_t lookahead_at = 0;
  uint32_t lookahead_code = static_cast<uint32_t>(s->query->lookahead->id);
  for (size_t k = 0; k < s->yield->count; ++k) {
    if (s->yield->items[k] == lookahead_code) lookahead_at |= uint32_t{1} << k;
  }
  *reduce_ends = ends & lookahead_at;
  *shift_reads = reads;
  return replay_end::complete;
}

uint64_t hash_yield(const numbers* yield) {
  uint64_t hash = 1469598103934665603u;
  for (size_t k = 0; k < yield->count; ++k) hash = (hash ^ yield->items[k]) * 1099511628211u;
  return hash;
}

bool same_yield(const search* s, const sentence& stored) {
  if (stored.yield_length != s->yield->count) return false;
  for (size_t k = 0; k < s->yield->count; ++k) {
    if (s->pool->items[stored.yield_start + k] != s->yield->items[k]) return false;
  }
  return true;
}

// Keeps the table at most half full; false when it cannot grow.
bool make_table_room(search* s) {
  if ((s->stored->count + 1) * 2 <= s->table_capacity) return true;
  constexpr size_t limit = std::bit_floor(SIZE_MAX / sizeof(uint32_t));  // a power of two, so that masks keep working
  size_t capacity = grown_capacity(s->table_capacity, 1024, (s->stored->count + 1) * 2, limit);
  if (capacity == 0) return false;
  auto* table = static_cast<uint32_t*>(memory_alloc_zero(capacity, sizeof(uint32_t)));
  if (table == nullptr) return false;
  for (size_t k = 0; k < s->stored->count; ++k) {
    size_t slot = s->stored->items[k].hash & (capacity - 1);
    while (table[slot] != 0) slot = (slot + 1) & (capacity - 1);
    table[slot] = static_cast<uint32_t>(k + 1);
  }
  memory_release(s->table);
  s->table = table;
  s->table_capacity = capacity;
  return true;
}

// Stores the complete tree last replayed; *match becomes the stored sentence
// that is the other reading of the conflict in the same form (UINT32_MAX when
// none). False when memory is exhausted.
bool store_sentence(search* s, uint32_t tree, uint32_t reduce_ends, uint32_t shift_reads, uint32_t* match) {
  *match = UINT32_MAX;
  if (reduce_ends == 0 && shift_reads == 0) return true;  // a tree that reads the conflict neither way pairs with none
  uint64_t hash = hash_yield(s->yield);
  if (!make_table_room(s)) return false;
  size_t mask = s->table_capacity - 1;
  size_t slot = hash & mask;
  for (; s->table[slot] != 0; slot = (slot + 1) & mask) {
    const sentence& other = s->stored->items[s->table[slot] - 1];
    if (other.hash != hash || !same_yield(s, other)) continue;
    if ((other.reduce_ends & shift_reads) != 0 || (other.shift_reads & reduce_ends) != 0) {
      *match = s->table[slot] - 1;
      return true;
    }
  }
  sentence added{tree, static_cast<uint32_t>(s->pool->count), static_cast<uint32_t>(s->yield->count), reduce_ends,
                 shift_reads, hash};
  for (size_t k = 0; k < s->yield->count; ++k) {
    if (!growable_push(s->pool, s->yield->items[k])) return false;
  }
  if (!growable_push(s->stored, added)) return false;
  s->table[slot] = static_cast<uint32_t>(s->stored->count);
  return true;
}

bool grow(search* s, uint32_t parent, uint32_t decision) {
  // The search ends once the trees grown so far are examined.
  if (s->trie->count >= tree_budget || *s->query->trees_left == 0) return true;
  --*s->query->trees_left;
  if (!growable_push(s->trie, step{parent, decision})) return false;
  return growable_push(s->queue, static_cast<uint32_t>(s->trie->count - 1));
}

// The pair of trees found from root, in *reducing and *shifting; false when memory is exhausted.
bool search_root(search* s, const nonterm* root, uint32_t* reducing, uint32_t* shifting, bool* found) {
  restart(s);
  *found = false;
  uint32_t tree = no_parent;
  size_t head = 0;
  for (;;) {
    uint32_t ends = 0, reads = 0;
    const nonterm* next = nullptr;
    switch (replay(s, root, tree, &ends, &reads, &next)) {
      case replay_end::failed: return false;
      case replay_end::too_long: break;
      case replay_end::complete: {
        uint32_t match = UINT32_MAX;
        if (!store_sentence(s, tree, ends, reads, &match)) return false;
        if (match != UINT32_MAX) {
          const sentence& other = s->stored->items[match];
          bool other_reduces = (other.reduce_ends & reads) != 0;
          *reducing = other_reduces ? other.tree : tree;
          *shifting = other_reduces ? tree : other.tree;
          *found = true;
          return true;
        }
        break;
      }
      case replay_end::open: {
        if (s->productive[next->id] && !grow(s, tree, frozen)) return false;
        if (!s->leads[next->id]) break;
        // The head of a rule of the query grows by those rules only; a nonterminal between grows toward them.
        bool heads_query = is_query_head(s->query, next);
        for (size_t k = 0; k < next->rules->count; ++k) {
          const rule* r = next->rules->items[k];
          if (heads_query ? !is_query_rule(s->query, r) : !rule_leads(s, r)) continue;
          if (!grow(s, tree, static_cast<uint32_t>(r->id))) return false;
        }
        break;
      }
    }
    if (head == s->queue->count) return true;
    tree = s->queue->items[head++];
  }
}

bool append_yield(const search* s, ustring* out) {
  bool ok = true;
  for (size_t k = 0; ok && k < s->yield->count; ++k) {
    if (k > 0) ok = ustring_push(out, U' ');
    ok = ok && append_grammar_symbol(out, symbol_of(s, s->yield->items[k]));
  }
  return ok;
}

// Appends a tree as its root's rule with every expanded inner node in brackets: "A -> x [B -> y z] w".
bool append_tree(search* s, const nonterm* root, uint32_t tree, ustring* out) {
  if (!collect_decisions(s, tree)) return false;
  clear(s->stack);
  size_t used = 0;
  bool at_root = true;
  bool ok = growable_push(s->stack, pending{pending_kind::symbol, symbol_for_nonterm(const_cast<nonterm*>(root)), nullptr});
  bool first = true;
  while (ok && s->stack->count > 0) {
    pending p = s->stack->items[--s->stack->count];
    if (p.kind == pending_kind::node_end) {
      if (s->stack->count > 0) ok = ustring_push(out, U']');
      continue;
    }
    if (!first) ok = ustring_push(out, U' ');
    first = false;
    if (ok && p.x.nonterm != nullptr && used < s->decisions->count && s->decisions->items[used] != frozen) {
      const rule* r = s->rule_by_id[s->decisions->items[used++]];
      if (!at_root) ok = ustring_push(out, U'[');
      ok = ok && ustring_append(out, p.x.nonterm->name) && ustring_append_cstr(out, " ->") && push_node(s, r);
      at_root = false;
      continue;
    }
    if (p.x.nonterm != nullptr) ++used;
    ok = ok && append_grammar_symbol(out, p.x);
  }
  return ok;
}

// The distinct heads of the rules in the query, reduced rule first.
size_t query_roots(const ambiguity_query& q, const nonterm** roots) {
  size_t count = 0;
  auto add = [&](const nonterm* n) {
    for (size_t k = 0; k < count; ++k) {
      if (roots[k] == n) return;
    }
    if (count < most_roots) roots[count++] = n;
  };
  add(q.reduce->nonterm);
  for (size_t k = 0; k < q.shift_count; ++k) add(q.shifts[k].rule->nonterm);
  for (size_t k = 0; k < q.context_count; ++k) add(q.contexts[k]);
  return count;
}

}  // namespace

bool append_ambiguity(const grammar* g, const ambiguity_query& query, ustring* out, bool* found) {
  *found = false;
  search s;
  bool ok = open_search(&s, g, &query);
  const nonterm* roots[most_roots];
  size_t root_count = query_roots(query, roots);
  uint32_t reducing = 0, shifting = 0;
  const nonterm* root = nullptr;
  for (size_t k = 0; ok && !*found && k < root_count; ++k) {
    root = roots[k];
    ok = search_root(&s, root, &reducing, &shifting, found);
  }
  if (ok && *found) {
    uint32_t ends = 0, reads = 0;
    const nonterm* next = nullptr;
    ok = replay(&s, root, reducing, &ends, &reads, &next) == replay_end::complete &&
         ustring_append_cstr(out, "  ambiguous, two derivations of ") && ustring_append(out, root->name) &&
         ustring_append_cstr(out, ": ") && append_yield(&s, out) && ustring_append_cstr(out, "\n    reduce: ") &&
         append_tree(&s, root, reducing, out) && ustring_append_cstr(out, "\n    shift:  ") &&
         append_tree(&s, root, shifting, out) && ustring_push(out, U'\n');
  }
  close_search(&s);
  return ok;
}
