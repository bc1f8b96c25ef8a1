#ifndef VELLMARK_GRAMMAR_ACTION_SCAN_H
#define VELLMARK_GRAMMAR_ACTION_SCAN_H

#include <cstddef>

#include "grammar/rule.h"
#include "text/diagnostics.h"
#include "text/ustring.h"

// An action's text split at its value references. "$$" and "$1" to "$9" are
// references only in the code itself: inside comments, string literals and
// character literals they are text like any other, so that those reach the
// generated parser as they were written.
enum class action_piece_kind { text, result, value };

struct action_piece {
  action_piece_kind kind;
  const unsigned char* bytes;  // text: the bytes to copy, within the action; references: null
  size_t size;                 // text: their count
  unsigned number;             // value: the digit d of "$d"
  source_position at;          // where the piece starts in the grammar file
};

// Walks one action's text; a plain record kept by its caller, owning nothing.
struct action_scan {
  const unsigned char* cursor;
  const unsigned char* end;
  source_position at;  // place of the cursor in the grammar file
  int context;         // the code, a comment, or a literal the cursor stands in
  bool escaped;        // inside a literal, the character before was an escaping backslash
};

// A scan of action (null or empty: no pieces) whose opening brace stands at start.
action_scan action_scan_over(const ustring* action, source_position start);

// Stores the next piece of the action in *piece; false when the text is used up.
bool action_scan_next(action_scan* scan, action_piece* piece);

// The tag of the value that reference number denotes in an action of r: the
// left-hand side's for "$$" (number 0), the d-th right-hand-side symbol's for
// "$d" (empty when the value has no type); null when d is past the end of
// the right-hand side.
const ustring* action_reference_tag(const rule* r, unsigned number);

#endif
