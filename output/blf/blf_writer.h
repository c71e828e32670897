// The BLF format: the CAN and LIN frames of a log in "<stem>.blf", a binary
// trace of compressed containers, written only when the log has a frame.
#ifndef TRACEWRIGHT_OUTPUT_BLF_BLF_WRITER_H_
#define TRACEWRIGHT_OUTPUT_BLF_BLF_WRITER_H_

struct FileSystem;
struct TraceFormat;

/// A BLF format writing into `fs`, or null when memory is short. With
/// `durable` its traces are forced to the disk. Released through its
/// destroy operation.
[[nodiscard]] TraceFormat* blf_writer_create(FileSystem* fs, bool durable);

#endif  // TRACEWRIGHT_OUTPUT_BLF_BLF_WRITER_H_
