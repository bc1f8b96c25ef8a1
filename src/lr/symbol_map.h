#ifndef VELLMARK_LR_SYMBOL_MAP_H
#define VELLMARK_LR_SYMBOL_MAP_H

#include <cstddef>
#include <cstdint>

#include "grammar/rule.h"
#include "grammar/symbol.h"
#include "text/hash_index.h"
#include "text/memory.h"

struct state;

// The value field of a map node is named after what it refers to.
template <typename V>
struct symbol_map_value;

template <>
struct symbol_map_value<::state> {
  ::state* state;  // not owned
};

template <>
struct symbol_map_value<::rule> {
  ::rule* rule;  // not owned
};

template <typename V>
struct symbol_map_head;

// One node of a map from symbols to values: the nodes form a singly linked
// list in strictly ascending key order, and the map is its first node, null
// when empty. Readers walk the list through next; only the functions below
// link and unlink nodes, since they also keep the express lanes that make
// lookups and insertions logarithmic. A node whose key hashes to height h
// also stands on lanes 1 to h (its lane links follow the record in its
// block), and lane L links in key order every node at least L high: a search
// runs along the highest lane and drops one lane whenever the next step
// would pass the key. A quarter of the keys reach lane 1, a sixteenth lane
// 2, and so on, whatever the order of insertion.
template <typename V>
struct symbol_map : symbol_map_value<V> {
  ::symbol symbol;
  const symbol_map* next;   // the following node, null at the end
  symbol_map_head<V>* head; // on the first node: where each lane starts, owned; null on the others and when no node has lanes
};

using state_map = symbol_map<state>;
using rule_map = symbol_map<rule>;

// The starts of a map's lanes; the links follow the record in its block.
template <typename V>
struct symbol_map_head {
  size_t height;  // lanes held
  size_t packed;  // 0, or the nodes that the block also holds, in order and without lanes (symbol_map_pack): the map is then read and freed only
};

// The value field of a node, whatever its name, for code written once for both maps.
inline state*& symbol_map_target(symbol_map_value<state>* node) { return node->state; }
inline rule*& symbol_map_target(symbol_map_value<rule>* node) { return node->rule; }
inline state* symbol_map_target(const symbol_map_value<state>* node) { return node->state; }
inline rule* symbol_map_target(const symbol_map_value<rule>* node) { return node->rule; }

// The most lanes a map has: enough for many millions of keys.
constexpr size_t symbol_map_most_lanes = 16;

// The number of lanes a node with this key stands on, the same for every map.
inline size_t symbol_map_height(symbol key) {
  uint64_t hash = hash_mix(hash_mix(0, reinterpret_cast<uintptr_t>(key.term)), reinterpret_cast<uintptr_t>(key.nonterm));
  uint64_t bits = hash >> 32;  // the high half: the low bits of a product follow the aligned low bits of addresses
  size_t height = 0;
  while (height < symbol_map_most_lanes && (bits & 3) == 0) {
    ++height;
    bits >>= 2;
  }
  return height;
}

// The lane links of a node: link L - 1 is its successor on lane L.
template <typename V>
const symbol_map<V>** symbol_map_lanes(const symbol_map<V>* node) {
  return reinterpret_cast<const symbol_map<V>**>(const_cast<symbol_map<V>*>(node) + 1);
}

// The first node of each lane: link L - 1 starts lane L.
template <typename V>
const symbol_map<V>** symbol_map_head_lanes(symbol_map_head<V>* head) {
  return reinterpret_cast<const symbol_map<V>**>(head + 1);
}

template <typename V>
size_t symbol_map_head_height(const symbol_map_head<V>* head) {
  return head == nullptr ? 0 : head->height;
}

// A head with height lanes that keeps the lanes of head (which it replaces and frees); null, head untouched, when memory is exhausted.
template <typename V>
symbol_map_head<V>* symbol_map_head_raise(symbol_map_head<V>* head, size_t height) {
  auto* taller = static_cast<symbol_map_head<V>*>(
      memory_alloc_zero(1, sizeof(symbol_map_head<V>) + height * sizeof(symbol_map<V>*)));
  if (taller == nullptr) return nullptr;
  taller->height = height;
  for (size_t lane = 0; lane < symbol_map_head_height(head); ++lane) {
    symbol_map_head_lanes(taller)[lane] = symbol_map_head_lanes(head)[lane];
  }
  memory_release(head);
  return taller;
}

// For each level, the link after which key belongs: level 0 is the node
// list, level L the lane L; nodes below key come before the link.
template <typename V>
struct symbol_map_path {
  const symbol_map<V>** links[symbol_map_most_lanes + 1];
};

