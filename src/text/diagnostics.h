#ifndef VELLMARK_TEXT_DIAGNOSTICS_H
#define VELLMARK_TEXT_DIAGNOSTICS_H

#include <cstddef>
#include <cstdio>

// A place in the input: line and column both count from 1, the column in
// code points. Line 0 stands for "no place known".
struct source_position {
  size_t line;
  size_t column;
};

// The one place every message of a run goes through. Each line it writes
// names the input, and a placed line its line and column, in the form that
// editors and build tools jump to: "calc.y:12:5: Expected ';' after rules."
// or "calc.y:3:1: warning: ...". A sink is a plain value the driver keeps on
// its stack: it owns nothing and cannot fail to exist.
struct diagnostics {
  const char* input_name;         // as given on the command line, "<stdin>" for standard input; not owned
  FILE* stream;                   // where the lines go; not owned
  size_t failed_allocations;      // the allocation layer's failure count when the run began
  bool failure_placed;            // the first line of a failed read has been written
  bool memory_reported;           // the out-of-memory line has been written
  size_t warnings;                // warning lines written so far
};

// The name a run that reads standard input gives its input in messages.
constexpr char standard_input_name[] = "<stdin>";

// A sink writing to stream the lines of the input called input_name.
diagnostics diagnostics_for(const char* input_name, FILE* stream);

// Writes "NAME:LINE:COLUMN: text" (or "NAME: text" without a place), formatted like printf.
void diagnostics_error(diagnostics* d, source_position at, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Writes "NAME:LINE:COLUMN: warning: text" (or "NAME: warning: text" without a place).
void diagnostics_warning(diagnostics* d, source_position at, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Writes text as a line of its own, unprefixed: a line that continues or explains the one before.
void diagnostics_line(diagnostics* d, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes one line of a failed read: the first such line of the run carries
// the place where reading stopped, the lines that the levels above add stand
// plain. When memory ran out during the run, "NAME: error: out of memory."
// comes first instead and no line is placed: the input is not at fault.
void diagnostics_read_failure(diagnostics* d, source_position at, const char* text);

// True when an allocation has failed since the sink was made.
bool diagnostics_memory_ran_out(const diagnostics* d);

// Every function above accepts a null sink: its lines then go to standard
// error as bare text, without name, place or the out-of-memory line.

#endif
