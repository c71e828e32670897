// The BLF format: the CAN and LIN frames of a log in "<stem>.blf", a binary
// trace of compressed containers, written only when the log has a frame.
#ifndef TRACEWRIGHT_OUTPUT_BLF_BLF_WRITER_H_
#define TRACEWRIGHT_OUTPUT_BLF_BLF_WRITER_H_

struct TraceFormat;
struct TraceTarget;

/// A BLF format writing as `target` says, or null when
/// memory is short. Released through its destroy operation.
[[nodiscard]] TraceFormat* blf_writer_create(const TraceTarget& target);

#endif  // TRACEWRIGHT_OUTPUT_BLF_BLF_WRITER_H_
