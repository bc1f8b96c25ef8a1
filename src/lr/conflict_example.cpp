#include "lr/conflict_example.h"

#include <algorithm>
#include <cstdint>

#include "grammar/nonterm.h"
#include "grammar/term.h"
#include "lr/ambiguity.h"
#include "text/memory.h"

namespace {

// The mark that stands where the parser is in a rule or an example: a bullet.
constexpr codepoint mark_point = 0x2022;

// The most shifting items a conflict's search considers; the rest make no other kind of example.
constexpr size_t most_shifting_items = 8;

// The most heads of other items of the state that the search starts from.
constexpr size_t most_contexts = 4;

// Visits the states of one breadth-first level in ascending order and collects the next level, sorted.
void visit_level(const solver* s, state_paths* paths, size_t* level, size_t level_count, size_t* next,
                 size_t* next_count, bool* seen) {
  std::sort(level, level + level_count);
  *next_count = 0;
  for (size_t k = 0; k < level_count; ++k) {
    const state* from = s->states->items[level[k]];
    // Transitions on terminals, then on nonterminals: every edge in symbol order.
    auto reach = [paths, next, next_count, seen, from](symbol x, const state* target) {
      size_t to = target->id;
      if (seen[to]) return;
      seen[to] = true;
      paths->previous[to] = from->id;
      paths->through[to] = x;
      next[(*next_count)++] = to;
    };
    for (size_t e = 0; e < state_transition_count(from); ++e) {
      const term_transition& move = term_transitions_items(from->transitions)[e];
      reach(symbol_for_term(move.term), move.target);
    }
    for (const state_map* edge = from->gotos; edge != nullptr; edge = edge->next) reach(edge->symbol, edge->state);
  }
}

// The items of st that shift lookahead, rule numbers ascending: the kernel of the state it shifts to, one mark back.
size_t shifting_items(const solver* s, const state* st, symbol lookahead, shifting_item* out, size_t most) {
  const state* target = state_transition(st, lookahead);
  if (target == nullptr || target->kernel == nullptr) return 0;
  const core_table* t = s->cores;
  size_t count = 0;
  for (size_t k = 0; k < target->kernel->count && count < most; ++k) {
    size_t core = target->kernel->cores[k] - 1;
    size_t id = t->core_rule[core];
    out[count++] = shifting_item{t->rule_by_id[id], core - t->core_base[id]};
  }
  return count;
}

// The distinct heads of the kernel items of st, in rule order.
size_t kernel_heads(const solver* s, const state* st, const nonterm** out, size_t most) {
  const core_table* t = s->cores;
  size_t count = 0;
  for (size_t k = 0; k < st->kernel->count && count < most; ++k) {
    const nonterm* head = t->rule_by_id[t->core_rule[st->kernel->cores[k]]]->nonterm;
    bool seen = false;
    for (size_t i = 0; i < count; ++i) seen = seen || out[i] == head;
    if (!seen) out[count++] = head;
  }
  return count;
}

}  // namespace

state_paths* state_paths_new(const solver* s, const state* const* targets, size_t target_count) {
  size_t count = s->states->count;
  state_paths* paths = memory_new_record<state_paths>();
  if (paths == nullptr) return nullptr;
  paths->count = count;
  paths->previous = static_cast<size_t*>(memory_alloc_zero(count + 1, sizeof(size_t)));
  paths->through = static_cast<symbol*>(memory_alloc_zero(count + 1, sizeof(symbol)));
  auto* seen = static_cast<bool*>(memory_alloc_zero(count + 1, sizeof(bool)));
  auto* level = static_cast<size_t*>(memory_alloc_zero(count + 1, sizeof(size_t)));
  auto* next = static_cast<size_t*>(memory_alloc_zero(count + 1, sizeof(size_t)));
  bool made = paths->previous != nullptr && paths->through != nullptr && seen != nullptr && level != nullptr &&
              next != nullptr;
  if (made && count > 0) {
    for (size_t k = 0; k < count; ++k) paths->previous[k] = SIZE_MAX;
    size_t level_count = 1;
    level[0] = 0;
    seen[0] = true;
    size_t reached = 0;  // targets reached, counted up to the first one not yet reached
    while (level_count > 0) {
      while (reached < target_count && seen[targets[reached]->id]) ++reached;
      if (targets != nullptr && reached == target_count) break;
      size_t next_count = 0;
      visit_level(s, paths, level, level_count, next, &next_count, seen);
      std::swap(level, next);
      level_count = next_count;
    }
  }
  memory_release(seen);
  memory_release(level);
  memory_release(next);
  if (!made) {
    state_paths_free(paths);
    return nullptr;
  }
  return paths;
}

