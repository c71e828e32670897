// The stream dispatchers and the behaviour built on top of the slots. Only
// the dispatchers look at a slot; everything else goes through them.
#include "platform/stream.h"

int64_t stream_read(Stream* stream, void* destination, int64_t count) {
  if (stream->ops->read == nullptr) return STREAM_NOT_SUPPORTED;
  return stream->ops->read(stream, destination, count);
}

int64_t stream_write(Stream* stream, const void* source, int64_t count) {
  if (stream->ops->write == nullptr) return STREAM_NOT_SUPPORTED;
  return stream->ops->write(stream, source, count);
}

int64_t stream_tell(Stream* stream) {
  if (stream->ops->tell == nullptr) return STREAM_NOT_SUPPORTED;
  return stream->ops->tell(stream);
}

int64_t stream_seek(Stream* stream, int64_t offset, int32_t whence) {
  if (stream->ops->seek == nullptr) return STREAM_NOT_SUPPORTED;
  return stream->ops->seek(stream, offset, whence);
}

int64_t stream_borrow(Stream* stream, const void** bytes) {
  if (stream->ops->borrow == nullptr) return STREAM_NOT_SUPPORTED;
  return stream->ops->borrow(stream, bytes);
}

int32_t stream_close(Stream* stream) {
  if (stream == nullptr || stream->ops->close == nullptr) return 0;
  return stream->ops->close(stream);
}

bool stream_get_position(Stream* stream, int64_t* position) {
  if (stream == nullptr || position == nullptr) return false;
  *position = stream_tell(stream);
  return true;
}

bool stream_set_position(Stream* stream, const int64_t* position) {
  if (stream == nullptr || position == nullptr) return false;
  return stream_seek(stream, *position, 0) == *position;
}

int64_t stream_size(Stream* stream) {
  int64_t position = 0;
  if (!stream_get_position(stream, &position) || position < 0) return -1;
  // A failed seek to the end leaves the stream where it was, so the tell
  // after it would report the current position as the size.
  if (stream_seek(stream, 0, 2) < 0) return -1;
  int64_t size = stream_tell(stream);
  stream_seek(stream, position, 0);
  return size;
}

void stream_copy(Stream* source, Stream* destination) {
  if (source == nullptr || destination == nullptr) return;
  char chunk[4096];
  for (;;) {
    int64_t n = stream_read(source, chunk, sizeof chunk);
    if (n <= 0) return;
    (void)stream_write(destination, chunk, n);
  }
}
