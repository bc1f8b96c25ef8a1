// Measures generated parsers at run time: tokens per second on long random
// valid token streams, for the parsers of two generators side by side in one
// run, with the ratio, the size of each generated source and its
// "cc -O2 -c" time.
//
// The grammars are those of a folder (by default the reference grammars
// beside the repository) and the wide synthetic one (wide_grammar.h): 512 named
// terminals (400 keywords, then IDENTIFIER, then the punctuation) and 736
// rules of statements and layered expressions. For each grammar a stream of
// at least --tokens tokens is derived at random from the start rule (an
// explicit stack; each sentence has a length budget past which every
// nonterminal takes its shortest way to terminals), then replayed through the
// baseline's parser, which keeps only the sentences it accepts (a grammar whose
// shift/reduce conflicts were resolved by shifting rejects some derivations).
// Each parser is compiled with cc -O2 together with a small scanner that hands
// the stream over from memory; yyparse runs once per sentence.
//
// Usage: runtime_bench [--baseline PATH] [--new PATH] [--tokens N] [--rounds N] [--only NAME] [--keep] [folder]
//   --baseline PATH  the generator before a change (default: this build's parser)
//   --new PATH       the generator after it (default: this build's parser)
//   --tokens N       tokens per grammar (default 1000000)
//   --rounds N       timed passes of each parser, alternating, the best kept (default 5; more on a busy machine)
//   --only NAME      measure only the grammar of that file name (e.g. wide_512.y)
//   --keep           keep the scratch folder (parsers, sources and NAME.stream files) for profiling
//
// To compare a change with its parent commit, build the parent's generator
// in a temporary worktree and name it as the baseline:
//   git worktree add /tmp/base HEAD~1
//   cmake -S /tmp/base -B /tmp/base/build -DCMAKE_BUILD_TYPE=Release
//   cmake --build /tmp/base/build --target parser
//   nice build/bench/runtime_bench --baseline /tmp/base/build/parser
//   git worktree remove /tmp/base

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "child_run.h"
#include "grammar/grammar.h"
#include "grammar/grammar_reader.h"
#include "text/reader.h"
#include "wide_grammar.h"

