// The BLF format: the encoder turns the frames into containers, which go
// out through the trace file in batches; the file header, whose counts and
// times are known only at the end, is written over a placeholder last,
// before the trace is put in place.
#include "output/blf/blf_writer.h"

#include "convert/bus_message.h"
#include "log/log.h"
#include "output/blf/blf_encoder.h"
#include "output/trace_file.h"
#include "output/trace_format.h"

#include <new>
#include <string>

namespace {

enum BlfFailure : uint8_t {
  BLF_WRITING,
  BLF_NOT_OPENED,
  BLF_NO_MEMORY,
  BLF_NO_TIME,
  BLF_NOT_COMPRESSED,
  BLF_DATA_SHORT,
  BLF_HEADER_SHORT,
};

struct BlfWriter : TraceFormat {
  TraceFile file;
  BlfEncoder* encoder;  ///< of the log's trace, while it is written
  bool started;         ///< the log's first frame came, so the trace was opened
  BlfFailure failure;
};

}  // namespace

static bool to_file(void* context, const uint8_t* bytes, size_t size) {
  auto* writer = static_cast<BlfWriter*>(context);
  writer->file.pending.append(reinterpret_cast<const char*>(bytes), size);
  return trace_file_write_pending(&writer->file, false);
}

static void note(BlfWriter* writer, BlfResult result) {
  switch (result) {
    case BLF_OK: return;
    case BLF_TIME_UNPRINTABLE: writer->failure = BLF_NO_TIME; return;
    case BLF_COMPRESS_FAILED: writer->failure = BLF_NOT_COMPRESSED; return;
    case BLF_SINK_FAILED: writer->failure = BLF_DATA_SHORT; return;
  }
}

static void blf_abandon(TraceFormat* format) {
  auto* writer = static_cast<BlfWriter*>(format);
  if (writer->started && writer->failure != BLF_NOT_OPENED) trace_file_abandon(&writer->file);
  blf_encoder_destroy(writer->encoder);
  writer->encoder = nullptr;
  writer->started = false;
  writer->failure = BLF_WRITING;
}

static void blf_begin(TraceFormat* format, std::string_view stem) {
  blf_abandon(format);
  format->stem.assign(stem);
}

/// Opens the trace with room for its header, which is written last.
static void start(BlfWriter* writer) {
  writer->started = true;
  std::string path = writer->stem + ".blf";
  if (!trace_file_open(&writer->file, writer->target.fs, path)) {
    writer->file.path = path;
    writer->failure = BLF_NOT_OPENED;
    return;
  }
  writer->encoder = blf_encoder_create(to_file, writer);
  uint8_t header[BLF_FILE_HEADER_SIZE];
  if (writer->encoder == nullptr || !blf_encoder_header(writer->encoder, header)) {
    writer->failure = BLF_NO_MEMORY;
    return;
  }
  writer->file.pending.append(reinterpret_cast<const char*>(header), sizeof header);
}

static void blf_frame(TraceFormat* format, const BusMessage& frame) {
  auto* writer = static_cast<BlfWriter*>(format);
  if (!writer->started) start(writer);
  if (writer->failure != BLF_WRITING) return;
  note(writer, blf_encoder_add(writer->encoder, frame));
}

/// The last container and the header, over its placeholder.
static void complete(BlfWriter* writer) {
  note(writer, blf_encoder_finish(writer->encoder));
  if (writer->failure == BLF_WRITING && !trace_file_write_pending(&writer->file, true)) {
    writer->failure = BLF_DATA_SHORT;
  }
  if (writer->failure != BLF_WRITING) return;
  uint8_t header[BLF_FILE_HEADER_SIZE];
  if (!blf_encoder_header(writer->encoder, header) ||
      !trace_file_write_at(&writer->file, 0, header, sizeof header)) {
    writer->failure = BLF_HEADER_SHORT;
  }
}

static bool blf_finish(TraceFormat* format, std::string_view input) {
  auto* writer = static_cast<BlfWriter*>(format);
  if (!writer->started) return true;
  if (writer->failure == BLF_WRITING) complete(writer);
  blf_encoder_destroy(writer->encoder);
  writer->encoder = nullptr;
  writer->started = false;
  const char* path = writer->file.path.c_str();
  switch (writer->failure) {
    case BLF_WRITING: break;
    case BLF_NOT_OPENED:
      LOG(LOG_ERROR, "Could not open output file for BLF: %s", path);
      return false;
    case BLF_NO_MEMORY: LOG(LOG_ERROR, "Out of memory while writing BLF data"); break;
    case BLF_NO_TIME: LOG(LOG_ERROR, "Could not convert BLF time"); break;
    case BLF_NOT_COMPRESSED: LOG(LOG_ERROR, "Could not compress BLF data"); break;
    case BLF_DATA_SHORT: LOG(LOG_ERROR, "Could not write BLF data"); break;
    case BLF_HEADER_SHORT: LOG(LOG_ERROR, "Could not write BLF header"); break;
  }
  switch (trace_file_finish(&writer->file, writer->failure == BLF_WRITING, writer->target.durable,
                            writer->target.registry, input)) {
    case TRACE_IN_PLACE: return true;
    case TRACE_OVERWRITES: break;  // the registry said why
    case TRACE_NOT_RENAMED: LOG(LOG_ERROR, "Could not open output file for BLF: %s", path); break;
    case TRACE_FAILED: break;
  }
  return false;
}

static void blf_destroy(TraceFormat* format) {
  blf_abandon(format);
  delete static_cast<BlfWriter*>(format);
}

static const TraceFormatOps kBlfOps = {
    .begin = blf_begin,
    .frame = blf_frame,
    .finish = blf_finish,
    .abandon = blf_abandon,
    .destroy = blf_destroy,
};

TraceFormat* blf_writer_create(const TraceTarget& target) {
  auto* writer = new (std::nothrow) BlfWriter{};
  if (writer == nullptr) return nullptr;
  writer->ops = &kBlfOps;
  writer->target = target;
  return writer;
}
