// The kept-frame store: an external stable sort with bounded memory. Frames
// fill a chunk in arrival order; a full chunk is sorted and written as a run
// to a temporary file beside the trace. Reading back merges the runs and the
// last chunk. A log in time order never needs a sort, and one that fits in a
// chunk never touches the disk.
//
// Divisions of this file: ordering; memory; spilling runs; reading back.
#include "output/frame_store.h"

#include "output/temporary_names.h"
#include "output/frame_store_internal.h"

#include "log/log.h"
#include "platform/filesystem.h"
#include "platform/interrupt.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

static_assert(std::is_trivial_v<FrameStore>, "the writer's record is calloc'ed");

/// A chunk holds 12 MiB of records and 8 MiB of long payloads at most, so
/// a CAN and a LIN store together stay well inside 64 MiB.
constexpr size_t kChunkFrames = 12 * 1024 * 1024 / sizeof(KeptFrame);
constexpr size_t kArenaBytes = 8 * 1024 * 1024;
/// The read buffer of each run while merging, and the write staging size.
constexpr uint64_t kRunBufferBytes = 64 * 1024;

static size_t g_chunk_frames = kChunkFrames;
// Negative while disarmed; see frame_store_fail_allocation_for_testing.
static int64_t g_allocations_before_failure = -1;

void frame_store_set_chunk_frames_for_testing(size_t frames) {
  g_chunk_frames = frames == 0 ? kChunkFrames : frames;
}

void frame_store_fail_allocation_for_testing(int64_t successes) {
  g_allocations_before_failure = successes < 0 ? -1 : successes;
}

static bool allocation_allowed() {
  if (g_allocations_before_failure < 0) return true;
  // Counting down past 0 fails this allocation and disarms the hook.
  return g_allocations_before_failure-- > 0;
}

// ---------------------------------------------------------------------------
// Ordering

static uint64_t time_key(double time) { return frame_time_key(time); }

static bool earlier_in_chunk(const KeptFrame& a, const KeptFrame& b) {
  uint64_t ka = time_key(a.Timestamp);
  uint64_t kb = time_key(b.Timestamp);
  return ka != kb ? ka < kb : a.sequence < b.sequence;
}

/// A logger writes its frames in time order almost always; one pass proves
/// it. The sequence makes the order total, so an unstable in-place sort
/// still keeps equal times in arrival order and needs no scratch memory.
static void sort_chunk(FrameStore* store) {
  KeptFrame* begin = store->frames;
  KeptFrame* end = begin + store->count;
  if (!std::is_sorted(begin, end, earlier_in_chunk)) std::sort(begin, end, earlier_in_chunk);
}

static const uint8_t* chunk_payload(const FrameStore* store, const KeptFrame& frame) {
  return frame.DataLength > KEPT_INLINE_BYTES ? store->arena + frame.payload.offset
                                              : frame.payload.data;
}

// ---------------------------------------------------------------------------
// Memory

static bool grow(void** array, size_t* capacity, size_t wanted, size_t element, size_t first) {
  if (wanted <= *capacity) return true;
  size_t grown = *capacity == 0 ? first : *capacity;
  while (grown < wanted) grown *= 2;
  void* moved = allocation_allowed() ? realloc(*array, grown * element) : nullptr;
  if (moved == nullptr) return false;
  *array = moved;
  *capacity = grown;
  return true;
}

static std::string run_path(const FrameStore* store, size_t run) {
  std::string path(store->run_prefix);
  path.append(std::to_string(run));
  return path;
}

/// Closes the runs being merged and removes every run file.
static void drop_runs(FrameStore* store) {
  for (size_t i = 0; store->merge != nullptr && i < store->runs; ++i) {
    (void)stream_close(store->merge[i].stream);
  }
  free(store->merge);
  store->merge = nullptr;
  free(store->heap);
  store->heap = nullptr;
  store->heap_size = 0;
  // A run that cannot be removed stays as a hidden file; the trace itself
  // is not affected, so there is nothing more to do about it.
  for (size_t i = 0; i < store->runs; ++i) (void)fs_remove(store->fs, run_path(store, i));
  store->runs = 0;
  interrupt_guard_release(store->guard);
  store->guard = 0;
}

void frame_store_clear(FrameStore* store) {
  if (store->run_prefix != nullptr) drop_runs(store);
  store->count = 0;
  store->arena_used = 0;
  store->total = 0;
  store->next = 0;
}

