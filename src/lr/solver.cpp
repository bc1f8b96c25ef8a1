#include "lr/solver.h"

#include <cstring>

#include "grammar/nonterm.h"
#include "lr/closure.h"
#include "lr/closure_memo.h"
#include "lr/conflict_example.h"
#include "lr/first_follow.h"
#include "lr/row_draft.h"
#include "text/array_block.h"

namespace {

// True when a nonzero state limit leaves no room for one more state.
bool at_state_limit(const solver* s) { return s->state_limit != 0 && s->states->count >= s->state_limit; }

// The start state: its kernel is the start item, or every alternative of a
// named start symbol, each before its first symbol and followed by the end of
// input; its closure is made when it is explored.
state* make_start_state(solver* s) {
  state* start = state_new_compact();
  if (start == nullptr) return nullptr;
  const rules* alternatives = s->start_symbol->rules;
  size_t count = s->accepted_rule != nullptr ? 1 : alternatives->count;
  start->kernel = item_groups_new(count, s->cores->words);
  if (start->kernel == nullptr) {
    state_free(start);
    return nullptr;
  }
  for (size_t k = 0; k < count; ++k) {
    const rule* r = s->accepted_rule != nullptr ? s->accepted_rule : alternatives->items[k];
    start->kernel->cores[k] = s->cores->core_base[r->id];  // rules of one head have ascending ids, so cores ascend
    lookahead_set_add(item_groups_set(start->kernel, k), s->cores->end_marker_bit);
  }
  item_groups_rehash(start->kernel);
  return start;
}

bool add_start_state(solver* s) {
  state* start = make_start_state(s);
  if (start == nullptr) return false;
  start->id = 0;
  if (!state_push(s->states, start)) {
    state_free(start);
    return false;
  }
  return hash_index_add(&s->state_index, start->kernel->hash, start);
}

// The transitions of the state being explored, by the place of their
// symbol in symbol order: found key by key in exploration order, they are
// read back in the order the state keeps them.
struct found_transitions {
  void* arrays;           // the one block of the arrays below, owned
  state** by_rank;        // by place in symbol order: the target, when ranks holds it
  lookahead_word* ranks;  // the places of the transitions found so far
  size_t words;           // words of ranks
  symbol* symbols;        // while recording: the symbols of the transitions found, ascending
  state** targets;        // while recording: their targets
};

// Lays out found's arrays for the keys of t, no transition found; false when memory is exhausted.
bool found_transitions_new(found_transitions* found, const core_table* t) {
  size_t keys = t->term_count + t->nonterm_count;
  found->words = lookahead_words_for(keys);
  found->arrays = array_block_new([found, keys](array_block* b) {
    array_block_take(b, &found->by_rank, keys);
    array_block_take(b, &found->ranks, found->words);
    array_block_take(b, &found->symbols, keys);
    array_block_take(b, &found->targets, keys);
  });
  return found->arrays != nullptr;
}

// Notes the transition on key's symbol to target at the symbol's place.
void found_transitions_add(found_transitions* found, const core_table* t, size_t key, state* target) {
  size_t rank = t->key_rank[key];
  found->by_rank[rank] = target;
  lookahead_set_add(found->ranks, rank);
}

// Gives from the transitions found, a list shared with every state that has the same, and empties found.
bool record_transitions(solver* s, state* from, found_transitions* found) {
  const core_table* t = s->cores;
  size_t count = 0;
  for (size_t rank = lookahead_set_next(found->ranks, 0, found->words); rank != SIZE_MAX;
       rank = lookahead_set_next(found->ranks, rank + 1, found->words)) {
    found->symbols[count] = core_table_key_symbol(t, t->key_by_rank[rank]);
    found->targets[count++] = found->by_rank[rank];
  }
  std::memset(found->ranks, 0, found->words * sizeof(lookahead_word));
  return state_share_transitions(from, &s->transition_index, found->symbols, found->targets, count);
}

// The state reached on key: known from the context of the closure's added
// entries when no kernel entry expects key and a state explored before
// found it, and formed from the closure otherwise; null when memory is
// exhausted or the state limit is reached.
state* state_after_key(solver* s, closure* c, states* worklist, closure_context* context, size_t key, size_t* at) {
  state** known = context != nullptr && !closure_kernel_expects(c, key) ? closure_context_target(context, key, at) : nullptr;
  if (known != nullptr && *known != nullptr) return *known;
  closure_fill_successor(c, key);
  state* target = solve_state_after_symbol(s, worklist, c);
  if (known != nullptr) *known = target;
  return target;
}

// Closes from, adding only the rules its kernel's symbols need when an
// earlier state closed over the same nonterminals with the same lookaheads,
// keeps its completed items for its row, and records a transition on every
// symbol its items expect, those that only added rules expect as the
// context knows them. When no kernel entry expects a terminal, the moves on
// terminals are the added entries' alone, the same for every state of the
// context: once one such state has made its list, the others take it and
// visit only the nonterminals.
bool explore_state(solver* s, closure* c, closure_memo* memo, states* worklist, state* from, found_transitions* found) {
  closure_close(c, from->kernel);
  closure_context* context = closure_memo_find(memo, c);
  if (context != nullptr) {
    closure_memo_enter(memo, context, c);
  } else {
    closure_add_rules(c);
  }
  closure_group_successors(c);
  bool failed = false;
  from->reductions = closure_reductions(c, &failed);
  if (context == nullptr && !failed) context = closure_memo_add(memo, c, &failed);
  bool moves_of_context = context != nullptr && !closure_kernel_expects_terminal(c);
  const term_transitions* known_moves = moves_of_context ? context->moves : nullptr;
  size_t at = 0;
  for (size_t key = closure_next_key(c, known_moves != nullptr ? s->cores->term_count : 0); !failed && key != SIZE_MAX;
       key = closure_next_key(c, key + 1)) {
    state* target = state_after_key(s, c, worklist, context, key, &at);
    failed = target == nullptr;
    found_transitions_add(found, s->cores, key, target);
  }
  closure_reset(c);
  if (failed || !record_transitions(s, from, found)) return false;
  if (known_moves != nullptr) {
    from->transitions = const_cast<term_transitions*>(known_moves);
  } else if (moves_of_context && from->transitions != nullptr && from->transitions->shared) {
    context->moves = from->transitions;
  }
  return true;
}

bool explore_all(solver* s, closure* c, states* worklist) {
  found_transitions found{};
  closure_memo* memo = closure_memo_new(s->cores->core_count);
  bool explored = found_transitions_new(&found, s->cores) && memo != nullptr && state_push(worklist, s->states->items[0]);
  while (explored && worklist->count > 0) explored = explore_state(s, c, memo, worklist, state_pop(worklist), &found);
  closure_memo_free(memo);
  memory_release(found.arrays);
  return explored;
}

// The completed items of a state, rule by rule in item order, with their lookaheads;
// after a reduce conflict *clash is its lookahead.
bool add_completions(const solver* s, row_draft* d, const item_groups* reductions, symbol* clash, bool* conflicted) {
  if (reductions == nullptr) return true;
  const core_table* t = s->cores;
  for (size_t k = 0; k < reductions->count; ++k) {
    size_t core = reductions->cores[k];
    rule* r = t->rule_by_id[t->core_rule[core]];
    bool accepting = solver_accepts(s, item_make(r, core - t->core_base[r->id], symbol_for_endmark()));
    if (!row_draft_add(d, r, item_groups_set(reductions, k), accepting, clash, conflicted)) return false;
  }
  return true;
}

// Drafts a state's row from its terminal transitions and its kept completed
// items, with its shift/reduce conflicts resolved and recorded and its
// default rule chosen; false after a reduce conflict report (then
// *conflicted is set) or when memory is exhausted.
bool draft_row(solver* s, row_draft* d, const state* st, symbol* clash, bool* conflicted) {
  size_t count = st->reductions == nullptr ? 0 : st->reductions->count;
  if (!row_draft_begin(d, st, count) || !add_completions(s, d, st->reductions, clash, conflicted) ||
      !row_draft_settle(d, s->conflicts)) {
    return false;
  }
  row_draft_choose_default(d);
  return true;
}

// Writes the example of a reduce conflict after its report: how the parser reaches it.
void print_reduce_conflict_example(const solver* s, const state* st, symbol lookahead) {
  state_paths* paths = state_paths_new(s, &st, 1);
  ustring* line = ustring_new();
  if (paths != nullptr && line != nullptr && ustring_append_cstr(line, "  example: ") &&
      append_conflict_example(line, paths, st, lookahead) && ustring_push(line, U'\n')) {
    ustring_print(line, stderr);
  }
  ustring_free(line);
  state_paths_free(paths);
}

// The shared row equal to the drafted one, built and added to the solver's rows when it is new; null when memory is exhausted.
action* share_row(solver* s, row_draft* d) {
  uint64_t hash = row_draft_hash(d);
  action* existing =
      hash_index_find(&s->action_index, hash, [d](const action* candidate) { return row_draft_matches(d, candidate); });
  if (existing != nullptr) return existing;
  action* row = row_draft_build(d);
  if (row == nullptr) return nullptr;
  if (!action_push(s->actions, row)) {
    action_free(row);
    return nullptr;
  }
  return hash_index_add(&s->action_index, hash, row) ? row : nullptr;
}

}  // namespace