template <typename V>
void symbol_map_locate(symbol_map<V>** map, symbol_map_head<V>* head, symbol key, symbol_map_path<V>* path) {
  const symbol_map<V>* before = nullptr;  // the last node below key found so far; null while none is
  for (size_t lane = symbol_map_head_height(head); lane-- > 0;) {
    const symbol_map<V>** link =
        before == nullptr ? &symbol_map_head_lanes(head)[lane] : &symbol_map_lanes(before)[lane];
    while (*link != nullptr && symbol_less((*link)->symbol, key)) {
      before = *link;
      link = &symbol_map_lanes(before)[lane];
    }
    path->links[lane + 1] = link;
  }
  const symbol_map<V>** link = before == nullptr ? const_cast<const symbol_map<V>**>(map)
                                                 : &const_cast<symbol_map<V>*>(before)->next;
  while (*link != nullptr && symbol_less((*link)->symbol, key)) link = &const_cast<symbol_map<V>*>(*link)->next;
  path->links[0] = link;
}

// Takes node, which path leads to, out of the map and frees it; a first node hands the head on.
template <typename V>
void symbol_map_unlink(symbol_map<V>** map, const symbol_map_path<V>& path) {
  auto* node = const_cast<symbol_map<V>*>(*path.links[0]);
  size_t height = symbol_map_height(node->symbol);
  *path.links[0] = node->next;
  for (size_t lane = 0; lane < height; ++lane) *path.links[lane + 1] = symbol_map_lanes(node)[lane];
  if (node->head != nullptr) {
    if (*map != nullptr) {
      (*map)->head = node->head;
    } else {
      memory_release(node->head);
    }
  }
  memory_release(node);
}

// Frees every node of the map and its head; returns null.
template <typename V>
symbol_map<V>* symbol_map_free(symbol_map<V>* map) {
  if (map != nullptr && map->head != nullptr && map->head->packed != 0) {
    memory_release(map->head);  // the one block of the head and every node
    return nullptr;
  }
  if (map != nullptr) memory_release(map->head);
  while (map != nullptr) {
    auto* next = const_cast<symbol_map<V>*>(map->next);
    memory_release(map);
    map = next;
  }
  return nullptr;
}

// Links key -> value in key order unless the key is present (the stored value stays); false, map unchanged, only when memory is exhausted.
template <typename V>
bool symbol_map_insert(symbol_map<V>** map, symbol key, V* value, bool* inserted) {
  size_t height = symbol_map_height(key);
  auto* node = static_cast<symbol_map<V>*>(
      memory_alloc_zero(1, sizeof(symbol_map<V>) + height * sizeof(symbol_map<V>*)));
  if (node == nullptr) return false;
  symbol_map_head<V>* head = *map != nullptr ? (*map)->head : nullptr;
  if (height > symbol_map_head_height(head)) {
    symbol_map_head<V>* taller = symbol_map_head_raise(head, height);
    if (taller == nullptr) {
      memory_release(node);
      return false;
    }
    head = taller;
    if (*map != nullptr) (*map)->head = head;
  }
  symbol_map_path<V> path;
  symbol_map_locate(map, head, key, &path);
  if (*path.links[0] != nullptr && symbol_equals((*path.links[0])->symbol, key)) {
    memory_release(node);
    if (inserted != nullptr) *inserted = false;
    return true;
  }
  node->symbol = key;
  symbol_map_target(node) = value;
  node->next = *path.links[0];
  *path.links[0] = node;
  for (size_t lane = 0; lane < height; ++lane) {
    symbol_map_lanes(node)[lane] = *path.links[lane + 1];
    *path.links[lane + 1] = node;
  }
  if (*map == node) {
    if (node->next != nullptr) const_cast<symbol_map<V>*>(node->next)->head = nullptr;
    node->head = head;
  }
  if (inserted != nullptr) *inserted = true;
  return true;
}

// Makes the empty *map hold the entries that each(add) passes to
// add(key, value), keys strictly ascending, with its head and every node in
// one block: a map built at once and never changed costs one allocation
// instead of one per key, and its nodes follow one another, so that it is
// searched by bisection without lanes. Such a map may then only be read and
// freed; each is called twice. False, map empty, when memory is exhausted.
template <typename V, typename Each>
bool symbol_map_pack(symbol_map<V>** map, Each each) {
  size_t count = 0;
  each([&count](symbol, V*) { ++count; });
  if (count == 0) return true;
  auto* head = static_cast<symbol_map_head<V>*>(
      memory_alloc_zero(1, sizeof(symbol_map_head<V>) + count * sizeof(symbol_map<V>)));
  if (head == nullptr) return false;
  head->packed = count;
  auto* nodes = reinterpret_cast<symbol_map<V>*>(head + 1);
  size_t k = 0;
  each([nodes, &k](symbol key, V* value) {
    nodes[k].symbol = key;
    symbol_map_target(&nodes[k]) = value;
    if (k > 0) nodes[k - 1].next = &nodes[k];
    ++k;
  });
  nodes[0].head = head;
  *map = nodes;
  return true;
}

