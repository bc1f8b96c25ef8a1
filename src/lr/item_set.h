#ifndef VELLMARK_LR_ITEM_SET_H
#define VELLMARK_LR_ITEM_SET_H

#include <cstdio>

#include "lr/item.h"
#include "text/growable.h"

// Items without duplicates in descending item order: the greatest at index 0.
struct item_set : growable<item> {};

// An empty set with no storage; null when memory is exhausted.
item_set* item_set_new();

// Releases the storage and the set; accepts null.
void item_set_free(item_set* set);

// Adds i unless present (then *inserted, when given, becomes false); false, set and flag untouched, when the set cannot grow.
bool item_insert(item_set* set, item i, bool* inserted);

// Inserts every member of source in its order; false at the first failed insertion (earlier ones stay).
bool item_insert_set(item_set* set, const item_set* source);

// Removes and returns the last (least) member; the all-zero item when the set is empty.
item item_set_pop(item_set* set);

// True when both sets hold equal members position by position.
bool item_set_same(const item_set* a, const item_set* b);

// Writes every member as item_print does, each followed by a newline.
void item_set_print(const item_set* set, FILE* stream);

#endif
