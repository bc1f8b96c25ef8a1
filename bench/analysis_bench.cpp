// Measures the whole of "parser -v grammar.y > /dev/null" (reading, the
// canonical LR(1) construction and the table report) on every grammar of a
// folder and on the wide synthetic grammar (wide_grammar.h), each in a child
// process so that its peak memory is its own, in processor time (the least
// of several rounds, since the machine may be shared, every grammar once a
// round so that a change of load reaches all of them alike), and
// checks the number of states against the folder's README table. Given a
// baseline generator, it also runs "-v" of the baseline and of this build's
// parser, alternately, and prints both times side by side with their ratio.
// Last, it prints how many times ansi_c89.y's time per state the wide
// grammar takes.
//
// Usage: analysis_bench [--baseline PATH] [--rounds N] [folder]
//   --baseline PATH  the generator before a change, e.g. the parent commit's, built in a temporary folder
//   --rounds N       measurements per grammar and program, the best kept (default 3)
//   folder           default: the reference grammars beside the repository

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "child_run.h"
#include "wide_grammar.h"
#include "grammar/grammar.h"
#include "grammar/grammar_reader.h"
#include "lr/solver.h"
#include "output/report.h"
#include "text/reader.h"

namespace {

constexpr size_t max_grammars = 256;
constexpr size_t max_name = 256;

// What a child reports back through its pipe.
struct measurement {
  int solved;
  size_t terminals;
  size_t nonterminals;
  size_t rules;
  size_t states;
  size_t rows;
};

struct expectation {
  char name[max_name];
  long states;
};

// The child's work: everything "parser -v" does, with the report sent to /dev/null.
measurement run_analysis(const char* path) {
  measurement m{};
  FILE* input = std::fopen(path, "r");
  if (input == nullptr) return m;
  reader* r = reader_new(input);
  grammar* g = grammar_new();
  solver* s = solver_new();
  if (r != nullptr && g != nullptr && s != nullptr && grammar_read(g, r)) {
    m.terminals = g->terms->count;
    m.nonterminals = g->nonterms->count;
    m.rules = grammar_rule_count(g);
    if (solve_grammar(s, g)) {
      m.solved = 1;
      m.states = s->states->count;
      m.rows = s->actions->count;
      std::fflush(stdout);
      int null_output = open("/dev/null", O_WRONLY);
      if (null_output >= 0) {
        dup2(null_output, STDOUT_FILENO);
        close(null_output);
      }
      print_parser(g, s);
      std::fflush(stdout);
    }
  }
  solver_free(s);
  grammar_free(g);
  reader_free(r);
  std::fclose(input);
  return m;
}

// One grammar to measure, with what its rounds found.
struct bench_entry {
  char path[4096];
  char name[max_name];
  long expected;        // states the README gives; negative when it gives none
  measurement m;
  double seconds;       // the least processor time of every round
  long peak_kib;
  bool measured;        // every round ran
};

// Runs the analysis of every entry in a child, round after round, each
// entry once a round, keeping each one's least processor time: a change in
// the machine's load during the run then reaches every grammar alike.
void measure_all(bench_entry* entries, size_t count, int rounds) {
  for (size_t i = 0; i < count; ++i) entries[i].measured = true;
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < count; ++i) {
      bench_entry* e = &entries[i];
      if (!e->measured) continue;
      double wall = 0, taken = 0;
      const char* path = e->path;
      e->measured = run_in_child([path] { return run_analysis(path); }, &e->m, &wall, &e->peak_kib, &taken);
      if (round == 0 || taken < e->seconds) e->seconds = taken;
    }
  }
}

