// One BLF file's frames into objects and containers. Times are kept in
// integers: a double holds a time of today only to about a quarter
// microsecond, so start and offsets are whole microseconds, and a reader
// adding the start to an offset gets the frame's microsecond back.
#include "output/blf/blf_encoder.h"

#include "convert/bus_message.h"
#include "output/blf/blf_objects.h"
#include "output/frame_time.h"

#include <new>

struct BlfEncoder {
  BlfPacker* packer;
  bool started;
  int64_t start_ms;
  int64_t last_ms;
};

// Milliseconds of a microsecond count, rounded toward the past.
static int64_t floor_millis(int64_t micros) { return micros / 1000 - (micros % 1000 < 0 ? 1 : 0); }

BlfEncoder* blf_encoder_create(BlfSink sink, void* context) {
  BlfEncoder* encoder = new (std::nothrow) BlfEncoder{};
  if (encoder == nullptr) return nullptr;
  encoder->packer = blf_packer_create(sink, context);
  if (encoder->packer == nullptr) {
    delete encoder;
    return nullptr;
  }
  return encoder;
}

void blf_encoder_destroy(BlfEncoder* encoder) {
  if (encoder == nullptr) return;
  blf_packer_destroy(encoder->packer);
  delete encoder;
}

static BlfResult pack_result(BlfPackResult result) {
  switch (result) {
    case BLF_PACK_OK: return BLF_OK;
    case BLF_PACK_COMPRESS_FAILED: return BLF_COMPRESS_FAILED;
    case BLF_PACK_SINK_FAILED: return BLF_SINK_FAILED;
  }
  return BLF_COMPRESS_FAILED;
}

// The object time of a frame at `seconds`, and the clock started or moved
// on by it; false when the time has no place in the file.
static bool object_time(BlfEncoder* encoder, double seconds, uint64_t* time_ns) {
  int64_t micros = 0;
  if (!frame_time_micros(seconds, &micros) || micros < BLF_FIRST_MS * 1000 ||
      micros >= BLF_END_MS * 1000) {
    return false;
  }
  int64_t start_ms = encoder->started ? encoder->start_ms : floor_millis(micros);
  int64_t offset = micros - start_ms * 1000;
  // An unsigned 64-bit count of nanoseconds ends after 584 years.
  if (offset < 0 || static_cast<uint64_t>(offset) > UINT64_MAX / 1000) return false;
  *time_ns = static_cast<uint64_t>(offset) * 1000;
  encoder->started = true;
  encoder->start_ms = start_ms;
  encoder->last_ms = floor_millis(micros);
  return true;
}

BlfResult blf_encoder_add(BlfEncoder* encoder, const BusMessage& frame) {
  uint64_t time_ns = 0;
  if (!object_time(encoder, frame.Timestamp, &time_ns)) return BLF_TIME_UNPRINTABLE;
  uint8_t object[BLF_OBJECT_CAPACITY];
  size_t size = frame.Kind == LIN_Frame ? blf_put_lin_object(object, frame, time_ns)
                                        : blf_put_can_object(object, frame, time_ns);
  return pack_result(blf_packer_add(encoder->packer, object, size, 1));
}

BlfResult blf_encoder_finish(BlfEncoder* encoder) {
  return pack_result(blf_packer_finish(encoder->packer));
}

bool blf_encoder_header(const BlfEncoder* encoder, uint8_t header[BLF_FILE_HEADER_SIZE]) {
  BlfPackerCounts counts = blf_packer_counts(encoder->packer);
  BlfHeaderFields fields = {
      .file_size = BLF_FILE_HEADER_SIZE + counts.container_bytes,
      .uncompressed_size = counts.uncompressed_size,
      .objects = counts.objects,
      .start_ms = encoder->start_ms,
      .last_ms = encoder->last_ms,
  };
  return blf_put_file_header(header, fields);
}
