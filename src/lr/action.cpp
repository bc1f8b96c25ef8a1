#include "lr/action.h"

#include <cstdio>

#include "text/memory.h"

action* action_new() { return memory_new_record<action>(); }

action* action_free(action* row) {
  if (row == nullptr) return nullptr;
  state_map_free(row->shifts);
  rule_map_free(row->reduces);
  rule_map_free(row->accepts);
  rule_map_free(row->errors);
  memory_release(row);
  return nullptr;
}

bool action_is_same(const action* a, const action* b) {
  return state_map_is_same(a->shifts, b->shifts) &&
         rule_map_is_same(a->reduces, b->reduces) && rule_map_is_same(a->accepts, b->accepts) &&
         rule_map_is_same(a->errors, b->errors) && a->default_rule == b->default_rule;
}

void print_reduce_conflict(const rule* stored, const rule* incoming) {
  std::fputs("Reduce Conflict\n", stderr);
  rule_print(stored, stderr);
  rule_print(incoming, stderr);
}

actions* actions_new() { return growable_new<actions>(); }

void actions_free(actions* array) { growable_free(array); }

void actions_clear(actions* array) {
  if (array == nullptr) return;
  for (size_t k = 0; k < array->count; ++k) action_free(array->items[k]);
  array->count = 0;
}

bool action_push(actions* array, action* row) { return growable_push(array, row); }
