// Packs the stream of a BLF file's objects into LOG_CONTAINER objects: the
// stream is cut into pieces of a fixed uncompressed size, and each piece is
// deflated (zlib format) into one container, which goes to the caller's sink.
#ifndef TRACEWRIGHT_OUTPUT_BLF_BLF_CONTAINER_H_
#define TRACEWRIGHT_OUTPUT_BLF_BLF_CONTAINER_H_

#include <cstddef>
#include <cstdint>

/// Uncompressed bytes of each container but the last: an object may begin
/// in one container and end in the next.
constexpr size_t BLF_CONTAINER_PIECE = 131072;

/// Receives each finished container, padding included, in file order; the
/// bytes live until it returns. Answers false when it could not take them.
using BlfSink = bool (*)(void* context, const uint8_t* bytes, size_t size);

enum BlfPackResult : uint8_t {
  BLF_PACK_OK = 0,
  BLF_PACK_COMPRESS_FAILED = 1,  ///< the compressor gave no output for a piece
  BLF_PACK_SINK_FAILED = 2,      ///< the sink answered false
};

struct BlfPackerCounts {
  uint64_t objects;  ///< as the callers counted them in
  /// As the file header states it: its own 144 bytes, and each container's
  /// 32 header bytes and uncompressed data.
  uint64_t uncompressed_size;
  uint64_t container_bytes;  ///< handed to the sink, padding included
};

struct BlfPacker;

/// A packer that hands its containers to `sink` with `context`. Allocates
/// all it will need here: null when that fails, with nothing left allocated.
[[nodiscard]] BlfPacker* blf_packer_create(BlfSink sink, void* context);
/// Accepts null.
void blf_packer_destroy(BlfPacker* packer);

/// Appends `size` bytes to the stream that hold `objects` objects (each with
/// its padding) and packs each piece they fill. A failure is final: this
/// and every later call return it and pack nothing more.
[[nodiscard]] BlfPackResult blf_packer_add(BlfPacker* packer, const uint8_t* bytes, size_t size,
                                           uint32_t objects);
/// Packs the last, partly filled piece (nothing when it is empty); a
/// failure as for blf_packer_add.
[[nodiscard]] BlfPackResult blf_packer_finish(BlfPacker* packer);

/// The counts of what was added and packed so far.
BlfPackerCounts blf_packer_counts(const BlfPacker* packer);

#endif  // TRACEWRIGHT_OUTPUT_BLF_BLF_CONTAINER_H_
