// The output plug-in: puts the frames of each log in time order once and
// hands every frame to each requested trace format. A log in time order
// goes straight through; the first frame out of order has the pipeline hand
// the log over again, and its frames are then kept, sorted and merged.
#ifndef TRACEWRIGHT_OUTPUT_TRACE_WRITER_H_
#define TRACEWRIGHT_OUTPUT_TRACE_WRITER_H_

struct ConversionOptions;
struct FileSystem;
struct OutputPlugin;
struct OutputRegistry;

/// A bound writer for the formats of `options` (FORMAT_* bits), writing
/// into `output_fs` and recording every trace it puts in place in
/// `registry` (borrowed; shared by all writers of a run, so that none
/// replaces a trace another input's log was written to). Null for short
/// memory or a null argument. Release it with output_plugin_destroy.
[[nodiscard]] OutputPlugin* trace_writer_create(FileSystem* input_fs, FileSystem* output_fs,
                                                ConversionOptions* options,
                                                OutputRegistry* registry);

#endif  // TRACEWRIGHT_OUTPUT_TRACE_WRITER_H_
