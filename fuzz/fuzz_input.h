// Shared pieces of the fuzz harnesses: the fuzzer's bytes as a stream, and
// the check that one run gave back every block it took.
#ifndef VELLMARK_FUZZ_FUZZ_INPUT_H
#define VELLMARK_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "text/memory.h"

// A read-only stream over the fuzzer's bytes, so that the reader's window
// refills exactly as it does on a file; null when the stream cannot be made.
inline FILE* fuzz_open_input(const uint8_t* data, size_t size) {
  static uint8_t empty[1];
  return fmemopen(size == 0 ? empty : const_cast<uint8_t*>(data), size, "r");
}

// Stops the run with a crash report when blocks were lost since live_before.
inline void fuzz_expect_no_lost_blocks(size_t live_before) {
  if (memory_live_blocks() != live_before) {
    std::fprintf(stderr, "%zu blocks were not released\n", memory_live_blocks() - live_before);
    std::abort();
  }
}

#endif
