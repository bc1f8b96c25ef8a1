#ifndef VELLMARK_TESTS_SUPPORT_CAPTURED_DIAGNOSTICS_H
#define VELLMARK_TESTS_SUPPORT_CAPTURED_DIAGNOSTICS_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/diagnostics.h"

// A diagnostics sink whose lines are kept in memory, for tests to compare
// with the exact text a user would see on standard error.
class captured_diagnostics {
 public:
  explicit captured_diagnostics(const char* input_name = "g.y") {
    stream_ = open_memstream(&buffer_, &size_);
    sink = diagnostics_for(input_name, stream_);
  }
  ~captured_diagnostics() {
    std::fclose(stream_);
    std::free(buffer_);
  }
  captured_diagnostics(const captured_diagnostics&) = delete;
  captured_diagnostics& operator=(const captured_diagnostics&) = delete;

  // Every line written so far.
  std::string text() {
    std::fflush(stream_);
    return std::string(buffer_, size_);
  }

  diagnostics sink;

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  FILE* stream_ = nullptr;
};

#endif
