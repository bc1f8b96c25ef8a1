#include "driver.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "grammar/grammar.h"
#include "grammar/grammar_reader.h"
#include "lr/solver.h"
#include "options.h"
#include "output/parser_writer.h"
#include "output/report.h"
#include "output/token_header.h"
#include "text/reader.h"

namespace {

constexpr char usage[] =
    "Usage: parser [options] file.y\n"
    "  -o   specify output filename\n"
    "\n"
    "  -d   produce the header file\n"
    "  -v   produce details of the tables\n"
    "\n"
    "  -h   display this help and exit\n"
    "  -V   display version and license\n"
    "\n"
    "DESCRIPTION\n"
    "  This program generates parse tables for languages that are defined by a\n"
    "  context free grammar.\n"
    "\n";

constexpr char license[] =
    "\n"
    "Vellmark version 0.9.1\n"
    "\n"
    "\n"
    " \n"
    "\n"
    "\n"
    " \n"
    "\n"
    "\n"
    "\n"
    "Copyright (C) 2026 the Vellmark developers. All rights reserved.\n"
    "\n";

constexpr char default_output[] = "grammar.tab.c";

struct file_closer {
  void operator()(FILE* file) const {
    if (file != stdin) std::fclose(file);
  }
};
struct reader_deleter {
  void operator()(reader* r) const { reader_free(r); }
};
struct grammar_deleter {
  void operator()(grammar* g) const { grammar_free(g); }
};
struct solver_deleter {
  void operator()(solver* s) const { solver_free(s); }
};

using file_handle = std::unique_ptr<FILE, file_closer>;

// True when name is the very regular file the input is read from, so that
// opening it for writing would destroy the grammar before it is read. A
// device such as /dev/null loses nothing by being opened for writing.
bool is_input_file(FILE* input, const char* name) {
  struct stat in, out;
  if (fstat(fileno(input), &in) != 0 || !S_ISREG(in.st_mode) || stat(name, &out) != 0) return false;
  return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Refuses a run whose output or token header would overwrite its input.
bool outputs_spare_input(FILE* input, const char* output, bool header) {
  if (is_input_file(input, output) || (header && is_input_file(input, token_header_name))) {
    std::fputs("Error: Output file would overwrite the input file.\n", stderr);
    return false;
  }
  return true;
}

// Prints the table report; a report cut short for want of memory, or one
// that cannot be written, fails the run.
int report_tables(const grammar* g, const solver* s) {
  bool complete = print_parser(g, s);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) || !complete) {
    std::fputs("Error: Unable to write the table report.\n", stderr);
    return 1;
  }
  return 0;
}

// Runs the stages over open files; returns the exit status. The solver is
// declared last so that it is freed before the grammar it points into.
int run_stages(const options& o, FILE* input, FILE* output) {
  std::unique_ptr<reader, reader_deleter> in(reader_new(input));
  std::unique_ptr<grammar, grammar_deleter> g(grammar_new());
  std::unique_ptr<solver, solver_deleter> s(solver_new());
  if (!in || !g || !s) return 1;
  if (!grammar_read(g.get(), in.get())) {
    std::fputs("Unable to read grammar.\n", stderr);
    return 1;
  }
  if (o.header && !write_token_definitions(g.get())) return 1;
  if (!solve_grammar(s.get(), g.get())) {
    std::fputs("Unable to solve states of the grammar.\n", stderr);
    return 1;
  }
  if (o.details) return report_tables(g.get(), s.get());
  return write_parser(g.get(), s.get(), output) ? 0 : 1;
}

// Opens the input and the output, then runs the stages; returns the exit status.
int run(const options& o) {
  file_handle input(o.path != nullptr ? std::fopen(o.path, "r") : stdin);
  if (!input) {
    std::fputs("Unable to open input file.\n", stderr);
    return 1;
  }
  const char* output_name = o.output != nullptr ? o.output : default_output;
  if (!outputs_spare_input(input.get(), output_name, o.header)) return 1;
  file_handle output(std::fopen(output_name, "w"));
  if (!output) {
    std::fputs("Unable to open output file.\n", stderr);
    return 1;
  }
  return run_stages(o, input.get(), output.get());
}

}  // namespace

int driver_main(int argc, char** argv) {
  options o;
  if (!options_parse(&o, argc, argv)) return 1;
  if (o.help) {
    std::fputs(usage, stdout);
    return 0;
  }
  if (o.version) {
    std::fputs(license, stdout);
    return 0;
  }
  return run(o);
}
