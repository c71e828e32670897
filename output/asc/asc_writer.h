// The ASC format: CAN frames become the lines of "<stem>.asc", LIN frames
// those of "<stem>_LIN.asc", each file dated by its own first frame and
// written only when the log has a frame for it.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_

struct FileSystem;
struct TraceFormat;

/// An ASC format writing into `fs`, or null when memory is short. With
/// `durable` its traces are forced to the disk (the input is removed
/// afterwards). Released through its destroy operation.
[[nodiscard]] TraceFormat* asc_writer_create(FileSystem* fs, bool durable);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_
