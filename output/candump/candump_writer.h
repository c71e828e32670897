// The candump log format: the CAN frames of a log as "<stem>.log", one line
// each with its absolute time, written only when the log has a CAN frame.
// LIN frames have no place in such a log.
#ifndef TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_WRITER_H_
#define TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_WRITER_H_

struct FileSystem;
struct TraceFormat;

/// A candump log format writing into `fs`, or null when memory is short.
/// With `durable` its traces are forced to the disk. Released through its
/// destroy operation.
[[nodiscard]] TraceFormat* candump_writer_create(FileSystem* fs, bool durable);

#endif  // TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_WRITER_H_