solver* solver_new() {
  solver* s = memory_new_record<solver>();
  if (s == nullptr) return nullptr;
  s->states = states_new();
  s->actions = actions_new();
  s->conflicts = conflicts_new();
  if (s->states == nullptr || s->actions == nullptr || s->conflicts == nullptr) {
    solver_free(s);
    return nullptr;
  }
  return s;
}

void solver_free(solver* s) {
  if (s == nullptr) return;
  actions_clear(s->actions);
  actions_free(s->actions);
  states_clear(s->states);
  states_free(s->states);
  term_transitions_free_shared(&s->transition_index);
  core_table_free(s->cores);
  hash_index_clear(&s->state_index);
  hash_index_clear(&s->action_index);
  conflicts_free(s->conflicts);
  memory_release(s);
}

bool solve_grammar(solver* s, grammar* g) {
  if (s->cores != nullptr || s->states->count > 0) return false;  // a solver holds one automaton
  symbol end_marker = symbol_for_endmark();
  s->start_symbol = grammar_start_symbol(g);
  if (s->start_symbol == nullptr || s->start_symbol->rules->count == 0) return false;
  s->accepted_rule = g->declared_start != nullptr ? nullptr : grammar_first_rule(g);
  if (!solve_firsts(g->nonterms)) return false;
  if (!solve_follows(const_cast<nonterm*>(s->start_symbol), g->nonterms, end_marker)) return false;
  s->cores = core_table_new(g);
  if (s->cores == nullptr || !add_start_state(s)) return false;
  closure* c = closure_new(s->cores);
  states* worklist = states_new();
  bool explored = c != nullptr && worklist != nullptr && explore_all(s, c, worklist);
  closure_free(c);
  states_free(worklist);
  return explored && solver_actions(s);
}

