#ifndef VELLMARK_LEX_STARTS_H
#define VELLMARK_LEX_STARTS_H

#include "text/growable.h"
#include "text/reader.h"
#include "text/ustring.h"

// One start condition declared by "%x"; rules limited to it name it in angle brackets.
struct start {
  ustring* name;  // owned
};

// The start conditions in declaration order, "INITIAL" first; owns its entries.
struct starts : growable<start*> {};

// An empty table; null when memory runs out.
starts* starts_new();

// Releases every entry with its name, the storage and the record; accepts null.
void starts_free(starts* table);

// Appends a start condition that takes over name's text, leaving name empty for its owner to
// free; false (name untouched) when the table cannot grow or memory runs out.
bool start_push(starts* table, ustring* name);

// The first start condition named name; null when there is none.
start* start_find(const starts* table, const ustring* name);

// Skips white space and comments, consumes one character and, when it starts a name, the rest of
// the name; returns the new name, or null when a comment fails (after its message, nothing more
// consumed), when that first character (left consumed) cannot start a name, or memory runs out.
ustring* read_start_name(reader* r);

#endif
