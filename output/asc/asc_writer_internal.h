// Test hooks of the ASC writer and its frame stores.
// Product code outside the writer never includes this header.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_

#include <cstddef>
#include <cstdint>

/// Makes the writer's allocation `successes` allocations from now fail, as
/// if memory had run out (0: the very next one). The allocations counted are
/// those of the frame stores: the growth of a chunk or of its payload arena,
/// a run's name, the merge. The hook disarms itself after the failure; a
/// negative value disarms it at once.
void asc_writer_fail_allocation_for_testing(int64_t successes);

/// The frames one chunk of a frame store holds before it is spilled to a
/// run file (0: the built-in size).
void frame_store_set_chunk_frames_for_testing(size_t frames);
/// The frame stores' allocation failure counter, which the hook above arms.
void frame_store_fail_allocation_for_testing(int64_t successes);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