// The value stored under key; null when there is none.
template <typename V>
V* symbol_map_find(const symbol_map<V>* map, symbol key) {
  if (map == nullptr) return nullptr;
  const symbol_map<V>* node = map;  // the search stands before node, at the head while node is the first
  symbol_map_head<V>* head = map->head;
  if (head != nullptr && head->packed != 0) {
    size_t low = 0;
    size_t high = head->packed;
    while (low < high) {
      size_t middle = low + (high - low) / 2;
      if (symbol_less(map[middle].symbol, key)) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low < head->packed && symbol_equals(map[low].symbol, key) ? symbol_map_target(&map[low]) : nullptr;
  }
  const symbol_map<V>* before = nullptr;
  for (size_t lane = symbol_map_head_height(head); lane-- > 0;) {
    const symbol_map<V>* ahead = before == nullptr ? symbol_map_head_lanes(head)[lane] : symbol_map_lanes(before)[lane];
    while (ahead != nullptr && symbol_less(ahead->symbol, key)) {
      before = ahead;
      ahead = symbol_map_lanes(before)[lane];
    }
    if (ahead != nullptr && symbol_equals(ahead->symbol, key)) return symbol_map_target(ahead);
  }
  if (before != nullptr) node = before->next;
  while (node != nullptr && symbol_less(node->symbol, key)) node = node->next;
  return node != nullptr && symbol_equals(node->symbol, key) ? symbol_map_target(node) : nullptr;
}

// Removes key and its value; false when the key is not present.
template <typename V>
bool symbol_map_remove(symbol_map<V>** map, symbol key) {
  if (*map == nullptr) return false;
  symbol_map_path<V> path;
  symbol_map_locate(map, (*map)->head, key, &path);
  if (*path.links[0] == nullptr || !symbol_equals((*path.links[0])->symbol, key)) return false;
  symbol_map_unlink(map, path);
  return true;
}

// True when both maps hold equal keys with identical values position by position.
template <typename V>
bool symbol_map_is_same(const symbol_map<V>* a, const symbol_map<V>* b) {
  for (; a != nullptr && b != nullptr; a = a->next, b = b->next) {
    if (!symbol_equals(a->symbol, b->symbol)) return false;
    if (symbol_map_target(a) != symbol_map_target(b)) return false;
  }
  return a == nullptr && b == nullptr;
}

// Unlinks and frees every node whose value is value.
template <typename V>
void symbol_map_erase_value(symbol_map<V>** map, const V* value) {
  if (*map == nullptr) return;
  symbol_map_head<V>* head = (*map)->head;
  size_t lanes = symbol_map_head_height(head);
  symbol_map_path<V> path;  // walks along the list, one step behind on every level
  path.links[0] = const_cast<const symbol_map<V>**>(map);
  for (size_t lane = 0; lane < lanes; ++lane) path.links[lane + 1] = &symbol_map_head_lanes(head)[lane];
  while (*path.links[0] != nullptr) {
    const symbol_map<V>* node = *path.links[0];
    if (symbol_map_target(node) == value) {
      symbol_map_unlink(map, path);
      continue;
    }
    path.links[0] = &const_cast<symbol_map<V>*>(node)->next;
    size_t height = symbol_map_height(node->symbol);
    for (size_t lane = 0; lane < height; ++lane) path.links[lane + 1] = &symbol_map_lanes(node)[lane];
  }
}

// Frees every node and the head; returns null.
state_map* state_map_free(state_map* map);

// Inserts key -> target in key order unless key is present (the first target stays, *inserted false); false only when memory is exhausted.
bool state_map_insert(state_map** map, symbol key, state* target, bool* inserted);

// The state stored under key; null when there is none.
state* state_map_find(const state_map* map, symbol key);

// True when both maps have the same keys with the same states in the same order; two empty maps are the same.
bool state_map_is_same(const state_map* a, const state_map* b);

// Frees every node and the head; returns null.
rule_map* rule_map_free(rule_map* map);

// Inserts key -> r in key order unless key is present (the first rule stays, *inserted false); false only when memory is exhausted.
bool rule_map_insert(rule_map** map, symbol key, rule* r, bool* inserted);

// The rule stored under key; null when there is none.
rule* rule_map_find(const rule_map* map, symbol key);

// True when both maps have the same keys with the same rules in the same order; two empty maps are the same.
bool rule_map_is_same(const rule_map* a, const rule_map* b);

// Removes every node whose rule is r, whatever its key.
void rule_map_erase(rule_map** map, const rule* r);

#endif
