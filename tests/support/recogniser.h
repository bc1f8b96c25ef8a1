#ifndef VELLMARK_TESTS_SUPPORT_RECOGNISER_H
#define VELLMARK_TESTS_SUPPORT_RECOGNISER_H

#include <vector>

#include "grammar/grammar.h"
#include "grammar/symbol.h"
#include "lr/item.h"
#include "lr/item_set.h"
#include "lr/solver.h"

// The slow obvious recogniser: whether the right-hand side of the grammar's
// first rule derives the terminals, given by their ids. It grows a table of
// which nonterminal derives which stretch of the input until nothing changes.
class recogniser {
 public:
  recogniser(const grammar* g, const std::vector<size_t>& input)
      : g_(g), input_(input), n_(input.size() + 1), derives_(g->nonterms->count * n_ * n_, false) {}

  bool accepts() {
    for (bool changed = true; changed;) {
      changed = false;
      for (size_t a = 0; a < g_->nonterms->count; ++a) {
        const rules* alternatives = g_->nonterms->items[a]->rules;
        for (size_t i = 0; i < n_; ++i) {
          for (size_t j = i; j < n_; ++j) {
            if (derives_[index(a, i, j)]) continue;
            for (size_t k = 0; k < alternatives->count && !derives_[index(a, i, j)]; ++k) {
              if (sequence_derives(alternatives->items[k]->symbols, i, j)) derives_[index(a, i, j)] = changed = true;
            }
          }
        }
      }
    }
    const rule* first = grammar_first_rule(g_);
    return first != nullptr && sequence_derives(first->symbols, 0, n_ - 1);
  }

 private:
  size_t index(size_t a, size_t i, size_t j) const { return (a * n_ + i) * n_ + j; }

  bool symbol_derives(symbol s, size_t i, size_t j) const {
    if (s.term != nullptr) return j == i + 1 && input_[i] == s.term->id;
    return derives_[index(s.nonterm->id, i, j)];
  }

  // Whether the symbols derive input[i, j), by the positions reachable after each symbol.
  bool sequence_derives(const symbols* sequence, size_t i, size_t j) const {
    std::vector<bool> reached(n_, false);
    reached[i] = true;
    for (size_t k = 0; k < sequence->count; ++k) {
      std::vector<bool> next(n_, false);
      for (size_t p = i; p <= j; ++p) {
        if (!reached[p]) continue;
        for (size_t q = p; q <= j; ++q) {
          if (symbol_derives(sequence->items[k], p, q)) next[q] = true;
        }
      }
      reached.swap(next);
    }
    return reached[j];
  }

  const grammar* g_;
  std::vector<size_t> input_;
  size_t n_;
  std::vector<bool> derives_;
};

// Whether some state of a solved grammar has two actions on one lookahead
// (shift, reduce or accept), of which the tables keep only one.
inline bool has_conflicts(const solver* s) {
  for (size_t k = 0; k < s->states->count; ++k) {
    item_set* items = item_set_new();
    solver_state_items(s, s->states->items[k], items);
    std::vector<symbol> lookaheads;  // one per action
    for (size_t i = 0; i < items->count; ++i) {
      item it = items->items[i];
      if (!item_has_next(it)) {
        lookaheads.push_back(it.lookahead);
      } else if (item_next_symbol(it).term != nullptr) {
        // Items shifting one terminal are one action.
        bool seen = false;
        for (size_t m = 0; m < i; ++m) {
          item other = items->items[m];
          seen = seen || (item_has_next(other) && symbol_equals(item_next_symbol(other), item_next_symbol(it)));
        }
        if (!seen) lookaheads.push_back(item_next_symbol(it));
      }
    }
    item_set_free(items);
    for (size_t a = 0; a < lookaheads.size(); ++a) {
      for (size_t b = a + 1; b < lookaheads.size(); ++b) {
        if (symbol_equals(lookaheads[a], lookaheads[b])) return true;
      }
    }
  }
  return false;
}

#endif
