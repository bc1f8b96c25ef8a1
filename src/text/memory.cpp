#include "text/memory.h"

#include <cstdlib>

namespace {

size_t attempts = 0;
size_t fail_at = 0;  // attempt number that fails, 0 when disarmed
size_t live = 0;
size_t refused = 0;

// Counts one allocation attempt and tells whether it must fail.
bool injected_failure() {
  ++attempts;
  if (fail_at != 0 && attempts == fail_at) {
    fail_at = 0;
    return true;
  }
  return false;
}

void* count_live(void* block) {
  if (block != nullptr) ++live;
  return block;
}

// Counts a request that came back empty.
void* count_refused(void* block) {
  if (block == nullptr) ++refused;
  return block;
}

}  // namespace

void* memory_alloc(size_t size) {
  if (injected_failure()) return count_refused(nullptr);
  return count_refused(count_live(std::malloc(size == 0 ? 1 : size)));
}

void* memory_alloc_zero(size_t count, size_t size) {
  if (injected_failure()) return count_refused(nullptr);
  if (count == 0 || size == 0) count = size = 1;
  return count_refused(count_live(std::calloc(count, size)));
}

void* memory_resize(void* block, size_t size) {
  if (injected_failure()) return count_refused(nullptr);
  void* moved = count_refused(std::realloc(block, size == 0 ? 1 : size));
  if (block == nullptr) return count_live(moved);
  return moved;
}

void memory_release(void* block) {
  if (block == nullptr) return;
  --live;
  std::free(block);
}

void memory_fail_at(size_t k) { fail_at = k == 0 ? 0 : attempts + k; }

size_t memory_failed_allocations() { return refused; }

size_t memory_allocation_count() { return attempts; }

size_t memory_live_blocks() { return live; }
