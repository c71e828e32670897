// ObservedStream: passes every read and seek to the stream it wraps and now
// and then tells a callback how far reading got, so that a progress display
// can follow a long read without the reader knowing of it.
#include "platform/stream.h"

#include <algorithm>
#include <new>

namespace {
struct ObservedStream : Stream {
  Stream* inner;
  void (*on_read)(void* arg, int64_t position);
  void* arg;
  int64_t position;  // where the last read or seek left the inner stream
  int64_t reported;  // the position last reported
};
}  // namespace

// A report per 64 KiB keeps the callback's cost out of sight even when the
// reader takes its bytes one at a time.
constexpr int64_t kReportStep = 64 * 1024;

// A large read goes in pieces of one step, so that a large read buffer is
// followed while it fills.
static int64_t observed_stream_read(Stream* stream, void* destination, int64_t count) {
  auto* self = static_cast<ObservedStream*>(stream);
  auto* out = static_cast<char*>(destination);
  int64_t total = 0;
  do {
    const int64_t piece = std::min(count - total, kReportStep);
    const int64_t n = stream_read(self->inner, out + total, piece);
    if (n < 0) return n;
    total += n;
    self->position += n;
    // A short read is the end of the data, whose last bytes count too.
    const bool short_read = n < piece;
    if (self->position >= self->reported + kReportStep ||
        (short_read && self->position != self->reported)) {
      self->reported = self->position;
      self->on_read(self->arg, self->position);
    }
    if (short_read) break;
  } while (total < count);
  return total;
}

static int64_t observed_stream_tell(Stream* stream) {
  return stream_tell(static_cast<ObservedStream*>(stream)->inner);
}

static int64_t observed_stream_seek(Stream* stream, int64_t offset, int32_t whence) {
  auto* self = static_cast<ObservedStream*>(stream);
  int64_t landed = stream_seek(self->inner, offset, whence);
  if (landed < 0) return landed;
  self->position = landed;
  // A reader that starts over is followed as it reads again. A read buffer
  // seeks to where the stream stands before each refill, which changes nothing.
  if (landed < self->reported) self->reported = landed;
  return landed;
}

static int32_t observed_stream_close(Stream* stream) {
  auto* self = static_cast<ObservedStream*>(stream);
  int32_t result = stream_close(self->inner);
  delete self;
  return result;
}

static const StreamOps kObservedStreamOps = {
    .read = observed_stream_read,
    .write = nullptr,  // it watches inputs only
    .tell = observed_stream_tell,
    .seek = observed_stream_seek,
    .close = observed_stream_close,
    .borrow = nullptr,  // bytes taken by loan would pass unseen
};

Stream* observed_stream_create(Stream* inner, void (*on_read)(void* arg, int64_t position),
                               void* arg) {
  if (inner == nullptr || on_read == nullptr) return nullptr;
  auto* self = new (std::nothrow) ObservedStream{};
  if (self == nullptr) return nullptr;
  self->ops = &kObservedStreamOps;
  self->inner = inner;
  self->on_read = on_read;
  self->arg = arg;
  int64_t start = stream_tell(inner);
  self->position = start > 0 ? start : 0;
  self->reported = self->position;
  return self;
}
