#include "lex/macros.h"

#include <cstdio>

#include "lex/directives.h"
#include "text/memory.h"

namespace {

constexpr const char* empty_macro_message = "Error: Macro must have a non-empty name and value.";

// True (after the message) when a definition lacks its name or its value.
bool refuse_empty(const ustring* name, const ustring* value) {
  if (ustring_length(name) != 0 && ustring_length(value) != 0) return false;
  diagnostics_line(nullptr, "%s", empty_macro_message);
  return true;
}

// The first macro whose name equals name; null when there is none.
macro* find_macro(const macro_table* table, const ustring* name) {
  for (size_t i = 0; i < table->count; ++i) {
    macro* m = table->items[i];
    if (m != nullptr && ustring_equal(m->name, name)) return m;
  }
  return nullptr;
}

// True iff the length characters from position first of the look-ahead spell name's bytes.
// Only called over characters that obey the name rule, which are all ASCII, so one character
// compares with one byte.
bool name_is_ahead(const ustring* name, reader* r, size_t first, size_t length) {
  if (name == nullptr || name->size != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (peek_way_ahead(r, first + i, nullptr) != name->data[i]) return false;
  }
  return true;
}

// The first macro named by the length characters from position first; null when there is none.
// Compares in place so that the look-ahead test never allocates and so never fails.
const macro* find_macro_ahead(const macro_table* table, reader* r, size_t first, size_t length) {
  for (size_t i = 0; i < table->count; ++i) {
    const macro* m = table->items[i];
    if (m != nullptr && name_is_ahead(m->name, r, first, length)) return m;
  }
  return nullptr;
}

// Length of the proper name starting at position first, when '}' follows it; 0 otherwise.
size_t reference_name_length(reader* r, size_t first) {
  if (!is_name_start(peek_way_ahead(r, first, nullptr))) return 0;
  size_t length = 1;
  unsigned char ended = 0;
  codepoint c = peek_way_ahead(r, first + length, &ended);
  while (!ended && is_name_char(c)) {
    ++length;
    c = peek_way_ahead(r, first + length, &ended);
  }
  return !ended && c == '}' ? length : 0;
}

// One text being expanded: the outermost text, or the value of a macro referred to from the
// text below it. The macro marks the frame so that a reference back to it is seen as a cycle.
struct expansion_frame {
  reader* source;
  const macro* expanding;  // null for the outermost text
  bool escaped;            // the previous character was an unescaped backslash
};

// The texts being expanded, innermost last; kept on the heap so that a long chain of macros
// referring to one another cannot exhaust the call stack.
struct expansion_stack : growable<expansion_frame> {};

// Starts expanding text on top of the stack; false when memory runs out or text is empty.
bool push_frame(expansion_stack* stack, const ustring* text, const macro* expanding) {
  reader* source = reader_new_string(text);
  if (source == nullptr) return false;
  if (!growable_push(stack, expansion_frame{source, expanding, false})) {
    reader_free(source);
    return false;
  }
  return true;
}

// Ends the innermost text.
void pop_frame(expansion_stack* stack) {
  --stack->count;
  reader_free(stack->items[stack->count].source);
}

// Releases every frame still open and the storage.
void release_stack(expansion_stack* stack) {
  while (stack->count > 0) pop_frame(stack);
  memory_release(stack->items);
}

// True iff the macro is already being expanded further down the stack.
bool is_expanding(const expansion_stack* stack, const macro* m) {
  for (size_t i = 0; i < stack->count; ++i) {
    if (stack->items[i].expanding == m) return true;
  }
  return false;
}

// Copies a quoted part after its opening quote, through the closing quote or to the end of the
// text; false on malformed text or when memory runs out.
bool copy_quoted(reader* source, ustring* output) {
  bool escaped = false;
  while (!at_end(source)) {
    codepoint c = read_next(source);
    if (c == no_character || !ustring_push(output, c)) return false;
    if (c == '"' && !escaped) return true;
    escaped = c == '\\' && !escaped;
  }
  return true;
}

// Reads the name of a reference after its '{' and consumes the '}'; null when the text ends
// first, is malformed, or memory runs out.
ustring* read_reference_name(reader* source) {
  ustring* name = ustring_new();
  while (name != nullptr) {
    if (at_end(source)) break;
    codepoint c = read_next(source);
    if (c == '}') return name;
    if (c == no_character || !ustring_push(name, c)) break;
  }
  ustring_free(name);
  return nullptr;
}

// Replaces the reference whose '{' was just read by opening its macro's value on the stack;
// false for an unknown name, an empty value, a cycle, or when memory runs out.
bool open_reference(const macro_table* table, expansion_stack* stack, reader* source) {
  ustring* name = read_reference_name(source);
  if (name == nullptr) return false;
  const macro* m = find_macro(table, name);
  ustring_free(name);
  if (m == nullptr || ustring_length(m->value) == 0 || is_expanding(stack, m)) return false;
  return push_frame(stack, m->value, m);
}

// Handles the next character of the innermost text; false when the expansion fails.
bool expand_next(const macro_table* table, expansion_stack* stack, ustring* output) {
  expansion_frame* frame = &stack->items[stack->count - 1];
  reader* source = frame->source;
  codepoint c = read_next(source);
  if (c == no_character) return false;
  if (c == '\\') {
    frame->escaped = !frame->escaped;
    return ustring_push(output, c);
  }
  bool escaped = frame->escaped;
  frame->escaped = false;
  if (c == '"' && !escaped) return ustring_push(output, c) && copy_quoted(source, output);
  if (c == '{' && !escaped) return open_reference(table, stack, source);
  return ustring_push(output, c);
}

// Expands until every open text is exhausted; false when the expansion fails.
bool expand_all(const macro_table* table, expansion_stack* stack, ustring* output) {
  while (stack->count > 0) {
    if (at_end(stack->items[stack->count - 1].source)) {
      pop_frame(stack);
    } else if (!expand_next(table, stack, output)) {
      return false;
    }
  }
  return true;
}

}  // namespace