namespace {

constexpr size_t default_tokens = 1000000;
constexpr int timing_rounds = 5;    // alternating baseline and new, best of each, unless --rounds says otherwise
constexpr int most_batches = 8;     // rounds of derivation and acceptance check per grammar
constexpr size_t first_budget = 4096;
constexpr size_t least_budget = 16;
constexpr size_t most_pending = 1 << 16;
constexpr size_t unreachable = SIZE_MAX / 4;  // length of what derives no sentence
constexpr size_t no_rule = SIZE_MAX;

// ---------------------------------------------------------------------------
// The grammar as plain numbers, and random derivation from it.

// A grammar reduced to what derivation needs. Symbols are numbered terminals
// first, then nonterminals.
struct plain_grammar {
  std::vector<int32_t> token_values;              // per terminal: its token number
  std::vector<std::vector<size_t>> rules;         // right-hand sides
  std::vector<std::vector<size_t>> alternatives;  // per nonterminal: its rules
  size_t start_rule = no_rule;                    // the rule whose reduction accepts
  std::vector<size_t> finish_length;              // per symbol: tokens that finishing derives
  std::vector<size_t> finish_rule;                // per nonterminal: the rule finishing takes
  std::vector<size_t> rule_length;                // per rule: tokens that finishing its symbols derives
};

// Reads the grammar file into p; false after the reader's messages or when it has no rule.
bool read_plain_grammar(const char* path, plain_grammar* p) {
  FILE* input = std::fopen(path, "r");
  if (input == nullptr) return false;
  reader* r = reader_new(input);
  grammar* g = grammar_new();
  bool read = r != nullptr && g != nullptr && grammar_read(g, r);
  if (read) {
    size_t terminals = g->terms->count;
    for (size_t t = 0; t < terminals; ++t) p->token_values.push_back(g->terms->items[t]->value);
    p->alternatives.resize(g->nonterms->count);
    const rule* first = grammar_first_rule(g);
    for (size_t n = 0; n < g->nonterms->count; ++n) {
      const rules* group = g->nonterms->items[n]->rules;
      for (size_t i = 0; i < group->count; ++i) {
        std::vector<size_t> right;
        const symbols* body = group->items[i]->symbols;
        for (size_t k = 0; k < body->count; ++k) {
          symbol s = body->items[k];
          right.push_back(s.term != nullptr ? s.term->id : terminals + s.nonterm->id);
        }
        if (group->items[i] == first) p->start_rule = p->rules.size();
        p->alternatives[n].push_back(p->rules.size());
        p->rules.push_back(right);
      }
    }
  }
  grammar_free(g);
  reader_free(r);
  std::fclose(input);
  return read && p->start_rule != no_rule;
}

// Tokens that finishing every symbol of right derives; unreachable when one derives no sentence.
size_t length_of(const plain_grammar& p, const std::vector<size_t>& right) {
  size_t sum = 0;
  for (size_t s : right) {
    sum += p.finish_length[s];
    if (sum >= unreachable) return unreachable;
  }
  return sum;
}

// Chooses for every nonterminal the rule by which a derivation finishes: in
// rounds, a nonterminal takes its shortest rule whose symbols all finished in
// earlier rounds, so that following these rules always reaches terminals.
void find_finishing_rules(plain_grammar* p) {
  size_t terminals = p->token_values.size(), nonterminals = p->alternatives.size();
  p->finish_length.assign(terminals + nonterminals, unreachable);
  std::fill_n(p->finish_length.begin(), terminals, 1);
  p->finish_rule.assign(nonterminals, no_rule);
  for (bool grew = true; grew;) {
    struct choice {
      size_t nonterminal, rule, length;
    };
    std::vector<choice> found;
    for (size_t n = 0; n < nonterminals; ++n) {
      if (p->finish_rule[n] != no_rule) continue;
      choice best{n, no_rule, unreachable};
      for (size_t r : p->alternatives[n]) {
        size_t length = length_of(*p, p->rules[r]);
        if (length < best.length) best = choice{n, r, length};
      }
      if (best.rule != no_rule) found.push_back(best);
    }
    for (const choice& c : found) {
      p->finish_length[terminals + c.nonterminal] = c.length;
      p->finish_rule[c.nonterminal] = c.rule;
    }
    grew = !found.empty();
  }
  p->rule_length.clear();
  for (const auto& right : p->rules) p->rule_length.push_back(length_of(*p, right));
}

// A small fast generator of pseudo-random numbers, the same on every machine.
struct random_source {
  uint64_t state;
};

uint64_t random_next(random_source* random) {
  uint64_t z = (random->state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

size_t random_below(random_source* random, size_t bound) { return static_cast<size_t>(random_next(random) % bound); }

// Appends one sentence derived from the start rule and its closing 0; returns
// its token count. Nonterminals take a random rule while the tokens emitted
// plus those that finishing the pending symbols needs stay within budget,
// and their finishing rule otherwise.
size_t derive_sentence(const plain_grammar& p, random_source* random, size_t budget, std::vector<int32_t>* stream) {
  size_t terminals = p.token_values.size();
  const std::vector<size_t>& root = p.rules[p.start_rule];
  std::vector<size_t> pending(root.rbegin(), root.rend());  // the next symbol last
  size_t committed = p.rule_length[p.start_rule];
  size_t emitted = 0;
  while (!pending.empty()) {
    size_t s = pending.back();
    pending.pop_back();
    if (s < terminals) {
      stream->push_back(p.token_values[s]);
      ++emitted;
      continue;
    }
    const std::vector<size_t>& choices = p.alternatives[s - terminals];
    size_t r = choices[random_below(random, choices.size())];
    if (p.rule_length[r] >= unreachable || committed - p.finish_length[s] + p.rule_length[r] > budget ||
        pending.size() > most_pending)
      r = p.finish_rule[s - terminals];
    committed = committed - p.finish_length[s] + p.rule_length[r];
    pending.insert(pending.end(), p.rules[r].rbegin(), p.rules[r].rend());
  }
  stream->push_back(0);
  return emitted;
}

// ---------------------------------------------------------------------------
// Building and running the parsers.

// The scanner and main program linked with every generated parser: it loads
// sentences of token numbers, each ended by 0, and hands them to yyparse.
// "check" writes 1 or 0 per sentence for accepted or rejected; "time" parses
// everything twice and writes the token count, the processor seconds of the
// second pass and the sentences rejected.
constexpr const char* replay_source = R"(#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

int yyparse(void);
char *yytext = "token";
void yyerror(const char *message) { (void)message; }

static int *stream;
static size_t position;

/* The end of a sentence is returned for as long as the parser asks. */
int yylex(void)
{
    int token = stream[position];
    position += token != 0;
    return token;
}

static size_t parse_all(size_t length, FILE *flags)
{
    size_t rejected = 0;
    position = 0;
    while (position < length) {
        int accepted = yyparse() == 0;
        rejected += !accepted;
        while (stream[position] != 0) ++position;
        ++position;
        if (flags != NULL) fputc(accepted ? '1' : '0', flags);
    }
    return rejected;
}

/* Processor time rather than wall-clock time, so that other work on a shared machine counts less. */
static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    if (argc != 4) return 2;
    FILE *in = fopen(argv[2], "rb"), *out = fopen(argv[3], "w");
    if (in == NULL || out == NULL || fseek(in, 0, SEEK_END) != 0) return 2;
    size_t length = (size_t)ftell(in) / sizeof *stream;
    stream = (int *)malloc(length * sizeof *stream);
    rewind(in);
    if (stream == NULL || length == 0 || fread(stream, sizeof *stream, length, in) != length || stream[length - 1] != 0) return 2;
    if (strcmp(argv[1], "check") == 0) {
        parse_all(length, out);
    } else {
        size_t tokens = 0;
        for (size_t i = 0; i < length; ++i) tokens += stream[i] != 0;
        size_t rejected = parse_all(length, NULL);
        double start = now();
        parse_all(length, NULL);
        fprintf(out, "%zu %.9f %zu\n", tokens, now() - start, rejected);
    }
    return fclose(out) == 0 ? 0 : 2;
}
)";

// The value type of grammars without a prolog that defines one, and the string functions that the actions use.
constexpr const char* prelude_source =
    "#include <string.h>\ntypedef union { long number; void *pointer; } YYSTYPE;\n";

// The scratch folder and what every parser build shares.
struct workshop {
  char folder[64];
  char prelude[128];
  char replay_object[128];
};

// A path in the scratch folder.
std::string scratch_path(const workshop& w, const char* name) {
  std::string path(w.folder);
  path.append("/").append(name);
  return path;
}

bool write_text(const std::string& path, const char* text) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  bool written = std::fputs(text, out) >= 0;
  return std::fclose(out) == 0 && written;
}

