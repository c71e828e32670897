// The candump log format: the CAN frames of a log as "<stem>.log", one line
// each with its absolute time, written only when the log has a CAN frame.
// LIN frames have no place in such a log.
#ifndef TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_WRITER_H_
#define TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_WRITER_H_

struct TraceFormat;
struct TraceTarget;

/// A candump log format writing as `target` says, or null when
/// memory is short. Released through its destroy operation.
[[nodiscard]] TraceFormat* candump_writer_create(const TraceTarget& target);

#endif  // TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_WRITER_H_