macro* macro_new(const ustring* name, const ustring* value) {
  if (refuse_empty(name, value)) return nullptr;
  macro* m = memory_new_record<macro>();
  if (m == nullptr) return nullptr;
  m->name = ustring_copy(name);
  m->value = ustring_copy(value);
  if (m->name == nullptr || m->value == nullptr) {
    macro_free(m);
    return nullptr;
  }
  return m;
}

void macro_free(macro* m) {
  if (m == nullptr) return;
  ustring_free(m->name);
  ustring_free(m->value);
  memory_release(m);
}

macro_table* macro_table_new() { return growable_new<macro_table>(); }

void macro_table_free(macro_table* table) {
  if (table == nullptr) return;
  for (size_t i = 0; i < table->count; ++i) macro_free(table->items[i]);
  growable_free(table);
}

bool macro_add(macro_table* table, const ustring* name, const ustring* value) {
  if (refuse_empty(name, value)) return false;
  macro* existing = find_macro(table, name);
  if (existing != nullptr) {
    // Copy first, so that a failed copy leaves the old value whole.
    ustring* copy = ustring_copy(value);
    if (copy == nullptr) return false;
    ustring_move(existing->value, copy);
    ustring_free(copy);
    return true;
  }
  if (!growable_make_room(table)) return false;
  macro* m = macro_new(name, value);
  if (m == nullptr) return false;
  return growable_push(table, m);
}

ustring* macro_find(const macro_table* table, const ustring* name) {
  macro* m = find_macro(table, name);
  return m == nullptr ? nullptr : m->value;
}

bool is_macro(const macro_table* table, reader* r, size_t k) {
  if (peek_way_ahead(r, k, nullptr) != '{') return false;
  size_t length = reference_name_length(r, k + 1);
  if (length == 0) return false;
  const macro* m = find_macro_ahead(table, r, k + 1, length);
  return m != nullptr && ustring_length(m->value) != 0;
}

ustring* macro_expand_new(const macro_table* table, const ustring* text) {
  ustring* output = ustring_new();
  if (output == nullptr) return nullptr;
  expansion_stack stack = {};
  bool expanded = push_frame(&stack, text, nullptr) && expand_all(table, &stack, output);
  release_stack(&stack);
  if (!expanded) {
    ustring_free(output);
    return nullptr;
  }
  return output;
}
