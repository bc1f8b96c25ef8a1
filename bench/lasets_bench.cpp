// Measures the canonical LR(1) construction on members of the "lasets"
// family, generated here for any number of levels: level n has 2^(n+3) - 5
// states while the grammar grows by only five rules a level. Each member
// runs in a child process, so that its peak memory is its own; a member that
// runs out of memory fails with the program's own message rather than
// taking the benchmark down.
//
// Usage: lasets_bench [levels...]   (default: 10 12 14 16)
//        lasets_bench --report [levels...]   also prints the table report to /dev/null

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "child_run.h"
#include "grammar/grammar.h"
#include "grammar/grammar_reader.h"
#include "lr/solver.h"
#include "output/report.h"
#include "text/reader.h"
#include "text/ustring.h"

namespace {

constexpr int default_levels[] = {10, 12, 14, 16};
constexpr int most_levels = 40;

// What a child reports back through its pipe.
struct measurement {
  int read;
  int solved;
  int reported;
  size_t rules;
  size_t states;
  size_t rows;
  double solve_seconds;
};

// Appends printf-formatted text to the grammar being built; false when it cannot grow.
bool append(ustring* text, const char* format, int a, int b = 0) {
  char piece[160];
  std::snprintf(piece, sizeof piece, format, a, b);
  return ustring_append_cstr(text, piece);
}

// The member with the given number of levels, as grammar text; null when memory runs out.
ustring* lasets_grammar(int levels) {
  ustring* text = ustring_new();
  bool made = text != nullptr && ustring_append_cstr(text, "%token");
  for (int i = 1; made && i <= levels; ++i) made = append(text, " X%d", i);
  made = made && ustring_append_cstr(text, "\n%%\nS : A1 { } ;\n");
  for (int i = 1; made && i <= levels; ++i) {
    made = append(text, "A%d : 'a' A%d ", i, i + 1) && append(text, "B%d { } | 'b' A%d ", i, i + 1) &&
           append(text, "C%d { } ;\n", i) && append(text, "B%d : X%d { } | { } ;\n", i, i) &&
           append(text, "C%d : { } ;\n", i);
  }
  made = made && append(text, "A%d : 'c' { } ;\n", levels + 1);
  if (made) return text;
  ustring_free(text);
  return nullptr;
}

// Prints the report to the null device; false when it stopped short.
bool report_to_null(const grammar* g, const solver* s) {
  std::fflush(stdout);
  int saved = dup(STDOUT_FILENO);
  int null_output = open("/dev/null", O_WRONLY);
  if (saved < 0 || null_output < 0) return false;
  dup2(null_output, STDOUT_FILENO);
  close(null_output);
  bool complete = print_parser(g, s);
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  return complete;
}

// The child's work: read, solve and, when asked, report one member.
measurement run_member(int levels, bool report) {
  measurement m{};
  ustring* text = lasets_grammar(levels);
  reader* r = text != nullptr ? reader_new_string(text) : nullptr;
  grammar* g = grammar_new();
  solver* s = solver_new();
  if (r != nullptr && g != nullptr && s != nullptr && grammar_read(g, r)) {
    m.read = 1;
    m.rules = grammar_rule_count(g);
    double start = now_seconds();
    m.solved = solve_grammar(s, g);
    m.solve_seconds = now_seconds() - start;
    if (!m.solved) std::fputs("Unable to solve states of the grammar.\n", stderr);
    m.states = s->states->count;
    m.rows = s->actions->count;
    m.reported = m.solved && report && report_to_null(g, s);
  }
  solver_free(s);
  grammar_free(g);
  reader_free(r);
  ustring_free(text);
  return m;
}

// Runs one member in a child; false when the child could not be run or died.
bool measure(int levels, bool report, measurement* m, double* seconds, long* peak_kib) {
  return run_in_child([levels, report] { return run_member(levels, report); }, m, seconds, peak_kib);
}

}  // namespace

int main(int argc, char** argv) {
  bool report = argc > 1 && std::strcmp(argv[1], "--report") == 0;
  int first = report ? 2 : 1;
  int levels[most_levels];
  int count = 0;
  for (int i = first; i < argc && count < most_levels; ++i) {
    int n = std::atoi(argv[i]);
    if (n < 1 || n > 28) {
      std::printf("Levels must be between 1 and 28: %s\n", argv[i]);
      return 1;
    }
    levels[count++] = n;
  }
  if (count == 0) {
    for (int n : default_levels) levels[count++] = n;
  }
  std::printf("%6s %6s %10s %10s %8s %10s %9s %9s  %s\n", "levels", "rules", "states", "expected", "rows",
              "solve s", "total s", "peak MiB", report ? "solved, reported" : "solved");
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    measurement m{};
    double seconds = 0;
    long peak_kib = 0;
    size_t expected = (size_t{1} << (levels[i] + 3)) - 5;
    bool ran = measure(levels[i], report, &m, &seconds, &peak_kib);
    const char* outcome = !ran        ? "child failed"
                          : !m.read   ? "did not read"
                          : !m.solved ? "failed with a message"
                          : m.states != expected ? "WRONG STATE COUNT"
                          : report && !m.reported ? "report stopped short"
                                                  : "yes";
    failures += outcome[0] != 'y';
    std::printf("%6d %6zu %10zu %10zu %8zu %10.3f %9.3f %9.1f  %s\n", levels[i], m.rules, m.states, expected, m.rows,
                m.solve_seconds, seconds, static_cast<double>(peak_kib) / 1024.0, outcome);
  }
  return failures > 0 ? 1 : 0;
}
