// Test hooks of the ASC writer; the line builders its tests compare come
// with output/asc/asc_lines.h.
// Product code outside the writer never includes this header.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "output/asc/asc_lines.h"

/// Makes the writer's allocation `successes` allocations from now fail, as
/// if memory had run out (0: the very next one). The allocations counted are
/// a block for kept frames and the growth of a frame list. The hook disarms
/// itself after the failure; a negative value disarms it at once.
void asc_writer_fail_allocation_for_testing(int64_t successes);
/// How many CAN (`lin` false) or LIN frames one block keeps: the frame after
/// that many needs a new block. Never a power of two, so a new block is
/// never due together with the growth of the frame list's array (64, 128,
/// ... pointers).
size_t asc_writer_frames_per_block_for_testing(bool lin);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
