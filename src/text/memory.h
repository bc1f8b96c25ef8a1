#ifndef VELLMARK_TEXT_MEMORY_H
#define VELLMARK_TEXT_MEMORY_H

#include <cstddef>

// Every allocation of the system passes through these four calls, so that a
// test can make any one of them fail and check that the caller recovers.

// Allocates size bytes; null when memory runs out or a failure was injected.
void* memory_alloc(size_t size);

// Allocates count * size zeroed bytes; null on overflow, exhaustion or an injected failure.
void* memory_alloc_zero(size_t count, size_t size);

// Resizes block (null allocates) to size bytes; null leaves block untouched and owned by the caller.
void* memory_resize(void* block, size_t size);

// Releases a block from the calls above; accepts null.
void memory_release(void* block);

// Allocates one zero-filled record of a plain type; null on failure.
template <typename T>
T* memory_new_record() {
  return static_cast<T*>(memory_alloc_zero(1, sizeof(T)));
}

// Allocations refused so far, injected failures included; a sink compares
// it before and after a stage to tell exhausted memory from bad input.
size_t memory_failed_allocations();

// Test hook: the k-th allocation from now (counting from 1) fails, later ones succeed; 0 disarms.
void memory_fail_at(size_t k);

// Test hook: allocations attempted since the process started, failed ones included.
size_t memory_allocation_count();

// Test hook: blocks handed out and not yet released.
size_t memory_live_blocks();

#endif