// Runs a program given as a list of words; true when it exited with status 0.
bool run_words(std::vector<const char*> words, double* seconds = nullptr) {
  words.push_back(nullptr);
  run_figures f = run_program(const_cast<char* const*>(words.data()), "/dev/null");
  if (seconds != nullptr) *seconds = f.seconds;
  return f.status == 0;
}

// Makes the scratch folder and compiles the replaying scanner; false after a message.
bool open_workshop(workshop* w) {
  std::strcpy(w->folder, "/tmp/vellmark-runtime-XXXXXX");
  if (mkdtemp(w->folder) == nullptr) {
    std::printf("Could not make a scratch folder.\n");
    return false;
  }
  std::snprintf(w->prelude, sizeof w->prelude, "%s/prelude.h", w->folder);
  std::snprintf(w->replay_object, sizeof w->replay_object, "%s/replay.o", w->folder);
  std::string replay = scratch_path(*w, "replay.c");
  if (!write_text(w->prelude, prelude_source) || !write_text(replay, replay_source) ||
      !run_words({"cc", "-O2", "-c", "-o", w->replay_object, replay.c_str()})) {
    std::printf("Could not compile the replaying scanner with cc in %s.\n", w->folder);
    return false;
  }
  return true;
}

// Removes every file of the scratch folder, then the folder.
void close_workshop(const workshop& w) {
  if (DIR* dir = opendir(w.folder)) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') std::remove(scratch_path(w, entry->d_name).c_str());
    closedir(dir);
  }
  rmdir(w.folder);
}

