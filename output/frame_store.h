// The kept-frame store of the trace writer: holds the frames of one input
// file that came out of time order in 32-byte records and hands them back
// sorted by time, equal times in the order they were kept. Memory stays
// bounded: a full chunk is sorted and spilled as a run to a dot-named
// temporary file beside the traces, and the runs are merged when the frames
// are read back.
#ifndef TRACEWRIGHT_OUTPUT_FRAME_STORE_H_
#define TRACEWRIGHT_OUTPUT_FRAME_STORE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

struct FileSystem;
struct Stream;

/// Bits of KeptFrame::flags.
constexpr uint8_t KEPT_IDE = 0x01;
constexpr uint8_t KEPT_DIR = 0x02;
constexpr uint8_t KEPT_EDL = 0x04;
constexpr uint8_t KEPT_REMOTE = 0x08;
constexpr uint8_t KEPT_LIN = 0x10;  ///< a LIN frame; DLC holds its received byte count

/// Payloads up to this many bytes live in the record itself.
constexpr size_t KEPT_INLINE_BYTES = 8;

/// One kept frame. The writer fills everything but `sequence`; longer
/// payloads live in the store's arena and `payload` then holds their offset.
struct KeptFrame {
  double Timestamp;
  uint32_t ID;
  uint32_t sequence;  ///< arrival index within its chunk; orders equal times
  uint8_t DataLength;
  uint8_t DLC;  ///< CAN: the DLC; LIN: the received data byte count
  uint8_t BusChannel;
  uint8_t flags;  ///< KEPT_* bits
  uint8_t BRS;    ///< printed as a number, so kept as one
  uint8_t ESI;
  uint8_t reserved[2];
  union {
    uint8_t data[KEPT_INLINE_BYTES];
    uint64_t offset;
  } payload;
};
static_assert(sizeof(KeptFrame) == 32, "a kept frame costs 32 bytes");

/// The time as an unsigned key in the same order, so that every pair of
/// frames compares one way or the other: -0.0 and 0.0 are one time, and a
/// NaN gets a place of its own instead of breaking the sort.
inline uint64_t frame_time_key(double time) {
  time += 0.0;
  uint64_t bits;
  memcpy(&bits, &time, sizeof bits);
  return (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
}

/// One spilled run being read back during the merge.
struct FrameRun {
  Stream* stream;  ///< a read buffer over the run file, null once drained
  uint64_t left;   ///< frames of the run not read yet
  KeptFrame head;  ///< the next frame of the run
  uint8_t head_payload[64];
};

/// Plain and zero-initialisable: a zeroed store is empty and holds nothing.
struct FrameStore {
  FileSystem* fs;     ///< where runs are spilled
  char* run_prefix;   ///< "<folder>/.<trace name>.<pid>.run", NUL-terminated, owned
  int guard;          ///< interrupt guard slot of the run files while there are any, else 0
  KeptFrame* frames;  ///< the chunk being filled, in arrival order
  size_t count;
  size_t capacity;
  uint8_t* arena;  ///< payloads longer than KEPT_INLINE_BYTES
  size_t arena_used;
  size_t arena_capacity;
  uint64_t total;        ///< frames kept since the store was last emptied
  size_t runs;           ///< run files spilled so far
  uint64_t* run_frames;  ///< frames written to each run, so that a run cut short shows
  size_t run_frames_capacity;
  FrameRun* merge;  ///< one entry per run while reading back
  size_t* heap;     ///< run indexes, earliest head first; the chunk is index `runs`
  size_t heap_size;
  size_t next;              ///< the chunk's next frame while reading back
  uint8_t payload_out[64];  ///< a merged frame's long payload, as handed out
};

/// Empties the store (removing its run files) and names the runs of the
/// next file after `trace_path` (a path in `fs` the runs are hidden beside).
/// Runs are created new, never over a file already there, and guarded
/// against a stop by signal while they exist. False when memory runs out.
[[nodiscard]] bool frame_store_reset(FrameStore* store, FileSystem* fs,
                                     std::string_view trace_path);
/// Keeps a copy of `frame` and of its DataLength bytes at `payload`
/// (at most 64). False, keeping nothing, when memory runs out (logged as
/// "Out of memory while keeping frames") or a run cannot be spilled (logged
/// with the run file's name).
[[nodiscard]] bool frame_store_keep(FrameStore* store, const KeptFrame& frame,
                                    const uint8_t* payload);
/// Sorts what is in memory and prepares the merge. False when a run cannot
/// be read back (logged).
[[nodiscard]] bool frame_store_start_reading(FrameStore* store);
/// The next frame in time order: 1 with `*frame` filled and `*payload`
/// pointing at its bytes (valid until the next call), 0 after the last one,
/// -1 when a run cannot be read or ends before the frames written to it
/// (logged).
int frame_store_next(FrameStore* store, KeptFrame* frame, const uint8_t** payload);
/// Empties the store and removes its run files; memory stays for reuse.
void frame_store_clear(FrameStore* store);
/// Frees the frames and removes the run files; the store can be reset again.
void frame_store_release(FrameStore* store);

#endif  // TRACEWRIGHT_OUTPUT_FRAME_STORE_H_
