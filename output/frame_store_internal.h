// Test hooks of the frame store.
// Product code outside the store never includes this header.
#ifndef TRACEWRIGHT_OUTPUT_FRAME_STORE_INTERNAL_H_
#define TRACEWRIGHT_OUTPUT_FRAME_STORE_INTERNAL_H_

#include <cstddef>
#include <cstdint>

/// The frames one chunk of a frame store holds before it is spilled to a
/// run file (0: the built-in size).
void frame_store_set_chunk_frames_for_testing(size_t frames);
/// Makes the store's allocation `successes` allocations from now fail, as
/// if memory had run out (0: the very next one): the growth of a chunk or
/// of its payload arena, a run's name, the merge. The hook disarms itself
/// after the failure; a negative value disarms it at once.
void frame_store_fail_allocation_for_testing(int64_t successes);

#endif  // TRACEWRIGHT_OUTPUT_FRAME_STORE_INTERNAL_H_