bool frame_store_reset(FrameStore* store, FileSystem* fs, std::string_view trace_path) {
  frame_store_clear(store);
  free(store->run_prefix);
  store->run_prefix = nullptr;
  store->fs = fs;
  std::string name = temporary_run_prefix(trace_path);
  auto* prefix = static_cast<char*>(allocation_allowed() ? malloc(name.size() + 1) : nullptr);
  if (prefix == nullptr) return false;
  memcpy(prefix, name.c_str(), name.size() + 1);
  store->run_prefix = prefix;
  return true;
}

void frame_store_release(FrameStore* store) {
  frame_store_clear(store);
  free(store->frames);
  free(store->arena);
  free(store->run_frames);
  free(store->run_prefix);
  *store = FrameStore{};
}

// ---------------------------------------------------------------------------
// Spilling runs

/// Takes a guard slot for the run files at the first spill; false when none
/// can be had, as a run that a stop would leave behind must not be written.
static bool guard_runs(FrameStore* store) {
  if (store->guard != 0) return true;
  std::string prefix;
  fs_absolute_path(store->fs, store->run_prefix, &prefix);
  store->guard = interrupt_guard_acquire();
  if (interrupt_guard_arm(store->guard, prefix, true)) return true;
  interrupt_guard_release(store->guard);
  store->guard = 0;
  return false;
}

/// Sorts the chunk and writes it as run number `runs`: each record, then
/// its payload when that lives in the arena. Empties the chunk.
static bool spill_chunk(FrameStore* store) {
  // A store that was never named (its reset failed) has nowhere to spill.
  if (store->run_prefix == nullptr) return false;
  if (!grow(reinterpret_cast<void**>(&store->run_frames), &store->run_frames_capacity,
            store->runs + 1, sizeof(uint64_t), 16)) {
    LOG(LOG_ERROR, "Out of memory while keeping frames");
    return false;
  }
  sort_chunk(store);
  std::string path = run_path(store, store->runs);
  Stream* run = nullptr;
  if (guard_runs(store)) {
    // Guarded before it exists; a name already taken is not ours to remove.
    interrupt_create_begin();
    interrupt_guard_count(store->guard, static_cast<uint32_t>(store->runs + 1));
    run = fs_open(store->fs, path, FS_OPEN_WRITE | FS_OPEN_CREATE_NEW | FS_OPEN_IGNORED_BIT);
    if (run == nullptr) interrupt_guard_count(store->guard, static_cast<uint32_t>(store->runs));
    interrupt_create_end();
  }
  bool written = run != nullptr;
  uint8_t staged[kRunBufferBytes];
  size_t used = 0;
  for (size_t i = 0; written && i < store->count; ++i) {
    const KeptFrame& frame = store->frames[i];
    size_t extra = frame.DataLength > KEPT_INLINE_BYTES ? frame.DataLength : 0;
    if (used + sizeof frame + extra > sizeof staged) {
      written = stream_write(run, staged, static_cast<int64_t>(used)) == static_cast<int64_t>(used);
      used = 0;
    }
    memcpy(staged + used, &frame, sizeof frame);
    if (extra > 0) memcpy(staged + used + sizeof frame, chunk_payload(store, frame), extra);
    used += sizeof frame + extra;
  }
  if (written && used > 0) {
    written = stream_write(run, staged, static_cast<int64_t>(used)) == static_cast<int64_t>(used);
  }
  if (run != nullptr && stream_close(run) != 0) written = false;
  // Counted even when it failed, so that the file is removed with the rest.
  if (run != nullptr) store->run_frames[store->runs++] = store->count;
  if (!written) {
    LOG(LOG_ERROR, "Could not write temporary file %s", path.c_str());
    return false;
  }
  store->count = 0;
  store->arena_used = 0;
  return true;
}

bool frame_store_keep(FrameStore* store, const KeptFrame& frame, const uint8_t* payload) {
  size_t length = frame.DataLength;
  size_t extra = length > KEPT_INLINE_BYTES ? length : 0;
  if (store->count >= g_chunk_frames || store->arena_used + extra > kArenaBytes) {
    if (!spill_chunk(store)) return false;
  }
  if (!grow(reinterpret_cast<void**>(&store->frames), &store->capacity, store->count + 1,
            sizeof(KeptFrame), 1024) ||
      (extra > 0 && !grow(reinterpret_cast<void**>(&store->arena), &store->arena_capacity,
                          store->arena_used + extra, 1, 64 * 1024))) {
    LOG(LOG_ERROR, "Out of memory while keeping frames");
    return false;
  }
  KeptFrame* kept = &store->frames[store->count];
  *kept = frame;
  kept->sequence = static_cast<uint32_t>(store->count);
  if (extra > 0) {
    memcpy(store->arena + store->arena_used, payload, extra);
    kept->payload.offset = store->arena_used;
    store->arena_used += extra;
  } else if (length > 0) {
    memcpy(kept->payload.data, payload, length);
  }
  ++store->count;
  ++store->total;
  return true;
}

