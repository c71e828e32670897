// The trace file: its temporary name, its guard, its batches and its commit.
// Every format writes through it, so a trace of any format appears whole or
// not at all.
#include "output/trace_file.h"

#include "platform/filesystem.h"
#include "platform/interrupt.h"
#include "platform/path.h"
#include "platform/str.h"
#include "platform/stream.h"

#include <unistd.h>

/// The name a trace is written under until it is complete: beside the
/// trace, hidden by its leading dot, and unique to this process, e.g.
/// logs/.00000001.asc.4711.tmp for logs/00000001.asc. It ends in ".tmp", so
/// a later walk over the folder passes it over. Only the first 200 bytes of
/// the name are used, so that a trace whose name is near the platform's
/// limit of 255 still gets a temporary name.
static std::string temporary_path(std::string_view path) {
  std::string temporary(path_dir_prefix(path));
  std::string_view name = path_basename(path).substr(0, 200);
  str_append_printf(&temporary, ".%.*s.%ld.tmp", static_cast<int>(name.size()), name.data(),
                    static_cast<long>(getpid()));
  return temporary;
}

bool trace_file_open(TraceFile* trace, FileSystem* fs, std::string_view path) {
  trace->fs = fs;
  trace->path.assign(path);
  trace->temporary = temporary_path(path);
  trace->pending.clear();
  std::string guarded;
  fs_absolute_path(fs, trace->temporary, &guarded);
  trace->stream = nullptr;
  if (interrupt_guard_file(guarded)) {
    trace->stream = fs_open(fs, trace->temporary, FS_OPEN_WRITE | FS_OPEN_IGNORED_BIT);
  }
  if (trace->stream == nullptr) interrupt_release_file();
  return trace->stream != nullptr;
}

bool trace_file_write_pending(TraceFile* trace, bool all) {
  if (trace->pending.empty() || (!all && trace->pending.size() < TRACE_BATCH_BYTES)) return true;
  int64_t length = static_cast<int64_t>(trace->pending.size());
  bool written = stream_write(trace->stream, trace->pending.data(), length) == length;
  trace->pending.clear();
  return written;
}

bool trace_file_write_at(TraceFile* trace, int64_t offset, const void* bytes, size_t size) {
  int64_t end = stream_tell(trace->stream);
  int64_t length = static_cast<int64_t>(size);
  return end >= 0 && stream_seek(trace->stream, offset, 0) == offset &&
         stream_write(trace->stream, bytes, length) == length &&
         stream_seek(trace->stream, end > offset + length ? end : offset + length, 0) >= 0;
}

static void remove_temporary(TraceFile* trace) {
  // The trace fails whether or not the removal works, so its result adds
  // nothing to report.
  (void)fs_remove(trace->fs, trace->temporary);
  interrupt_release_file();
}

TraceFinish trace_file_finish(TraceFile* trace, bool whole, bool durable) {
  // Buffered bytes reach the disk only now, so a full disk may show itself
  // at the close alone.
  bool closed = stream_close(trace->stream) == 0;
  trace->stream = nullptr;
  trace->pending.clear();
  if (!closed || !whole || (durable && !fs_flush(trace->fs, trace->temporary))) {
    remove_temporary(trace);
    return TRACE_FAILED;
  }
  if (!fs_rename(trace->fs, trace->temporary, trace->path)) {
    remove_temporary(trace);
    return TRACE_NOT_RENAMED;
  }
  interrupt_release_file();
  // A failed flush after the rename leaves the complete trace in place but
  // fails it, so that the input is kept.
  if (durable && !fs_flush(trace->fs, path_dir_prefix(trace->path))) return TRACE_FAILED;
  return TRACE_IN_PLACE;
}

void trace_file_abandon(TraceFile* trace) {
  if (trace->stream == nullptr) return;
  (void)stream_close(trace->stream);
  trace->stream = nullptr;
  trace->pending.clear();
  remove_temporary(trace);
}
