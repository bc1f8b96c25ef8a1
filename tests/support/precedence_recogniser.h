#ifndef VELLMARK_TESTS_SUPPORT_PRECEDENCE_RECOGNISER_H
#define VELLMARK_TESTS_SUPPORT_PRECEDENCE_RECOGNISER_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "grammar/term.h"

// The slow obvious reading of an expression grammar with operator precedence,
//   e : e OP e | '-' e | '(' e ')' | 'n'
// with one character per token: every parse tree of the input is made, and
// those that the levels and groupings of the operators forbid are dropped.
// A binary operator of level p keeps on its left only a tree whose top
// operator binds tighter, or as tightly when the level groups to the left,
// and on its right only one that binds tighter, or as tightly when the level
// groups to the right; a nonassociative level keeps neither at its own level.
// A unary minus has a level of its own: as the left operand of a binary
// operator it obeys the rule of a left operand, and over an operand whose top
// operator is binary that of a right operand.
class precedence_recogniser {
 public:
  struct level {
    char op;  // '~' stands for the unary minus
    int precedence;
    associativity grouping;
  };

  explicit precedence_recogniser(std::vector<level> levels) : levels_(std::move(levels)) {}

  // Each allowed reading of input in postfix: 'n', the operators, '~' for a unary minus.
  std::vector<std::string> readings(const std::string& input) {
    input_ = input;
    memo_.clear();
    std::vector<std::string> out;
    for (const tree& t : trees(0, input.size())) out.push_back(t.postfix);
    return out;
  }

 private:
  struct tree {
    std::string postfix;
    char top;  // the operator at the root, '~' for a unary minus, 0 for an operand or a parenthesis
  };

  const level* find(char op) const {
    for (const level& l : levels_) {
      if (l.op == op) return &l;
    }
    return nullptr;
  }

  // Whether an operand whose root operator is inner may stand on the given side of outer.
  bool may_stand(char inner, char outer, bool left) const {
    if (inner == 0) return true;
    if (inner == '~' && !left) return true;  // a minus that starts the right operand is read whole
    const level* in = find(inner);
    const level* out = find(outer);
    if (in->precedence != out->precedence) return in->precedence > out->precedence;
    return out->grouping == (left ? associativity::left : associativity::right);
  }

  const std::vector<tree>& trees(size_t from, size_t to) {
    auto key = std::make_pair(from, to);
    auto found = memo_.find(key);
    if (found != memo_.end()) return found->second;
    std::vector<tree> made;
    if (to - from == 1 && input_[from] == 'n') made.push_back({"n", 0});
    if (to - from >= 3 && input_[from] == '(' && input_[to - 1] == ')') {
      for (const tree& inside : trees(from + 1, to - 1)) made.push_back({inside.postfix, 0});
    }
    if (to - from >= 2 && input_[from] == '-') {
      for (const tree& operand : trees(from + 1, to)) {
        if (operand.top == 0 || operand.top == '~' || may_stand(operand.top, '~', false)) {
          made.push_back({operand.postfix + "~", '~'});
        }
      }
    }
    for (size_t at = from + 1; at + 1 < to; ++at) {
      char op = input_[at];
      if (find(op) == nullptr || op == '~') continue;
      for (const tree& left : trees(from, at)) {
        if (!may_stand(left.top, op, true)) continue;
        for (const tree& right : trees(at + 1, to)) {
          if (may_stand(right.top, op, false)) made.push_back({left.postfix + right.postfix + op, op});
        }
      }
    }
    return memo_[key] = made;
  }

  std::vector<level> levels_;
  std::string input_;
  std::map<std::pair<size_t, size_t>, std::vector<tree>> memo_;
};

#endif
