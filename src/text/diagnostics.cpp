#include "text/diagnostics.h"

#include <cstdarg>

#include "text/memory.h"

namespace {

bool has_place(source_position at) { return at.line != 0; }

// Before the first line written after an allocation failed, says so once:
// whatever the lines then report, memory is what ran out.
void report_memory_once(diagnostics* d) {
  if (d->memory_reported || !diagnostics_memory_ran_out(d)) return;
  d->memory_reported = true;
  std::fprintf(d->stream, "%s: error: out of memory.\n", d->input_name);
}

// Writes "NAME:LINE:COLUMN: " or "NAME: ".
void write_prefix(diagnostics* d, source_position at) {
  if (has_place(at)) {
    std::fprintf(d->stream, "%s:%zu:%zu: ", d->input_name, at.line, at.column);
  } else {
    std::fprintf(d->stream, "%s: ", d->input_name);
  }
}

// Writes the formatted text and the line feed that ends every line.
void write_text(FILE* stream, const char* format, va_list arguments) {
  std::vfprintf(stream, format, arguments);
  std::fputc('\n', stream);
}

// One line with an optional prefix and severity word; a null sink writes bare text to standard error.
void write_line(diagnostics* d, bool prefixed, source_position at, const char* severity, const char* format,
                va_list arguments) {
  FILE* stream = d == nullptr ? stderr : d->stream;
  if (d != nullptr) {
    if (severity == nullptr) report_memory_once(d);  // a warning is no failure to explain
    if (prefixed) write_prefix(d, at);
  }
  if (severity != nullptr) std::fputs(severity, stream);
  write_text(stream, format, arguments);
}

}  // namespace

diagnostics diagnostics_for(const char* input_name, FILE* stream) {
  diagnostics d{};
  d.input_name = input_name;
  d.stream = stream;
  d.failed_allocations = memory_failed_allocations();
  return d;
}

void diagnostics_error(diagnostics* d, source_position at, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  write_line(d, true, at, nullptr, format, arguments);
  va_end(arguments);
}

void diagnostics_warning(diagnostics* d, source_position at, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  write_line(d, true, at, "warning: ", format, arguments);
  va_end(arguments);
  if (d != nullptr) ++d->warnings;
}

void diagnostics_line(diagnostics* d, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  write_line(d, false, source_position{}, nullptr, format, arguments);
  va_end(arguments);
}

void diagnostics_read_failure(diagnostics* d, source_position at, const char* text) {
  bool first = d != nullptr && !d->failure_placed;
  if (d != nullptr) {
    d->failure_placed = true;
    if (diagnostics_memory_ran_out(d)) first = false;
  }
  if (first) {
    diagnostics_error(d, at, "%s", text);
  } else {
    diagnostics_line(d, "%s", text);
  }
}

bool diagnostics_memory_ran_out(const diagnostics* d) {
  return d != nullptr && memory_failed_allocations() != d->failed_allocations;
}