state* solve_state_after_symbol(solver* s, states* worklist, const closure* c) {
  state* target = hash_index_find(&s->state_index, c->successor.hash,
                                  [c](const state* candidate) { return closure_successor_is(c, candidate->kernel); });
  if (target != nullptr) return target;
  if (at_state_limit(s)) return nullptr;
  target = state_new_compact();
  if (target == nullptr) return nullptr;
  target->kernel = closure_successor_copy(c);
  target->id = s->states->count;
  if (target->kernel == nullptr || !state_push(s->states, target)) {
    state_free(target);
    return nullptr;
  }
  if (!hash_index_add(&s->state_index, target->kernel->hash, target) || !state_push(worklist, target)) return nullptr;
  return target;
}

bool solver_actions(solver* s) {
  row_draft* d = row_draft_new(s->cores);
  if (d == nullptr) return false;
  bool built = true;
  for (size_t k = 0; built && k < s->states->count; ++k) {
    state* st = s->states->items[k];
    symbol clash = symbol_for_endmark();
    bool conflicted = false;
    if (!draft_row(s, d, st, &clash, &conflicted)) {
      if (conflicted) print_reduce_conflict_example(s, st, clash);
      built = false;
      break;
    }
    st->action = share_row(s, d);
    built = st->action != nullptr && state_solve_gotos(st);
  }
  row_draft_free(d);
  if (built) conflicts_sort(s->conflicts);
  return built;
}

bool solver_accepts(const solver* s, item i) {
  if (item_has_next(i) || i.lookahead.term != nullptr || i.lookahead.nonterm != nullptr) return false;
  return s->accepted_rule != nullptr ? i.rule == s->accepted_rule : i.rule->nonterm == s->start_symbol;
}

bool solver_state_items(const solver* s, const state* st, item_set* out) {
  closure* c = closure_new(s->cores);
  if (c == nullptr) return false;
  closure_solve(c, st->kernel);
  bool filled = closure_items(c, out);
  closure_free(c);
  return filled;
}
