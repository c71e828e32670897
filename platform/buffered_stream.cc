// BufferedStream: a read-only stream that serves the reader's one-byte reads
// and its seeks back to the first data line from one memory buffer. With the
// default capacity (the whole file) the first read loads everything.
#include "platform/stream.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {
struct BufferedStream : Stream {
  uint64_t capacity;
  uint64_t fill;
  uint64_t cursor;
  uint64_t base;  // position in the inner stream of buffer byte 0
  uint8_t* buffer;
  Stream* inner;
  bool owns_inner;
  bool failed;  // an inner read failed: every later read fails too
};
// The buffer lives in the same allocation, right behind the record, so the
// record must stay plain enough to be calloc'ed.
static_assert(std::is_trivial_v<BufferedStream>);
}  // namespace

// Loads up to `capacity` bytes from `position` of the inner stream; 0 or less
// when nothing could be loaded. Seek before every refill: the inner stream may
// have been moved by someone else, and a FileStream answers a seek to its own
// position without a system call. A seek that does not land counts as a
// failed load, because the bytes read would belong to another position (a
// target beyond INT64_MAX, from a negative offset, ends here too).
// A failed inner read is remembered, so that no later load can make the
// bytes after the gap look like the ones that follow what was delivered.
static int64_t buffered_stream_load(BufferedStream* self, uint64_t position) {
  if (self->failed) return STREAM_READ_ERROR;
  if (self->inner == nullptr || position > static_cast<uint64_t>(INT64_MAX)) return 0;
  int64_t at = static_cast<int64_t>(position);
  if (stream_seek(self->inner, at, 0) != at) return 0;
  int64_t n = stream_read(self->inner, self->buffer, static_cast<int64_t>(self->capacity));
  if (n == STREAM_READ_ERROR) self->failed = true;
  return n;
}

static int64_t buffered_stream_read(Stream* stream, void* destination, int64_t count) {
  auto* self = static_cast<BufferedStream*>(stream);
  if (self->failed) return STREAM_READ_ERROR;
  if (count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(destination);
  uint64_t wanted = static_cast<uint64_t>(count);
  uint64_t delivered = 0;
  while (delivered < wanted) {
    if (self->cursor == self->fill) {
      uint64_t next = self->base + self->cursor;
      int64_t n = buffered_stream_load(self, next);
      if (n == STREAM_READ_ERROR) return STREAM_READ_ERROR;
      if (n <= 0) break;
      self->base = next;
      self->cursor = 0;
      self->fill = static_cast<uint64_t>(n);
    }
    uint64_t available = self->fill - self->cursor;
    uint64_t take = available < wanted - delivered ? available : wanted - delivered;
    memcpy(out + delivered, self->buffer + self->cursor, take);
    self->cursor += take;
    delivered += take;
  }
  return static_cast<int64_t>(delivered);
}

static int64_t buffered_stream_tell(Stream* stream) {
  auto* self = static_cast<BufferedStream*>(stream);
  return static_cast<int64_t>(self->base + self->cursor);
}

static int64_t buffered_stream_seek(Stream* stream, int64_t offset, int32_t whence) {
  auto* self = static_cast<BufferedStream*>(stream);
  uint64_t target = 0;
  switch (whence) {
    case 0: target = static_cast<uint64_t>(offset); break;
    case 1: target = self->base + self->cursor + static_cast<uint64_t>(offset); break;
    case 2: {
      if (self->inner == nullptr) return -1;
      // Without a landed seek the inner stream's tell would name wherever
      // the last refill left it, not the end.
      int64_t landed = stream_seek(self->inner, offset, 2);
      if (landed < 0) return landed;
      target = static_cast<uint64_t>(stream_tell(self->inner));
      break;
    }
    default: return -1;
  }
  // The upper bound is inclusive: a target right behind the buffered bytes is
  // accepted and the next read refills from there.
  if (self->base <= target && target <= self->base + self->fill) {
    self->cursor = target - self->base;
    return static_cast<int64_t>(target);
  }
  int64_t n = buffered_stream_load(self, target);
  if (n == STREAM_READ_ERROR) return STREAM_READ_ERROR;
  if (n <= 0) return static_cast<int64_t>(self->base + self->cursor);
  self->base = target;
  self->fill = static_cast<uint64_t>(n);
  self->cursor = 0;
  return static_cast<int64_t>(target);
}

// The read's refill, without the copy: the reader scans its lines right in
// the buffer.
static int64_t buffered_stream_borrow(Stream* stream, const void** bytes) {
  auto* self = static_cast<BufferedStream*>(stream);
  if (self->failed) return STREAM_READ_ERROR;
  if (self->cursor == self->fill) {
    uint64_t next = self->base + self->cursor;
    int64_t n = buffered_stream_load(self, next);
    if (n == STREAM_READ_ERROR) return STREAM_READ_ERROR;
    if (n <= 0) return 0;
    self->base = next;
    self->cursor = 0;
    self->fill = static_cast<uint64_t>(n);
  }
  *bytes = self->buffer + self->cursor;
  return static_cast<int64_t>(self->fill - self->cursor);
}

static int32_t buffered_stream_close(Stream* stream) {
  if (stream == nullptr) return -1;
  auto* self = static_cast<BufferedStream*>(stream);
  int32_t result = 0;
  if (self->inner != nullptr && self->owns_inner) result = stream_close(self->inner);
  free(self);
  return result;
}

static const StreamOps kBufferedStreamOps = {
    .read = buffered_stream_read,
    .write = nullptr,  // a read buffer: writes answer STREAM_NOT_SUPPORTED
    .tell = buffered_stream_tell,
    .seek = buffered_stream_seek,
    .close = buffered_stream_close,
    .borrow = buffered_stream_borrow,
};

Stream* buffered_stream_create(Stream* inner, bool owns_inner, uint64_t capacity) {
  if (capacity > UINT64_MAX - 7 - sizeof(BufferedStream)) return nullptr;
  uint64_t rounded = (capacity + 7) & ~uint64_t{7};
  auto* self = static_cast<BufferedStream*>(calloc(1, sizeof(BufferedStream) + rounded));
  if (self == nullptr) return nullptr;
  self->ops = &kBufferedStreamOps;
  self->capacity = rounded;
  self->buffer = reinterpret_cast<uint8_t*>(self + 1);
  self->inner = inner;
  self->owns_inner = owns_inner;
  return self;
}