// One generator's parser of one grammar.
struct built_parser {
  std::string program;
  long source_bytes = 0;
  double compile_seconds = 0;
  double best_seconds = 0;
  size_t rejected = 0;
};

// Generates, compiles (timed) and links the parser of grammar_path; false after a message.
bool build_parser(const workshop& w, const char* generator, const char* grammar_path, const char* name,
                  built_parser* out) {
  std::string base = scratch_path(w, name);
  std::string source = std::string(base).append(".tab.c"), object = std::string(base).append(".o");
  out->program = base;
  struct stat facts{};
  if (!run_words({generator, "-o", source.c_str(), grammar_path}) || stat(source.c_str(), &facts) != 0) {
    std::printf("  %s could not generate the parser of %s.\n", generator, grammar_path);
    return false;
  }
  out->source_bytes = static_cast<long>(facts.st_size);
  if (!run_words({"cc", "-O2", "-c", "-include", w.prelude, "-o", object.c_str(), source.c_str()},
                 &out->compile_seconds) ||
      !run_words({"cc", "-o", base.c_str(), object.c_str(), w.replay_object})) {
    std::printf("  The parser that %s generated for %s does not compile.\n", generator, grammar_path);
    return false;
  }
  return true;
}

bool write_stream(const std::string& path, const std::vector<int32_t>& stream) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = std::fwrite(stream.data(), sizeof stream[0], stream.size(), out) == stream.size();
  return std::fclose(out) == 0 && written;
}

// The accept flags ('1' or '0' per sentence) that the parser gives the stream file; empty when it fails.
std::string check_sentences(const workshop& w, const built_parser& parser, const std::string& stream_path) {
  std::string flags_path = scratch_path(w, "flags");
  std::string flags;
  if (!run_words({parser.program.c_str(), "check", stream_path.c_str(), flags_path.c_str()})) return flags;
  if (FILE* in = std::fopen(flags_path.c_str(), "r")) {
    for (int c; (c = std::fgetc(in)) != EOF;) flags.push_back(static_cast<char>(c));
    std::fclose(in);
  }
  return flags;
}

// A stream of sentences that the checking parser accepts.
struct valid_stream {
  std::vector<int32_t> tokens;  // each sentence ended by 0
  size_t count = 0;             // tokens, the 0s not counted
  size_t derived = 0;           // tokens derived, rejected sentences included
};

