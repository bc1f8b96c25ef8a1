#ifndef VELLMARK_OPTIONS_H
#define VELLMARK_OPTIONS_H

// What the command line asked for.
struct options {
  const char* path;    // input grammar, null for standard input
  const char* output;  // output file, null for the default name
  const char* header_name;  // token header file, null for the default name
  const char* prefix;  // spelling of the generated names in place of "yy", null for "yy"
  const char* report;  // state report file, null when none is asked for
  bool header;         // also write the token header
  bool line_directives;  // mark each action with its line in the grammar
  bool details;        // print the table report instead of the parser source
  bool help;
  bool version;
};

// Fills o from the command line; false after a diagnostic when the command line is unusable.
bool options_parse(options* o, int argc, char** argv);

#endif
