// The combs against the rows they are made from: for rows made at random,
// laid out one comb at a time and with one displacement per state shared by
// both combs, every state finds exactly its own entries, and nothing else.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "output/lookup_table.h"

namespace {

constexpr int first_high = 0x110000;

// Rows in the written layout: state k's entries are [start[k], start[k + 1]).
struct written {
  std::vector<int> start{0}, check, table, accept;

  table_rows rows(bool with_accept) const {
    return {start.data(), check.data(), table.data(), with_accept ? accept.data() : nullptr, start.size() - 1};
  }
};

// Up to most entries per state, over symbols symbols (token numbers from -1
// for actions, nonterminal ids for gotos), a symbol sometimes written twice;
// actions shift or reduce, and gotos lead to a few popular targets.
written random_rows(std::mt19937* random, size_t states, int symbols, size_t most, bool gotos) {
  written w;
  for (size_t k = 0; k < states; ++k) {
    size_t count = (*random)() % (most + 1);
    for (size_t i = 0; i < count; ++i) {
      int symbol = static_cast<int>((*random)() % static_cast<unsigned>(symbols)) - (gotos ? 0 : 1);
      int target = static_cast<int>((*random)() % (gotos ? 4 : states));
      w.check.push_back(symbol);
      w.table.push_back(gotos || (*random)() % 2 == 0 ? target + (gotos ? 0 : 1) : -(target + 1));
      w.accept.push_back(!gotos && (*random)() % 50 == 0 ? 1 : 0);
    }
    w.start.push_back(static_cast<int>(w.check.size()));
  }
  return w;
}

// What a scan of state k's written row decides for each symbol, in the
// comb's encoding: the first entry of a symbol wins; a goto that the
// default of its nonterminal decides has no entry.
std::map<long, int> expected_row(const written& w, size_t k, const column_map* map, const int* defaults) {
  std::map<long, int> row;
  for (int i = w.start[k]; i < w.start[k + 1]; ++i) {
    long column = map != nullptr ? lookup_column(map, w.check[i]) : w.check[i];
    if (row.count(column) != 0) continue;
    if (map == nullptr) {
      row[column] = w.table[i] == defaults[w.check[i]] ? 0 : w.table[i] + 1;
    } else {
      row[column] = w.table[i] > 0 ? lookup_shift_value(w.table[i] - 1)
                                   : lookup_reduce_value(-w.table[i] - 1, w.accept[i] == 1);
    }
  }
  return row;
}

// Every column up to widest of every state gives what the scan decides.
void expect_agreement(const written& w, const lookup_table& t, const column_map* map, const int* defaults,
                      long widest) {
  for (size_t k = 0; k + 1 < w.start.size(); ++k) {
    std::map<long, int> row = expected_row(w, k, map, defaults);
    for (long column = 0; column <= widest; ++column) {
      long slot = t.base[k] + column;
      int found = slot >= 0 && slot < static_cast<long>(t.length) && t.check[slot] == column ? t.value[slot] : 0;
      auto entry = row.find(column);
      ASSERT_EQ(found, entry == row.end() ? 0 : entry->second) << "state " << k << " column " << column;
    }
  }
}

struct shape {
  size_t states;
  int terminals;
  int nonterms;
  size_t most;  // entries per state and comb, at most
};

TEST(LookupTable, EveryStateFindsExactlyItsOwnEntries) {
  const shape shapes[] = {
      {40, 6, 4, 6},       // dense rows
      {300, 120, 30, 40},  // wide sparse rows
      {6000, 12, 30, 1},   // many states of one entry or none, as in grammars whose automata double per level
  };
  std::mt19937 random(11);
  for (const shape& s : shapes) {
    written actions = random_rows(&random, s.states, s.terminals, s.most, false);
    written gotos = random_rows(&random, s.states, s.nonterms, s.most, true);
    table_rows action_rows = actions.rows(true);
    table_rows goto_rows = gotos.rows(false);
    column_map map = lookup_columns(&action_rows, first_high);
    std::vector<int> defaults(static_cast<size_t>(s.nonterms));
    ASSERT_TRUE(lookup_goto_defaults(&goto_rows, defaults.size(), defaults.data()));
    lookup_table alone[2]{};
    lookup_table shared[2]{};
    ASSERT_TRUE(lookup_table_build_actions(&action_rows, &map, &alone[0]));
    ASSERT_TRUE(lookup_table_build_gotos(&goto_rows, defaults.data(), &alone[1]));
    ASSERT_TRUE(lookup_table_build_shared(&action_rows, &map, &goto_rows, defaults.data(), &shared[0], &shared[1]));
    for (const lookup_table* t : {alone, shared}) {
      expect_agreement(actions, t[0], &map, nullptr, s.terminals);
      expect_agreement(gotos, t[1], nullptr, defaults.data(), s.nonterms);
    }
    for (size_t k = 0; k < s.states; ++k) ASSERT_EQ(shared[0].base[k], shared[1].base[k]) << k;
    for (lookup_table& t : alone) lookup_table_release(&t);
    for (lookup_table& t : shared) lookup_table_release(&t);
  }
}

// The default of a nonterminal is its most frequent target, the smallest on
// a tie, and -1 for a nonterminal without gotos.
TEST(LookupTable, DefaultGotoIsTheMostFrequentTarget) {
  written w;
  w.check = {0, 1, 0, 1, 0, 1, 3};
  w.table = {5, 7, 5, 2, 9, 2, 4};
  w.start = {0, 2, 4, 7};
  table_rows rows = w.rows(false);
  std::vector<int> defaults(4);
  ASSERT_TRUE(lookup_goto_defaults(&rows, defaults.size(), defaults.data()));
  EXPECT_EQ(defaults, (std::vector<int>{5, 2, -1, 4}));
}

}  // namespace
