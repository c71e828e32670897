// One BLF file's contents, built as the frames of a log arrive in time
// order: the file's clock, an object per frame, the containers, and the
// counts and dates the file header needs once the last frame is in.
#ifndef TRACEWRIGHT_OUTPUT_BLF_BLF_ENCODER_H_
#define TRACEWRIGHT_OUTPUT_BLF_BLF_ENCODER_H_

#include <cstdint>

#include "output/blf/blf_container.h"
#include "output/blf/blf_header.h"

struct BusMessage;
struct BlfEncoder;

enum BlfResult : uint8_t {
  BLF_OK = 0,
  /// Nothing added: the frame's time has no date in the file (NaN, before
  /// 1601, after 30827), lies before the file's start or more than 584
  /// years after it. The caller fails the file.
  BLF_TIME_UNPRINTABLE = 1,
  BLF_COMPRESS_FAILED = 2,  ///< final, as the packer's failures are
  BLF_SINK_FAILED = 3,      ///< final, as the packer's failures are
};

/// An encoder that hands its containers to `sink` with `context` (see
/// BlfSink); null when it cannot be allocated.
[[nodiscard]] BlfEncoder* blf_encoder_create(BlfSink sink, void* context);
/// Accepts null.
void blf_encoder_destroy(BlfEncoder* encoder);

/// Adds a CAN data or remote frame, or a LIN frame. The first frame added
/// sets the file's start time: its time in whole microseconds (rounded as
/// frame_time_micros does), truncated to the millisecond; each object's time
/// is the frame's microseconds after it, in nanoseconds.
[[nodiscard]] BlfResult blf_encoder_add(BlfEncoder* encoder, const BusMessage& frame);

/// Packs what remains into the last container; nothing more may be added.
[[nodiscard]] BlfResult blf_encoder_finish(BlfEncoder* encoder);

/// Writes the file header of a file that holds the header and the
/// containers handed to the sink: after finish the final one; before it a
/// placeholder of the same size, whose counts need not match. Start and last
/// time are those of the first and the last frame added (1970-01-01 without
/// any).
/// False only when more than 2^32 - 1 objects were added.
[[nodiscard]] bool blf_encoder_header(const BlfEncoder* encoder,
                                      uint8_t header[BLF_FILE_HEADER_SIZE]);

#endif  // TRACEWRIGHT_OUTPUT_BLF_BLF_ENCODER_H_
