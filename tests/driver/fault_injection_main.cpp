// The whole program with one allocation made to fail: VELLMARK_FAIL_AT=k
// fails the k-th allocation of the run (0 or unset: none fails). When
// VELLMARK_ALLOCATIONS names a file, the number of allocations the run
// attempted is written to it, so that a test knows how far to count. A run
// that leaves a block unreleased ends with status 3 after saying so.
#include <cstdio>
#include <cstdlib>

#include "driver.h"
#include "text/memory.h"

namespace {

// The fail index from the environment; 0 when unset or not a number.
size_t fail_index() {
  const char* text = std::getenv("VELLMARK_FAIL_AT");
  if (text == nullptr) return 0;
  char* end = nullptr;
  unsigned long long k = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' ? static_cast<size_t>(k) : 0;
}

// Writes the run's allocation count to the file the environment names, if any.
void record_allocations(size_t count) {
  const char* path = std::getenv("VELLMARK_ALLOCATIONS");
  if (path == nullptr) return;
  FILE* file = std::fopen(path, "w");
  if (file == nullptr) return;
  std::fprintf(file, "%zu\n", count);
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  size_t first = memory_allocation_count();
  size_t live = memory_live_blocks();
  memory_fail_at(fail_index());
  int status = driver_main(argc, argv);
  record_allocations(memory_allocation_count() - first);
  if (memory_live_blocks() != live) {
    std::fprintf(stderr, "fault injection: %zu blocks were not released\n", memory_live_blocks() - live);
    return 3;
  }
  return status;
}