// The least processor time of "program -v path" over rounds runs of each program, run alternately; a negative time for a failed run.
void time_programs(const char* baseline, const char* path, int rounds, double* before, double* after) {
  *before = *after = -1;
  for (int round = 0; round < rounds; ++round) {
    const char* programs[] = {baseline, VELLMARK_PARSER};
    double* best[] = {before, after};
    for (int k = 0; k < 2; ++k) {
      char* argv[] = {const_cast<char*>(programs[k]), const_cast<char*>("-v"), const_cast<char*>(path), nullptr};
      run_figures f = run_program(argv, "/dev/null");
      if (f.status != 0) continue;
      if (*best[k] < 0 || f.cpu_seconds < *best[k]) *best[k] = f.cpu_seconds;
    }
  }
}

// Reads "| name.y | ... | states |" lines of the README table.
size_t read_expectations(const char* folder, expectation* table) {
  char path[4096];
  std::snprintf(path, sizeof path, "%s/README.md", folder);
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return 0;
  size_t count = 0;
  char line[1024];
  while (count < max_grammars && std::fgets(line, sizeof line, f) != nullptr) {
    if (line[0] != '|') continue;
    char* name = line + 1;
    while (*name == ' ') ++name;
    char* end = std::strchr(name, ' ');
    if (end == nullptr || end - name < 3 || std::strncmp(end - 2, ".y", 2) != 0) continue;
    *end = '\0';
    char* last = std::strrchr(end + 1, '|');
    if (last == nullptr) continue;
    *last = '\0';
    char* cell = std::strrchr(end + 1, '|');
    if (cell == nullptr) continue;
    long states = 0;
    bool digits = false;
    for (char* p = cell + 1; *p != '\0'; ++p) {
      if (*p >= '0' && *p <= '9') {
        states = states * 10 + (*p - '0');
        digits = true;
      }
    }
    if (!digits) continue;
    size_t length = std::strlen(name);
    if (length >= max_name) continue;
    std::memcpy(table[count].name, name, length + 1);
    table[count].states = states;
    ++count;
  }
  std::fclose(f);
  return count;
}

long expected_states(const expectation* table, size_t count, const char* name) {
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(table[i].name, name) == 0) return table[i].states;
  }
  return -1;
}

int compare_names(const void* a, const void* b) {
  return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

size_t list_grammars(const char* folder, char (*names)[max_name]) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) return 0;
  size_t count = 0;
  while (dirent* entry = readdir(dir)) {
    size_t length = std::strlen(entry->d_name);
    if (length < 3 || length >= max_name || std::strcmp(entry->d_name + length - 2, ".y") != 0) continue;
    if (count == max_grammars) break;
    std::snprintf(names[count++], max_name, "%s", entry->d_name);
  }
  closedir(dir);
  std::qsort(names, count, max_name, compare_names);
  return count;
}

// What the command line asks for.
struct settings {
  const char* folder = VELLMARK_GRAMMAR_DIR;
  const char* baseline = nullptr;
  int rounds = 3;
};

// Reads the command line into s; false after the usage line.
bool read_settings(int argc, char** argv, settings* s) {
  for (int i = 1; i < argc; ++i) {
    bool has_value = i + 1 < argc;
    if (has_value && std::strcmp(argv[i], "--baseline") == 0) {
      s->baseline = argv[++i];
    } else if (has_value && std::strcmp(argv[i], "--rounds") == 0) {
      s->rounds = std::atoi(argv[++i]);
    } else if (argv[i][0] != '-') {
      s->folder = argv[i];
    } else {
      s->rounds = 0;
    }
  }
  if (s->rounds > 0) return true;
  std::printf("Usage: analysis_bench [--baseline PATH] [--rounds N] [folder]\n");
  return false;
}

void print_heading(const settings& s) {
  std::printf("%-16s %9s %12s %6s %8s %8s %9s %9s %9s", "grammar", "terminals", "nonterminals", "rules", "states",
              "rows", "seconds", "us/state", "peak MiB");
  if (s.baseline != nullptr) std::printf(" | %9s %9s %6s", "-v before", "-v after", "ratio");
  std::printf("  %s\n", "states check");
}

