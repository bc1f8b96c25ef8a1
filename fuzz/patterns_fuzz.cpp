// Feeds arbitrary bytes to the lexical-specification reader: every input
// must end in success or in a failure with its messages, never in a crash,
// and the description must give back everything it allocated.
#include "fuzz_input.h"
#include "lex/patterns.h"
#include "text/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t live_before = memory_live_blocks();
  FILE* input = fuzz_open_input(data, size);
  if (input == nullptr) return 0;
  reader* r = reader_new(input);
  patterns* p = patterns_new();
  if (r != nullptr && p != nullptr) patterns_read(p, r);
  patterns_free(p);
  reader_free(r);
  std::fclose(input);
  fuzz_expect_no_lost_blocks(live_before);
  return 0;
}
