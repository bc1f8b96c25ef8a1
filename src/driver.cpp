#include "driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "grammar/grammar.h"
#include "grammar/grammar_check.h"
#include "grammar/grammar_reader.h"
#include "lr/solver.h"
#include "options.h"
#include "output/conflict_warnings.h"
#include "output/output_file.h"
#include "output/parser_writer.h"
#include "output/report.h"
#include "output/state_report.h"
#include "output/token_header.h"
#include "text/diagnostics.h"
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
// An output not committed by the end of the run is discarded, leaving its target as it was.
struct output_discarder {
  void operator()(output_file* f) const { output_file_discard(f); }
};

using file_handle = std::unique_ptr<FILE, file_closer>;
using output_handle = std::unique_ptr<output_file, output_discarder>;

// True when name is the very regular file the input is read from, so that
// opening it for writing would destroy the grammar before it is read. A
// device such as /dev/null loses nothing by being opened for writing.
bool is_input_file(FILE* input, const char* name) {
  struct stat in, out;
  if (fstat(fileno(input), &in) != 0 || !S_ISREG(in.st_mode) || stat(name, &out) != 0) return false;
  return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Refuses, before anything is written, a run whose outputs would destroy
// its input or each other; an output that is not written is null.
bool outputs_are_safe(diagnostics* d, FILE* input, const char* source, const char* header, const char* report) {
  for (const char* name : {source, header, report}) {
    if (name != nullptr && is_input_file(input, name)) {
      diagnostics_line(d, "Error: Output file would overwrite the input file.");
      return false;
    }
  }
  if (source != nullptr && header != nullptr && output_files_clash(source, header)) {
    diagnostics_line(d, "Error: The token header and the parser source would be the same file.");
    return false;
  }
  for (const char* other : {source, header}) {
    if (report != nullptr && other != nullptr && output_files_clash(report, other)) {
      diagnostics_line(d, "Error: The state report would be the same file as another output.");
      return false;
    }
  }
  return true;
}

// Moves the finished files into place, the header first as it was written first.
int commit_outputs(diagnostics* d, output_handle& header, const char* header_name, output_handle& source) {
  if (header && !output_file_commit(header.release())) {
    diagnostics_line(d, "Error: Unable to write %s.", header_name);
    return 1;
  }
  if (source && !output_file_commit(source.release())) {
    diagnostics_line(d, "Error: Unable to write the parser source.");
    return 1;
  }
  return 0;
}

// Prints the table report; a report cut short for want of memory, or one
// that cannot be written, fails the run.
int report_tables(diagnostics* d, const grammar* g, const solver* s) {
  bool complete = print_parser(g, s);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) || !complete) {
    diagnostics_line(d, "Error: Unable to write the table report.");
    return 1;
  }
  return 0;
}

// Writes the state report into a new output, to be moved into place with the others; null after a message.
output_file* write_state_report_file(diagnostics* d, const grammar* g, const solver* s, const char* name) {
  output_file* report = output_file_open(name);
  if (report == nullptr) {
    diagnostics_line(d, "Unable to open the state report file.");
    return nullptr;
  }
  if (!write_state_report(g, s, report->stream)) {
    output_file_discard(report);
    diagnostics_line(d, "Error: Unable to write the state report.");
    return nullptr;
  }
  return report;
}

// Runs the stages over the open input into the outputs, which are kept only
// when every stage succeeds; returns the exit status. The solver is declared
// last so that it is freed before the grammar it points into.
int run_stages(diagnostics* d, const options& o, FILE* input, output_handle& source, const char* header_name) {
  std::unique_ptr<reader, reader_deleter> in(reader_new(input));
  std::unique_ptr<grammar, grammar_deleter> g(grammar_new());
  std::unique_ptr<solver, solver_deleter> s(solver_new());
  if (!in || !g || !s) return 1;
  reader_report_to(in.get(), d);
  const parser_options style{output_names{o.prefix}, o.line_directives, d->input_name,
                             o.output != nullptr ? o.output : default_output, d};
  bool read = grammar_read(g.get(), in.get());
  if (reader_failed(in.get())) {
    diagnostics_line(d, "Error: Unable to read the input file.");
    return 1;
  }
  if (!read) {
    diagnostics_line(d, "Unable to read grammar.");
    return 1;
  }
  if (!grammar_check(g.get(), d)) {
    diagnostics_line(d, "Unable to check the grammar.");
    return 1;
  }
  output_handle header;
  if (header_name != nullptr) {
    header.reset(write_token_definitions(g.get(), &style.names, header_name, d));
    if (!header) return 1;
  }
  if (!solve_grammar(s.get(), g.get())) {
    diagnostics_line(d, "Unable to solve states of the grammar.");
    return 1;
  }
  if (!warn_about_conflicts(d, g.get(), s.get())) return 1;
  output_handle report;
  if (o.report != nullptr) {
    report.reset(write_state_report_file(d, g.get(), s.get(), o.report));
    if (!report) return 1;
  }
  int status = o.details ? report_tables(d, g.get(), s.get()) : write_parser(g.get(), s.get(), &style, source->stream) ? 0 : 1;
  if (status == 0) status = commit_outputs(d, header, header_name, source);
  if (status == 0 && report && !output_file_commit(report.release())) {
    diagnostics_line(d, "Error: Unable to write the state report.");
    return 1;
  }
  return status;
}

// Opens the input and the parser source (not with -v, which writes only the
// report), then runs the stages; returns the exit status.
int run(const options& o) {
  diagnostics d = diagnostics_for(o.path != nullptr ? o.path : standard_input_name, stderr);
  file_handle input(o.path != nullptr ? std::fopen(o.path, "r") : stdin);
  if (!input) {
    diagnostics_line(&d, "Unable to open input file.");
    return 1;
  }
  const char* source_name = o.details ? nullptr : o.output != nullptr ? o.output : default_output;
  const char* header_name = !o.header ? nullptr : o.header_name != nullptr ? o.header_name : token_header_name;
  if (!outputs_are_safe(&d, input.get(), source_name, header_name, o.report)) return 1;
  output_handle source;
  if (source_name != nullptr) {
    source.reset(output_file_open(source_name));
    if (!source) {
      diagnostics_line(&d, "Unable to open output file.");
      return 1;
    }
  }
  return run_stages(&d, o, input.get(), source, header_name);
}

// Writes the help or version text; 1 after a message when it cannot be written.
int print_text(const char* text) {
  std::fputs(text, stdout);
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  std::fputs("Error: Unable to write to standard output.\n", stderr);
  return 1;
}

// Opens the null device on each of the standard descriptors that is closed,
// so that no file the run opens takes its place and receives messages or a
// report meant for it. It is opened for reading only: what is written to a
// closed standard output still fails as it would have. False when the
// device cannot be opened.
bool open_closed_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int opened = open("/dev/null", O_RDONLY);
    if (opened != fd) {
      if (opened != -1) close(opened);
      return false;
    }
  }
  return true;
}

}  // namespace

int driver_main(int argc, char** argv) {
  if (!open_closed_standard_descriptors()) return 1;
  options o;
  if (!options_parse(&o, argc, argv)) return 1;
  if (o.help) return print_text(usage);
  if (o.version) return print_text(license);
  return run(o);
}
