#include "output/conflict_warnings.h"

#include "lr/ambiguity.h"
#include "lr/conflict_example.h"

namespace {

constexpr source_position nowhere{0, 0};

const char* plural(size_t count) { return count == 1 ? "" : "s"; }

// Sends text through the sink line by line: the first as a warning, the rest as its continuation.
void warn_lines(diagnostics* d, const ustring* text) {
  const char* bytes = reinterpret_cast<const char*>(text->data);
  size_t start = 0;
  for (size_t k = 0; k < text->size; ++k) {
    if (bytes[k] != '\n') continue;
    int length = static_cast<int>(k - start);
    if (start == 0) {
      diagnostics_warning(d, nowhere, "%.*s", length, bytes);
    } else {
      diagnostics_line(d, "%.*s", length, bytes + start);
    }
    start = k + 1;
  }
}

// False when memory ran out before every explanation was written.
bool explain_first_conflicts(diagnostics* d, const grammar* g, const solver* s) {
  const state* targets[explained_conflicts];
  size_t target_count = 0;
  for (size_t k = 0; k < s->conflicts->count && target_count < explained_conflicts; ++k) {
    if (conflict_is_unresolved(s->conflicts->items[k])) targets[target_count++] = s->conflicts->items[k].state;
  }
  state_paths* paths = state_paths_new(s, targets, target_count);
  ustring* text = ustring_new();
  bool complete = paths != nullptr && text != nullptr;
  size_t explained = 0;
  size_t trees_left = ambiguity_search_budget;
  for (size_t k = 0; complete && k < s->conflicts->count && explained < explained_conflicts; ++k) {
    const conflict& c = s->conflicts->items[k];
    if (!conflict_is_unresolved(c)) continue;
    ustring_clear(text);
    complete = explain_conflict(g, s, paths, c, &trees_left, text);
    if (complete) warn_lines(d, text);
    ++explained;
  }
  ustring_free(text);
  state_paths_free(paths);
  return complete;
}

}  // namespace

bool warn_about_conflicts(diagnostics* d, const grammar* g, const solver* s) {
  size_t count = conflicts_unresolved(s->conflicts);
  bool expected = g->expected_conflicts >= 0;
  if (expected && static_cast<size_t>(g->expected_conflicts) == count) return true;
  if (count > 0) {
    diagnostics_warning(d, nowhere, "%zu shift/reduce conflict%s resolved by shifting", count, plural(count));
    if (!explain_first_conflicts(d, g, s)) {
      diagnostics_line(d, "Error: Unable to explain the shift/reduce conflicts.");
      return false;
    }
  }
  if (!expected) return true;
  size_t wanted = static_cast<size_t>(g->expected_conflicts);
  diagnostics_error(d, nowhere, "error: expected %zu shift/reduce conflict%s, found %zu", wanted, plural(wanted), count);
  return false;
}
