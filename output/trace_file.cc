// The trace file: its temporary name, its guard, its batches and its commit.
// Every format writes through it, so a trace of any format appears whole or
// not at all.
#include "output/trace_file.h"

#include "convert/output_registry.h"
#include "output/temporary_names.h"
#include "platform/filesystem.h"
#include "platform/interrupt.h"
#include "platform/path.h"
#include "platform/stream.h"

bool trace_file_open(TraceFile* trace, FileSystem* fs, std::string_view path) {
  trace->fs = fs;
  trace->path.assign(path);
  trace->temporary = temporary_trace_path(path);
  trace->pending.clear();
  std::string guarded;
  fs_absolute_path(fs, trace->temporary, &guarded);
  trace->stream = nullptr;
  trace->guard = interrupt_guard_acquire();
  interrupt_create_begin();
  if (interrupt_guard_arm(trace->guard, guarded, false)) {
    trace->stream =
        fs_open(fs, trace->temporary, FS_OPEN_WRITE | FS_OPEN_CREATE_NEW | FS_OPEN_IGNORED_BIT);
  }
  interrupt_create_end();
  if (trace->stream == nullptr) {
    interrupt_guard_release(trace->guard);
    trace->guard = 0;
  }
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

static void release_guard(TraceFile* trace) {
  interrupt_guard_release(trace->guard);
  trace->guard = 0;
}

static void remove_temporary(TraceFile* trace) {
  // The trace fails whether or not the removal works, so its result adds
  // nothing to report.
  (void)fs_remove(trace->fs, trace->temporary);
  release_guard(trace);
}

TraceFinish trace_file_finish(TraceFile* trace, bool whole, bool durable, OutputRegistry* registry,
                              std::string_view input) {
  // Buffered bytes reach the disk only now, so a full disk may show itself
  // at the close alone.
  bool closed = stream_close(trace->stream) == 0;
  trace->stream = nullptr;
  trace->pending.clear();
  if (!closed || !whole || (durable && !fs_flush(trace->fs, trace->temporary))) {
    remove_temporary(trace);
    return TRACE_FAILED;
  }
  switch (output_registry_commit(registry, trace->fs, trace->temporary, trace->path, input)) {
    case OUTPUT_COMMITTED: break;
    case OUTPUT_OVERWRITES: remove_temporary(trace); return TRACE_OVERWRITES;
    case OUTPUT_NOT_RENAMED: remove_temporary(trace); return TRACE_NOT_RENAMED;
  }
  release_guard(trace);
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
