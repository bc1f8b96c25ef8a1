// Feeds arbitrary bytes to the grammar-file reader: every input must end in
// success or in a failure with its messages, never in a crash, and the
// grammar must give back everything it allocated.
#include "fuzz_input.h"
#include "grammar/grammar.h"
#include "grammar/grammar_reader.h"
#include "text/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t live_before = memory_live_blocks();
  FILE* input = fuzz_open_input(data, size);
  if (input == nullptr) return 0;
  reader* r = reader_new(input);
  grammar* g = grammar_new();
  if (r != nullptr && g != nullptr) grammar_read(g, r);
  grammar_free(g);
  reader_free(r);
  std::fclose(input);
  fuzz_expect_no_lost_blocks(live_before);
  return 0;
}