// Derives batches of sentences until the accepted ones hold target tokens;
// a batch that loses more than half its tokens to rejection makes the next
// sentences shorter. False after a message when the checker fails.
bool make_valid_stream(const workshop& w, const plain_grammar& p, const built_parser& checker, size_t target,
                       valid_stream* out) {
  random_source random{0x5EED0000u + p.rules.size()};
  size_t most_budget = first_budget;
  std::string path = scratch_path(w, "batch");
  for (int batch = 0; batch < most_batches && out->count < target; ++batch) {
    std::vector<int32_t> stream;
    std::vector<size_t> starts, lengths;
    size_t derived = 0, wanted = (target - out->count) + (target - out->count) / 10 + 1;
    for (size_t empty = 0; derived < wanted && empty < 1000;) {
      size_t budget = most_budget / 8 + random_below(&random, most_budget - most_budget / 8 + 1);
      size_t start = stream.size(), length = derive_sentence(p, &random, budget, &stream);
      if (length == 0) {
        stream.resize(start);
        ++empty;
        continue;
      }
      starts.push_back(start);
      lengths.push_back(length);
      derived += length;
    }
    std::string flags = write_stream(path, stream) ? check_sentences(w, checker, path) : std::string();
    if (stream.empty() || flags.size() != starts.size()) {
      std::printf("  The baseline parser could not check the derived sentences.\n");
      return false;
    }
    size_t kept = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
      if (flags[i] != '1') continue;
      out->tokens.insert(out->tokens.end(), stream.begin() + static_cast<long>(starts[i]),
                         stream.begin() + static_cast<long>(starts[i] + lengths[i] + 1));
      kept += lengths[i];
    }
    out->count += kept;
    out->derived += derived;
    if (kept * 2 < derived) most_budget = std::max(least_budget, most_budget / 4);
  }
  return true;
}

// Runs the parser once in timing mode on the stream file; keeps the best time. False when the run fails.
bool time_parser(const workshop& w, const std::string& stream_path, built_parser* parser) {
  std::string result_path = scratch_path(w, "result");
  if (!run_words({parser->program.c_str(), "time", stream_path.c_str(), result_path.c_str()})) return false;
  FILE* in = std::fopen(result_path.c_str(), "r");
  if (in == nullptr) return false;
  size_t tokens = 0, rejected = 0;
  double seconds = 0;
  bool read = std::fscanf(in, "%zu %lf %zu", &tokens, &seconds, &rejected) == 3;
  std::fclose(in);
  if (!read) return false;
  if (parser->best_seconds == 0 || seconds < parser->best_seconds) parser->best_seconds = seconds;
  parser->rejected = rejected;
  return true;
}

struct settings {
  const char* baseline = VELLMARK_PARSER;
  const char* fresh = VELLMARK_PARSER;
  size_t tokens = default_tokens;
  const char* folder = VELLMARK_GRAMMAR_DIR;
  const char* only = nullptr;
  bool keep = false;
  int rounds = timing_rounds;
};

// Measures both generators' parsers of one grammar and prints its row.
void bench_grammar(const workshop& w, const settings& s, const char* grammar_path, const char* name) {
  plain_grammar p;
  if (s.only != nullptr && std::strcmp(s.only, name) != 0) return;
  if (!read_plain_grammar(grammar_path, &p)) {
    std::printf("%-16s could not be read.\n", name);
    return;
  }
  find_finishing_rules(&p);
  if (p.rule_length[p.start_rule] >= unreachable) {
    std::printf("%-16s derives no sentence.\n", name);
    return;
  }
  built_parser before, after;
  std::fflush(stdout);
  if (!build_parser(w, s.baseline, grammar_path, std::string(name).append(".baseline").c_str(), &before) ||
      !build_parser(w, s.fresh, grammar_path, std::string(name).append(".new").c_str(), &after))
    return;
  valid_stream stream;
  std::string stream_path = scratch_path(w, std::string(name).append(".stream").c_str());
  if (!make_valid_stream(w, p, before, s.tokens, &stream) || !write_stream(stream_path, stream.tokens)) return;
  for (int round = 0; round < s.rounds; ++round) {
    if (!time_parser(w, stream_path, &before) || !time_parser(w, stream_path, &after)) {
      std::printf("%-16s a parser failed while timed.\n", name);
      return;
    }
  }
  double base_rate = static_cast<double>(stream.count) / 1e6 / before.best_seconds;
  double new_rate = static_cast<double>(stream.count) / 1e6 / after.best_seconds;
  std::printf("%-16s %9zu %6.1f | %9.1f %7.2f %9.2f | %9.1f %7.2f %9.2f | %7.2f\n", name, stream.count,
              100.0 * static_cast<double>(stream.count) / static_cast<double>(stream.derived),
              before.source_bytes / 1024.0, before.compile_seconds, base_rate, after.source_bytes / 1024.0,
              after.compile_seconds, new_rate, new_rate / base_rate);
  if (stream.count < s.tokens) std::printf("  only %zu valid tokens could be derived\n", stream.count);
  if (before.rejected != 0 || after.rejected != 0)
    std::printf("  rejected sentences: baseline %zu, new %zu\n", before.rejected, after.rejected);
}

