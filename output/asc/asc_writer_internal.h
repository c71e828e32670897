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
/// those of the frame stores: the growth of a chunk or of its payload arena,
/// a run's name, the merge. The hook disarms itself after the failure; a
/// negative value disarms it at once.
void asc_writer_fail_allocation_for_testing(int64_t successes);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