// Prints the row of a measured grammar, setting *per_state to its
// processor time per state in microseconds; false when it failed or its
// states differ from the expected number.
bool print_row(const settings& s, const bench_entry& e, double* per_state) {
  const measurement& m = e.m;
  if (!e.measured || !m.solved) {
    std::printf("%-16s failed to read or solve\n", e.name);
    return false;
  }
  *per_state = e.seconds * 1e6 / static_cast<double>(m.states);
  std::printf("%-16s %9zu %12zu %6zu %8zu %8zu %9.4f %9.2f %9.1f", e.name, m.terminals, m.nonterminals, m.rules,
              m.states, m.rows, e.seconds, *per_state, static_cast<double>(e.peak_kib) / 1024.0);
  if (s.baseline != nullptr) {
    double before = 0, after = 0;
    time_programs(s.baseline, e.path, s.rounds, &before, &after);
    std::printf(" | %9.3f %9.3f %6.2f", before, after, before > 0 && after > 0 ? after / before : 0.0);
  }
  if (e.expected < 0) {
    std::printf("  not in README\n");
  } else if (static_cast<size_t>(e.expected) == m.states) {
    std::printf("  as in README\n");
  } else {
    std::printf("  DIFFERS: README says %ld\n", e.expected);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  settings s;
  if (!read_settings(argc, argv, &s)) return 2;
  struct stat info;
  if (stat(s.folder, &info) != 0 || !S_ISDIR(info.st_mode)) {
    std::printf("No grammar folder at %s: only the wide grammar is measured.\n", s.folder);
  }
  static expectation table[max_grammars];
  static char names[max_grammars][max_name];
  size_t expected_count = read_expectations(s.folder, table);
  size_t count = list_grammars(s.folder, names);
  static bench_entry entries[max_grammars + 1];
  size_t entry_count = 0;
  for (size_t i = 0; i < count; ++i) {
    bench_entry* e = &entries[entry_count];
    int length = std::snprintf(e->path, sizeof e->path, "%s/%s", s.folder, names[i]);
    if (length < 0 || static_cast<size_t>(length) >= sizeof e->path) continue;  // a path too long to open
    std::memcpy(e->name, names[i], max_name);
    e->expected = expected_states(table, expected_count, names[i]);
    ++entry_count;
  }
  int differences = 0;
  char wide[] = "/tmp/vellmark-wide-XXXXXX";
  int descriptor = mkstemp(wide);
  bool wide_written = descriptor >= 0 && close(descriptor) == 0 && write_wide_grammar(wide);
  if (wide_written) {
    bench_entry* e = &entries[entry_count++];
    std::memcpy(e->path, wide, sizeof wide);
    std::memcpy(e->name, "wide_512.y", sizeof "wide_512.y");
    e->expected = -1;
  } else {
    ++differences;
  }
  measure_all(entries, entry_count, s.rounds);
  if (s.baseline != nullptr) std::printf("before: %s\nafter:  %s\n", s.baseline, VELLMARK_PARSER);
  print_heading(s);
  double reference_per_state = 0;  // ansi_c89.y's, the yardstick of the wide grammar
  double wide_per_state = 0;
  for (size_t i = 0; i < entry_count; ++i) {
    double per_state = 0;
    if (!print_row(s, entries[i], &per_state)) ++differences;
    if (std::strcmp(entries[i].name, "ansi_c89.y") == 0) reference_per_state = per_state;
    if (wide_written && i + 1 == entry_count) wide_per_state = per_state;
  }
  if (descriptor >= 0) std::remove(wide);
  std::printf("\nseconds: processor time, user and system, the least of every round; us/state: the same per state");
  if (s.baseline != nullptr) std::printf("; ratio: after over before");
  std::printf(".\n");
  if (reference_per_state > 0 && wide_per_state > 0) {
    std::printf("Per state, wide_512.y takes %.2f times as long as ansi_c89.y (target: at most 1.5).\n",
                wide_per_state / reference_per_state);
  }
  if (differences > 0) std::printf("%d grammar(s) differ from the README or failed.\n", differences);
  return differences > 0 ? 1 : 0;
}
