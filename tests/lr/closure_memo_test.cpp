#include "lr/closure_memo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lr/solver.h"
#include "support/test_grammar.h"

namespace {

bool same_groups(const item_groups* a, const item_groups* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->count != b->count || std::memcmp(a->cores, b->cores, a->count * sizeof(size_t)) != 0) return false;
  return std::memcmp(a->sets, b->sets, a->count * a->words * sizeof(lookahead_word)) == 0;
}

// What the whole closure of a kernel gives: its keys in order, the successor on each, and its reductions.
struct full_closure {
  std::vector<size_t> keys;
  std::vector<item_groups*> successors;
  item_groups* reductions = nullptr;
  ~full_closure() {
    for (item_groups* g : successors) item_groups_free(g);
    item_groups_free(reductions);
  }
};

void close_fully(closure* c, const item_groups* kernel, full_closure* out) {
  closure_solve(c, kernel);
  closure_group_successors(c);
  bool failed = false;
  out->reductions = closure_reductions(c, &failed);
  for (size_t key = closure_next_key(c, 0); key != SIZE_MAX; key = closure_next_key(c, key + 1)) {
    closure_fill_successor(c, key);
    out->keys.push_back(key);
    out->successors.push_back(closure_successor_copy(c));
  }
  closure_reset(c);
}

const state* state_with_kernel(const solver* s, const item_groups* kernel) {
  for (size_t k = 0; k < s->states->count; ++k) {
    if (same_groups(s->states->items[k]->kernel, kernel)) return s->states->items[k];
  }
  return nullptr;
}

// Every state of the solved grammar closed twice, once whole and once
// through the memo as the construction does: the keys, the reductions and
// every successor, known from a context or formed from the entries it
// chose, must be the same.
void expect_memo_agrees(const char* text, size_t* entered) {
  grammar* g = read_test_grammar(text);
  ASSERT_NE(g, nullptr);
  solver* s = solver_new();
  testing::internal::CaptureStderr();
  bool solved = solve_grammar(s, g);
  testing::internal::GetCapturedStderr();
  closure* c = closure_new(s->cores);
  closure_memo* memo = closure_memo_new(s->cores->core_count);
  for (size_t k = 0; solved && k < s->states->count; ++k) {
    const item_groups* kernel = s->states->items[k]->kernel;
    full_closure whole;
    close_fully(c, kernel, &whole);
    closure_close(c, kernel);
    closure_context* x = closure_memo_find(memo, c);
    if (x != nullptr) {
      closure_memo_enter(memo, x, c);
      ++*entered;
    } else {
      closure_add_rules(c);
    }
    closure_group_successors(c);
    bool failed = false;
    item_groups* reductions = closure_reductions(c, &failed);
    EXPECT_TRUE(same_groups(reductions, whole.reductions)) << text << " state " << k;
    item_groups_free(reductions);
    if (x == nullptr) x = closure_memo_add(memo, c, &failed);
    ASSERT_FALSE(failed);
    size_t at = 0;
    size_t position = 0;
    for (size_t key = closure_next_key(c, 0); key != SIZE_MAX; key = closure_next_key(c, key + 1), ++position) {
      ASSERT_LT(position, whole.keys.size()) << text << " state " << k;
      ASSERT_EQ(key, whole.keys[position]) << text << " state " << k;
      state** known = x != nullptr && !closure_kernel_expects(c, key) ? closure_context_target(x, key, &at) : nullptr;
      if (known != nullptr && *known != nullptr) {
        EXPECT_TRUE(same_groups((*known)->kernel, whole.successors[position])) << text << " state " << k;
        continue;
      }
      closure_fill_successor(c, key);
      item_groups* formed = closure_successor_copy(c);
      EXPECT_TRUE(same_groups(formed, whole.successors[position])) << text << " state " << k << " key " << key;
      if (known != nullptr) *known = const_cast<state*>(state_with_kernel(s, formed));
      item_groups_free(formed);
    }
    EXPECT_EQ(position, whole.keys.size()) << text << " state " << k;
    closure_reset(c);
  }
  closure_memo_free(memo);
  closure_free(c);
  solver_free(s);
  grammar_free(g);
}

TEST(ClosureMemo, SharedContextsGiveTheSuccessorsAndReductionsOfTheWholeClosure) {
  size_t entered = 0;
  for (uint64_t seed = 0; seed < 300; ++seed) {
    std::string text = random_grammar_text(seed);
    expect_memo_agrees(text.c_str(), &entered);
    if (testing::Test::HasFatalFailure()) return;
  }
  expect_memo_agrees(keyword_statements_grammar, &entered);
  EXPECT_GT(entered, 20u);  // the memo was used, not only filled
}

}  // namespace
