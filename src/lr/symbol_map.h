#ifndef VELLMARK_LR_SYMBOL_MAP_H
#define VELLMARK_LR_SYMBOL_MAP_H

#include "grammar/rule.h"
#include "grammar/symbol.h"
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

// One node of a map from symbols to values, kept as a singly linked list in
// strictly ascending key order; the map is its first node, null when empty.
template <typename V>
struct symbol_map : symbol_map_value<V> {
  ::symbol symbol;
  symbol_map* next;
};

using state_map = symbol_map<state>;
using rule_map = symbol_map<rule>;

// The value field of a node, whatever its name, for code written once for both maps.
inline state*& symbol_map_target(symbol_map_value<state>* node) { return node->state; }
inline rule*& symbol_map_target(symbol_map_value<rule>* node) { return node->rule; }
inline state* symbol_map_target(const symbol_map_value<state>* node) { return node->state; }
inline rule* symbol_map_target(const symbol_map_value<rule>* node) { return node->rule; }

// A single node holding key -> value; null when memory is exhausted.
template <typename V>
symbol_map<V>* symbol_map_new(symbol key, V* value) {
  auto* node = memory_new_record<symbol_map<V>>();
  if (node == nullptr) return nullptr;
  node->symbol = key;
  symbol_map_target(node) = value;
  return node;
}

// Frees every node of the map; returns null.
template <typename V>
symbol_map<V>* symbol_map_free(symbol_map<V>* map) {
  while (map != nullptr) {
    symbol_map<V>* next = map->next;
    memory_release(map);
    map = next;
  }
  return nullptr;
}

// Links key -> value in key order unless the key is present (the stored value stays); false only when the node cannot be made.
template <typename V>
bool symbol_map_insert(symbol_map<V>** map, symbol key, V* value, bool* inserted) {
  symbol_map<V>* node = symbol_map_new(key, value);
  if (node == nullptr) return false;
  symbol_map<V>** link = map;
  while (*link != nullptr && symbol_less((*link)->symbol, key)) link = &(*link)->next;
  if (*link != nullptr && symbol_equals((*link)->symbol, key)) {
    memory_release(node);
    if (inserted != nullptr) *inserted = false;
    return true;
  }
  node->next = *link;
  *link = node;
  if (inserted != nullptr) *inserted = true;
  return true;
}

// The value stored under key; null when there is none.
template <typename V>
V* symbol_map_find(const symbol_map<V>* map, symbol key) {
  for (; map != nullptr; map = map->next) {
    if (symbol_equals(map->symbol, key)) return symbol_map_target(map);
    if (symbol_less(key, map->symbol)) break;  // keys ascend: it cannot come later
  }
  return nullptr;
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
  symbol_map<V>** link = map;
  while (*link != nullptr) {
    symbol_map<V>* node = *link;
    if (symbol_map_target(node) == value) {
      *link = node->next;
      memory_release(node);
    } else {
      link = &node->next;
    }
  }
}

// A single node holding key -> target; null when memory is exhausted.
state_map* state_map_new(symbol key, state* target);

// Frees every node; returns null.
state_map* state_map_free(state_map* map);

// Inserts key -> target in key order unless key is present (the first target stays, *inserted false); false only when memory is exhausted.
bool state_map_insert(state_map** map, symbol key, state* target, bool* inserted);

// The state stored under key; null when there is none.
state* state_map_find(const state_map* map, symbol key);

// True when both maps have the same keys with the same states in the same order; two empty maps are the same.
bool state_map_is_same(const state_map* a, const state_map* b);

// A single node holding key -> r; null when memory is exhausted.
rule_map* rule_map_new(symbol key, rule* r);

// Frees every node; returns null.
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
