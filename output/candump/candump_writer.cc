// The candump log format: lines built by candump_lines.cc, batched and put
// in place by the trace file. A standard frame whose identifier does not fit
// 11 bits can only be written as an extended one; the log says how many.
#include "output/candump/candump_writer.h"

#include "convert/bus_message.h"
#include "log/log.h"
#include "output/candump/candump_lines.h"
#include "output/trace_file.h"
#include "output/trace_format.h"

#include <new>
#include <string>

namespace {

enum LogFailure : uint8_t {
  LOG_WRITING,
  LOG_NOT_OPENED,
  LOG_NO_TIME,
  LOG_DATA_SHORT,
};

struct CandumpWriter : TraceFormat {
  TraceFile file;
  bool started;  ///< the log's first CAN frame came, so the trace was opened
  LogFailure failure;
  unsigned long long widened;  ///< standard frames written with 8-digit IDs
};

}  // namespace

static void candump_abandon(TraceFormat* format) {
  auto* writer = static_cast<CandumpWriter*>(format);
  if (writer->started && writer->failure != LOG_NOT_OPENED) trace_file_abandon(&writer->file);
  writer->started = false;
  writer->failure = LOG_WRITING;
  writer->widened = 0;
}

static void candump_begin(TraceFormat* format, std::string_view stem) {
  candump_abandon(format);
  format->stem.assign(stem);
}

static void candump_frame(TraceFormat* format, const BusMessage& frame) {
  auto* writer = static_cast<CandumpWriter*>(format);
  if (frame.Kind == LIN_Frame) return;
  if (!writer->started) {
    writer->started = true;
    std::string path = writer->stem + ".log";
    if (!trace_file_open(&writer->file, writer->target.fs, path)) {
      writer->file.path = path;
      writer->failure = LOG_NOT_OPENED;
    }
  }
  if (writer->failure != LOG_WRITING) return;
  switch (candump_append_line(&writer->file.pending, frame)) {
    case CANDUMP_LINE_WRITTEN: break;
    case CANDUMP_LINE_ID_WIDENED: ++writer->widened; break;
    case CANDUMP_LINE_TIME_UNPRINTABLE: writer->failure = LOG_NO_TIME; return;
  }
  if (!trace_file_write_pending(&writer->file, false)) writer->failure = LOG_DATA_SHORT;
}

static bool candump_finish(TraceFormat* format, std::string_view input) {
  auto* writer = static_cast<CandumpWriter*>(format);
  if (!writer->started) return true;
  writer->started = false;
  if (writer->failure == LOG_WRITING && !trace_file_write_pending(&writer->file, true)) {
    writer->failure = LOG_DATA_SHORT;
  }
  const char* path = writer->file.path.c_str();
  switch (writer->failure) {
    case LOG_WRITING: break;
    case LOG_NOT_OPENED:
      LOG(LOG_ERROR, "Could not open output file for candump: %s", path);
      return false;
    case LOG_NO_TIME: LOG(LOG_ERROR, "Could not convert candump time"); break;
    case LOG_DATA_SHORT: LOG(LOG_ERROR, "Could not write candump data"); break;
  }
  switch (trace_file_finish(&writer->file, writer->failure == LOG_WRITING, writer->target.durable,
                            writer->target.registry, input)) {
    case TRACE_IN_PLACE:
      if (writer->widened > 0) {
        LOG(LOG_WARN,
            "Wrote %llu standard frames with identifiers wider than 11 bits as extended in %s",
            writer->widened, path);
      }
      return true;
    case TRACE_OVERWRITES: break;  // the registry said why
    case TRACE_NOT_RENAMED:
      LOG(LOG_ERROR, "Could not open output file for candump: %s", path);
      break;
    case TRACE_FAILED: break;
  }
  return false;
}

static void candump_destroy(TraceFormat* format) {
  candump_abandon(format);
  delete static_cast<CandumpWriter*>(format);
}

static const TraceFormatOps kCandumpOps = {
    .begin = candump_begin,
    .frame = candump_frame,
    .finish = candump_finish,
    .abandon = candump_abandon,
    .destroy = candump_destroy,
};

TraceFormat* candump_writer_create(const TraceTarget& target) {
  auto* writer = new (std::nothrow) CandumpWriter{};
  if (writer == nullptr) return nullptr;
  writer->ops = &kCandumpOps;
  writer->target = target;
  return writer;
}
