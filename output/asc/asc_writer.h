// The ASC format: CAN frames become the lines of "<stem>.asc", LIN frames
// those of "<stem>_LIN.asc", each file dated by its own first frame and
// written only when the log has a frame for it.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_

struct TraceFormat;
struct TraceTarget;

/// An ASC format writing as `target` says, or null when
/// memory is short. Released through its destroy operation.
[[nodiscard]] TraceFormat* asc_writer_create(const TraceTarget& target);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_
