// Runs the whole generator on arbitrary bytes: read the grammar, check it,
// write the token header, solve, explain the conflicts, write the parser
// source, the state report and the table report, all into the null device. The input size and the number of states are
// capped, because a few kilobytes of grammar can ask for an automaton of
// exponential size, which is a slow run rather than a fault.
#include "fuzz_input.h"
#include "grammar/grammar.h"
#include "grammar/grammar_check.h"
#include "grammar/grammar_reader.h"
#include "lr/solver.h"
#include "output/conflict_warnings.h"
#include "output/parser_writer.h"
#include "output/report.h"
#include "output/state_report.h"
#include "output/token_header.h"
#include "text/reader.h"

namespace {

constexpr size_t max_input_bytes = 4096;
constexpr size_t max_states = 1000;

FILE* sink = nullptr;  // the null device, standing in for the output files

// Every stage after reading, stopping at the first that fails; inputs of odd
// length have their names spelt with a prefix and their actions marked with
// #line directives. Messages go to the null device.
void generate(grammar* g, solver* s, size_t size) {
  bool odd = size % 2 != 0;
  const parser_options style{output_names{odd ? "fuzz_" : nullptr}, odd, "fuzz.y", "fuzz.tab.c"};
  diagnostics d = diagnostics_for("fuzz.y", sink);
  if (!grammar_check(g, &d)) return;
  if (!write_token_header(g, &style.names, sink)) return;
  s->state_limit = max_states;
  if (!solve_grammar(s, g)) return;
  warn_about_conflicts(&d, g, s);
  if (!write_parser(g, s, &style, sink)) return;
  if (!write_state_report(g, s, sink)) return;
  print_parser(g, s);
}

}  // namespace

// The report goes to standard output, which is pointed at the null device once.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sink = std::fopen("/dev/null", "w");
  if (sink == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > max_input_bytes) return -1;
  size_t live_before = memory_live_blocks();
  FILE* input = fuzz_open_input(data, size);
  if (input == nullptr) return 0;
  reader* r = reader_new(input);
  grammar* g = grammar_new();
  solver* s = solver_new();
  if (r != nullptr && g != nullptr && s != nullptr && grammar_read(g, r)) generate(g, s, size);
  solver_free(s);
  grammar_free(g);
  reader_free(r);
  std::fclose(input);
  fuzz_expect_no_lost_blocks(live_before);
  return 0;
}