// The .y files of the folder, sorted by name.
std::vector<std::string> grammar_names(const char* folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder)) {
    while (dirent* entry = readdir(dir)) {
      size_t length = std::strlen(entry->d_name);
      if (length > 2 && std::strcmp(entry->d_name + length - 2, ".y") == 0) names.emplace_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Reads the command line into s; false after the usage line.
bool read_settings(int argc, char** argv, settings* s) {
  for (int i = 1; i < argc; ++i) {
    bool has_value = i + 1 < argc;
    if (has_value && std::strcmp(argv[i], "--baseline") == 0) {
      s->baseline = argv[++i];
    } else if (has_value && std::strcmp(argv[i], "--new") == 0) {
      s->fresh = argv[++i];
    } else if (has_value && std::strcmp(argv[i], "--tokens") == 0) {
      s->tokens = std::strtoul(argv[++i], nullptr, 10);
    } else if (has_value && std::strcmp(argv[i], "--rounds") == 0) {
      s->rounds = std::atoi(argv[++i]);
    } else if (has_value && std::strcmp(argv[i], "--only") == 0) {
      s->only = argv[++i];
    } else if (std::strcmp(argv[i], "--keep") == 0) {
      s->keep = true;
    } else if (argv[i][0] != '-') {
      s->folder = argv[i];
    } else {
      std::printf("Usage: runtime_bench [--baseline PATH] [--new PATH] [--tokens N] [--rounds N] [--only NAME] [--keep] [folder]\n");
      return false;
    }
  }
  return s->tokens > 0 && s->rounds > 0;
}

}  // namespace

int main(int argc, char** argv) {
  settings s;
  workshop w;
  if (!read_settings(argc, argv, &s) || !open_workshop(&w)) return 1;
  std::printf("Generated parsers on random valid token streams, best of %d timed passes each (processor time).\n",
              s.rounds);
  std::printf("baseline: %s\nnew:      %s\n\n", s.baseline, s.fresh);
  std::printf("%-16s %9s %6s | %9s %7s %9s | %9s %7s %9s | %7s\n", "", "", "valid", "baseline", "cc -O2", "M tokens",
              "new", "cc -O2", "M tokens", "");
  std::printf("%-16s %9s %6s | %9s %7s %9s | %9s %7s %9s | %7s\n", "grammar", "tokens", "%", "KiB", "-c s", "/ s",
              "KiB", "-c s", "/ s", "ratio");
  for (const std::string& name : grammar_names(s.folder)) {
    std::string path = std::string(s.folder).append("/").append(name);
    bench_grammar(w, s, path.c_str(), name.c_str());
  }
  std::string wide = scratch_path(w, "wide_512.y");
  if (write_wide_grammar(wide.c_str())) bench_grammar(w, s, wide.c_str(), "wide_512.y");
  std::printf("\nvalid %%: share of the derived tokens in sentences that the baseline parser accepts;\n"
              "ratio: new tokens per second over baseline tokens per second.\n");
  if (s.keep) {
    std::printf("The scratch folder %s is kept.\n", w.folder);
  } else {
    close_workshop(w);
  }
  return 0;
}