void state_paths_free(state_paths* paths) {
  if (paths == nullptr) return;
  memory_release(paths->previous);
  memory_release(paths->through);
  memory_release(paths);
}

bool append_grammar_symbol(ustring* out, symbol x) {
  if (x.term == nullptr && x.nonterm == nullptr) return ustring_push(out, U'$');
  if (x.nonterm != nullptr) return ustring_append(out, x.nonterm->name);
  if (!term_is_quoted(x.term)) return ustring_append(out, x.term->name);
  return ustring_push(out, U'\'') && ustring_append(out, x.term->name) && ustring_push(out, U'\'');
}

bool append_marked_rule(ustring* out, const rule* r, size_t mark) {
  bool ok = ustring_append(out, r->nonterm->name) && ustring_append_cstr(out, " ->");
  for (size_t k = 0; ok && k <= r->symbols->count; ++k) {
    if (k == mark) ok = ustring_push(out, U' ') && ustring_push(out, mark_point);
    if (k == r->symbols->count) break;
    ok = ok && ustring_push(out, U' ') && append_grammar_symbol(out, r->symbols->items[k]);
  }
  return ok;
}

bool append_conflict_example(ustring* out, const state_paths* paths, const state* st, symbol lookahead) {
  size_t depth = 0;
  for (size_t at = st->id; paths->previous[at] != SIZE_MAX; at = paths->previous[at]) ++depth;
  auto* way = static_cast<size_t*>(memory_alloc_zero(depth + 1, sizeof(size_t)));
  if (way == nullptr) return false;
  size_t at = st->id;
  for (size_t d = depth; d > 0; --d, at = paths->previous[at]) way[d - 1] = at;
  bool ok = true;
  for (size_t d = 0; ok && d < depth; ++d) ok = append_grammar_symbol(out, paths->through[way[d]]) && ustring_push(out, U' ');
  memory_release(way);
  return ok && ustring_push(out, mark_point) && ustring_push(out, U' ') && append_grammar_symbol(out, lookahead);
}

bool solver_shifting_item(const solver* s, const state* st, symbol lookahead, const rule** r, size_t* mark) {
  shifting_item first{};
  if (shifting_items(s, st, lookahead, &first, 1) == 0) return false;
  *r = first.rule;
  *mark = first.mark;
  return true;
}

bool explain_conflict(const grammar* g, const solver* s, const state_paths* paths, const conflict& c,
                      size_t* trees_left, ustring* out) {
  shifting_item shifts[most_shifting_items];
  size_t shift_count = shifting_items(s, c.state, c.lookahead, shifts, most_shifting_items);
  char number[32];
  std::snprintf(number, sizeof number, "%zu", static_cast<size_t>(c.state->id));
  bool ok = ustring_append_cstr(out, "conflict in state ") && ustring_append_cstr(out, number) &&
            ustring_append_cstr(out, " on ") && append_grammar_symbol(out, c.lookahead) &&
            ustring_append_cstr(out, ": shift ");
  if (ok && shift_count > 0) ok = append_marked_rule(out, shifts[0].rule, shifts[0].mark);
  ok = ok && ustring_append_cstr(out, ", reduce ") && append_marked_rule(out, c.reduce, c.reduce->symbols->count) &&
       ustring_append_cstr(out, "; resolved by ") && ustring_append_cstr(out, resolution_text(c.how)) &&
       ustring_append_cstr(out, "\n  example: ") && append_conflict_example(out, paths, c.state, c.lookahead) &&
       ustring_push(out, U'\n');
  if (!ok || trees_left == nullptr) return ok;
  const nonterm* contexts[most_contexts];
  size_t context_count = kernel_heads(s, c.state, contexts, most_contexts);
  ambiguity_query query{c.reduce, c.lookahead.term, shifts, shift_count, contexts, context_count, trees_left};
  bool found = false;
  return append_ambiguity(g, query, out, &found);
}
