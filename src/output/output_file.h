#ifndef VELLMARK_OUTPUT_OUTPUT_FILE_H
#define VELLMARK_OUTPUT_OUTPUT_FILE_H

#include <cstdio>

// A generated file on its way to its target. A regular file, or a name that
// does not exist yet, is written through a temporary file beside it, which
// replaces the target only once it is complete, so that a run that fails or
// is interrupted leaves the previous file as it was. Anything else (the null
// device, a pipe, a terminal) is written directly.
struct output_file {
  FILE* stream;     // where the text is written
  char* target;     // the file the text ends up in, a symbolic link followed to its file
  char* temporary;  // the temporary file beside the target; null when the target is written directly
};

// Opens the stream for the file name, creating only a temporary file; null,
// having created nothing, when the target cannot be written (a missing
// folder, a read-only file, a folder by that name) or memory runs out.
output_file* output_file_open(const char* name);

// Closes the stream and moves the temporary file over the target, then
// releases the record; false, with the temporary file removed and the
// target untouched, when the text could not be written or moved.
bool output_file_commit(output_file* f);

// Closes the stream, removes the temporary file and releases the record,
// leaving the target as it was; accepts null.
void output_file_discard(output_file* f);

// True when the two names are one file that would be written twice: the
// same regular file, or, before either exists, the same name in the same
// folder. Devices, pipes and terminals take any number of writers.
bool output_files_clash(const char* a, const char* b);

#endif
