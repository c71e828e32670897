// The interface between the ordering core and one trace format (ASC, BLF,
// candump log): the core hands every frame of a log to each requested format
// in time order, and the format turns them into its trace files.
#ifndef TRACEWRIGHT_OUTPUT_TRACE_FORMAT_H_
#define TRACEWRIGHT_OUTPUT_TRACE_FORMAT_H_

#include <string>
#include <string_view>

struct BusMessage;
struct FileSystem;
struct OutputRegistry;
struct TraceFormat;

/// The operations of one format, in the order the core calls them per log.
struct TraceFormatOps {
  /// Start of a log whose traces are named after `stem` (a path in the
  /// format's filesystem, without extension); whatever the last log left
  /// is gone by now.
  void (*begin)(TraceFormat* format, std::string_view stem);
  /// One CAN data or remote frame or LIN frame, in time order, equal times
  /// in input order; valid only during the call. A format opens a trace at
  /// the first frame it has a place for. A failure is kept and reported by
  /// finish; the frames after it are passed over.
  void (*frame)(TraceFormat* format, const BusMessage& frame);
  /// Every frame was handed over: completes the traces and puts them in
  /// place as the outputs of the log `input` (relative to the input
  /// filesystem), logging what failed. True when every trace the log needed
  /// is in place (also when it needed none).
  bool (*finish)(TraceFormat* format, std::string_view input);
  /// Drops what the log has of traces, without a message: the log failed,
  /// or its frames come again from the first (they are then taken as if
  /// they were the first to come).
  void (*abandon)(TraceFormat* format);
  /// Abandons what is open and frees the format.
  void (*destroy)(TraceFormat* format);
};

/// Where and how a format puts its traces; shared by every format of a run.
struct TraceTarget {
  FileSystem* fs;            ///< where the traces go; not owned
  OutputRegistry* registry;  ///< the traces written in this run; not owned
  bool durable;              ///< force traces to the disk before and after the rename
};

/// The head of every format's record.
struct TraceFormat {
  const TraceFormatOps* ops;
  TraceTarget target;
  std::string stem;  ///< the traces' name without extension, as begin gave it
};

#endif  // TRACEWRIGHT_OUTPUT_TRACE_FORMAT_H_
