// Test hooks of the ASC writer. Product code never includes this header.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_

#include <cstdint>

/// Makes the writer's allocation `successes` allocations from now fail, as
/// if memory had run out (0: the very next one). The allocations counted are
/// the copy of a kept frame and the growth of a frame list. The hook disarms
/// itself after the failure; a negative value disarms it at once.
void asc_writer_fail_allocation_for_testing(int64_t successes);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