// ---------------------------------------------------------------------------
// Reading back

static void report_unreadable_run(const std::string& path) {
  LOG(LOG_ERROR, "Could not read temporary file %s", path.c_str());
}

/// Loads the next frame of a run into its head; false once the run is
/// drained or broken (`*broken` tells which). A run ends after the frames
/// written to it: one that ends sooner was cut short, which a clean end of
/// its file would otherwise hide.
static bool load_head(FrameRun* run, bool* broken) {
  if (run->left > 0) {
    int64_t got = stream_read(run->stream, &run->head, sizeof run->head);
    if (got == sizeof run->head && run->head.DataLength <= sizeof run->head_payload) {
      int64_t extra = run->head.DataLength > KEPT_INLINE_BYTES ? run->head.DataLength : 0;
      if (extra == 0 || stream_read(run->stream, run->head_payload, extra) == extra) {
        --run->left;
        return true;
      }
    }
    *broken = true;
  }
  (void)stream_close(run->stream);
  run->stream = nullptr;
  return false;
}

static const KeptFrame& source_head(const FrameStore* store, size_t source) {
  return source == store->runs ? store->frames[store->next] : store->merge[source].head;
}

/// Heap order: the earlier time first; for equal times the earlier source,
/// because runs were spilled in arrival order and the chunk comes last.
static bool source_after(const FrameStore* store, size_t a, size_t b) {
  uint64_t ka = time_key(source_head(store, a).Timestamp);
  uint64_t kb = time_key(source_head(store, b).Timestamp);
  return ka != kb ? ka > kb : a > b;
}

static void sift_down(FrameStore* store, size_t at) {
  for (;;) {
    size_t smallest = at;
    for (size_t child = 2 * at + 1; child <= 2 * at + 2 && child < store->heap_size; ++child) {
      if (source_after(store, store->heap[smallest], store->heap[child])) smallest = child;
    }
    if (smallest == at) return;
    std::swap(store->heap[at], store->heap[smallest]);
    at = smallest;
  }
}

bool frame_store_start_reading(FrameStore* store) {
  sort_chunk(store);
  store->next = 0;
  if (store->runs == 0) return true;
  size_t sources = store->runs + 1;
  store->merge = static_cast<FrameRun*>(allocation_allowed() ? calloc(store->runs, sizeof(FrameRun))
                                                             : nullptr);
  store->heap =
      static_cast<size_t*>(allocation_allowed() ? calloc(sources, sizeof(size_t)) : nullptr);
  if (store->merge == nullptr || store->heap == nullptr) return false;
  for (size_t i = 0; i < store->runs; ++i) {
    std::string path = run_path(store, i);
    Stream* file = fs_open(store->fs, path, FS_OPEN_READ | FS_OPEN_IGNORED_BIT);
    Stream* run = file == nullptr ? nullptr : buffered_stream_create(file, true, kRunBufferBytes);
    if (run == nullptr) (void)stream_close(file);
    bool broken = run == nullptr;
    store->merge[i].stream = run;
    store->merge[i].left = store->run_frames[i];
    if (run != nullptr && load_head(&store->merge[i], &broken)) store->heap[store->heap_size++] = i;
    if (broken) {
      report_unreadable_run(path);
      return false;
    }
  }
  if (store->count > 0) store->heap[store->heap_size++] = store->runs;
  for (size_t i = store->heap_size; i-- > 0;) sift_down(store, i);
  return true;
}

int frame_store_next(FrameStore* store, KeptFrame* frame, const uint8_t** payload) {
  if (store->runs == 0) {
    if (store->next == store->count) return 0;
    *frame = store->frames[store->next++];
    *payload = chunk_payload(store, *frame);
    return 1;
  }
  if (store->heap_size == 0) return 0;
  size_t source = store->heap[0];
  bool more = true;
  if (source == store->runs) {
    *frame = store->frames[store->next++];
    *payload = chunk_payload(store, *frame);
    more = store->next < store->count;
  } else {
    FrameRun* run = &store->merge[source];
    *frame = run->head;
    // The head is about to be replaced, so a long payload moves to the
    // store's own copy, which lives until the next call.
    if (frame->DataLength > KEPT_INLINE_BYTES) {
      memcpy(store->payload_out, run->head_payload, frame->DataLength);
      *payload = store->payload_out;
    } else {
      *payload = frame->payload.data;
    }
    bool broken = false;
    more = load_head(run, &broken);
    if (broken) {
      report_unreadable_run(run_path(store, source));
      return -1;
    }
  }
  if (!more) store->heap[0] = store->heap[--store->heap_size];
  sift_down(store, 0);
  return 1;
}
