// The life of one trace file, the same for every format: a hidden temporary
// name beside the final one, a guard that removes it when a signal ends the
// run, the bytes batched before they are written, and at the end either the
// rename into place (flushed to the disk under -d) or the removal.
#ifndef TRACEWRIGHT_OUTPUT_TRACE_FILE_H_
#define TRACEWRIGHT_OUTPUT_TRACE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct FileSystem;
struct OutputRegistry;
struct Stream;

/// Bytes a format gathers in `pending` before they go out in one write:
/// one write per line cost more in system calls than building the line.
constexpr size_t TRACE_BATCH_BYTES = 256 * 1024;

/// One trace being written. Zero-initialised it is closed and holds nothing;
/// it is reused from log to log.
struct TraceFile {
  FileSystem* fs = nullptr;
  std::string path;       ///< the final name, relative to fs
  std::string temporary;  ///< the name written until the trace is whole
  Stream* stream = nullptr;
  int guard = 0;        ///< the signal guard slot of the temporary file, while open
  std::string pending;  ///< bytes not written yet; the format appends here
};

enum TraceFinish : uint8_t {
  TRACE_IN_PLACE,     ///< whole, closed and under its final name
  TRACE_NOT_RENAMED,  ///< whole, but the final name could not be taken; removed
  /// Whole, but the final name reaches a trace this run wrote for another
  /// input, which stays as it was (said in the log); removed.
  TRACE_OVERWRITES,
  TRACE_FAILED,  ///< not whole, not closed or not flushed: removed, or left in place unflushed
};

/// Creates the temporary file of `path` in `fs` and guards it in a slot of
/// its own. False, with nothing left open or guarded, when it cannot be had;
/// a file already under the temporary name is left as it is, as it is not
/// this run's.
[[nodiscard]] bool trace_file_open(TraceFile* trace, FileSystem* fs, std::string_view path);
/// Writes what is pending once it holds a batch, or whenever `all` is set;
/// empties `pending` either way. False on a short write.
[[nodiscard]] bool trace_file_write_pending(TraceFile* trace, bool all);
/// Writes `size` bytes at `offset` from the start, where a format left room
/// for what it knows only at the end; pending bytes must be written first.
/// Afterwards the stream stands at the end of what was written. False on a
/// failed seek or a short write.
[[nodiscard]] bool trace_file_write_at(TraceFile* trace, int64_t offset, const void* bytes,
                                       size_t size);
/// Ends an open trace: closes it and, when `whole` and the close went well,
/// puts it in place of `path` through `registry` as the output of `input`.
/// With `durable` (the input is removed after this) the file and then its
/// folder are forced to the disk, so that a power cut cannot take the
/// input's only copy. Any other outcome removes the temporary file. The
/// guard is dropped in every case.
TraceFinish trace_file_finish(TraceFile* trace, bool whole, bool durable, OutputRegistry* registry,
                              std::string_view input);
/// Closes and removes the temporary file of an open trace, dropping its
/// guard; nothing for a closed one.
void trace_file_abandon(TraceFile* trace);

#endif  // TRACEWRIGHT_OUTPUT_TRACE_FILE_H_
