// Measures the whole of "parser -v grammar.y > /dev/null" (reading, the
// canonical LR(1) construction and the table report) on every grammar of a
// folder, each in a child process so that its peak memory is its own, and
// checks the number of states against the folder's README table.
//
// Usage: analysis_bench [folder]   (default: the reference grammars beside the repository)

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

size_t count_rules(const grammar* g) {
  size_t count = 0;
  for (size_t n = 0; n < g->nonterms->count; ++n) count += g->nonterms->items[n]->rules->count;
  return count;
}

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
    m.rules = count_rules(g);
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

// Runs the analysis of path in a child; false when the child could not be run.
bool measure(const char* path, measurement* m, double* seconds, long* peak_kib) {
  return run_in_child([path] { return run_analysis(path); }, m, seconds, peak_kib);
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

}  // namespace

int main(int argc, char** argv) {
  const char* folder = argc > 1 ? argv[1] : VELLMARK_GRAMMAR_DIR;
  struct stat info;
  if (stat(folder, &info) != 0 || !S_ISDIR(info.st_mode)) {
    std::printf("No grammar folder at %s: nothing to measure.\n", folder);
    return 0;
  }
  static expectation table[max_grammars];
  static char names[max_grammars][max_name];
  size_t expected_count = read_expectations(folder, table);
  size_t count = list_grammars(folder, names);
  std::printf("%-16s %9s %12s %6s %8s %8s %9s %9s  %s\n", "grammar", "terminals", "nonterminals", "rules",
              "states", "rows", "seconds", "peak MiB", "states check");
  int differences = 0;
  for (size_t i = 0; i < count; ++i) {
    char path[4096];
    std::snprintf(path, sizeof path, "%s/%s", folder, names[i]);
    measurement m{};
    double seconds = 0;
    long peak_kib = 0;
    if (!measure(path, &m, &seconds, &peak_kib) || !m.solved) {
      std::printf("%-16s failed to read or solve\n", names[i]);
      ++differences;
      continue;
    }
    long expected = expected_states(table, expected_count, names[i]);
    char check[64];
    if (expected < 0) {
      std::snprintf(check, sizeof check, "not in README");
    } else if (static_cast<size_t>(expected) == m.states) {
      std::snprintf(check, sizeof check, "as in README");
    } else {
      std::snprintf(check, sizeof check, "DIFFERS: README says %ld", expected);
      ++differences;
    }
    std::printf("%-16s %9zu %12zu %6zu %8zu %8zu %9.3f %9.1f  %s\n", names[i], m.terminals, m.nonterminals,
                m.rules, m.states, m.rows, seconds, static_cast<double>(peak_kib) / 1024.0, check);
  }
  if (differences > 0) std::printf("%d grammar(s) differ from the README or failed.\n", differences);
  return differences > 0 ? 1 : 0;
}
