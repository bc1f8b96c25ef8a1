#ifndef VELLMARK_OUTPUT_LINE_COUNTER_H
#define VELLMARK_OUTPUT_LINE_COUNTER_H

#include <cstddef>
#include <cstdio>

// A stream that passes everything written to it on to another stream and
// counts the lines, so that a writer can name the line of its output it is on.
struct line_counter {
  FILE* stream;  // write here
  FILE* target;  // where the text goes; not owned
  size_t lines;  // line feeds passed on to the target so far
};

// A counter in front of target, at line 1; null when it cannot be made.
line_counter* line_counter_open(FILE* target);

// The number of the line the next character written will stand on.
size_t line_counter_next_line(line_counter* c);

// Passes on what is buffered and releases the counter, leaving the target
// open; false when the text could not all be passed on. Accepts null.
bool line_counter_close(line_counter* c);

#endif
