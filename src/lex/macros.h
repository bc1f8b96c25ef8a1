#ifndef VELLMARK_LEX_MACROS_H
#define VELLMARK_LEX_MACROS_H

#include <cstddef>

#include "text/growable.h"
#include "text/reader.h"
#include "text/ustring.h"

// A named replacement text that rule expressions refer to as {name}.
struct macro {
  ustring* name;   // never empty; owned
  ustring* value;  // replacement text, stored unexpanded; never empty; owned
};

// The macros of one scanner description in definition order, names unique; owns its macros.
struct macro_table : growable<macro*> {};

// A macro holding copies of name and value; null after a message when either is empty, or
// silently when memory runs out.
macro* macro_new(const ustring* name, const ustring* value);

// Releases both strings and the record; accepts null.
void macro_free(macro* m);

// An empty table; null when memory runs out.
macro_table* macro_table_new();

// Releases every macro, the storage and the record; accepts null.
void macro_table_free(macro_table* table);

// Defines name as value, or replaces the value of an existing macro in its place; false after a
// message when either is empty, or silently when memory runs out (an existing value then stays).
bool macro_add(macro_table* table, const ustring* name, const ustring* value);

// The value of the first macro named name, still owned by the table; null when there is none.
ustring* macro_find(const macro_table* table, const ustring* name);

// True iff the input k characters past the reader's next one starts a reference {name} to a
// defined macro whose name is a proper name; consumes nothing.
bool is_macro(const macro_table* table, reader* r, size_t k);

// A new copy of text with every macro reference replaced by the macro's fully expanded value
// (quoted parts and escaped braces copied unchanged); null for empty text, an unknown or
// unterminated reference, a macro that refers back to itself, or when memory runs out.
ustring* macro_expand_new(const macro_table* table, const ustring* text);

#endif
