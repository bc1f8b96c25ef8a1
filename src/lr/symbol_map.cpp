#include "lr/symbol_map.h"

state_map* state_map_free(state_map* map) { return symbol_map_free(map); }

bool state_map_insert(state_map** map, symbol key, state* target, bool* inserted) {
  return symbol_map_insert(map, key, target, inserted);
}

state* state_map_find(const state_map* map, symbol key) { return symbol_map_find(map, key); }

bool state_map_is_same(const state_map* a, const state_map* b) { return symbol_map_is_same(a, b); }

rule_map* rule_map_free(rule_map* map) { return symbol_map_free(map); }

bool rule_map_insert(rule_map** map, symbol key, rule* r, bool* inserted) {
  return symbol_map_insert(map, key, r, inserted);
}

rule* rule_map_find(const rule_map* map, symbol key) { return symbol_map_find(map, key); }

bool rule_map_is_same(const rule_map* a, const rule_map* b) { return symbol_map_is_same(a, b); }

void rule_map_erase(rule_map** map, const rule* r) { symbol_map_erase_value(map, r); }
