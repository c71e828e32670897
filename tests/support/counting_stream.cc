#include "support/counting_stream.h"

namespace {
struct CountingStream : Stream {
  Stream* inner;
  StreamCalls* calls;
};
}  // namespace

static CountingStream* counting(Stream* stream) { return static_cast<CountingStream*>(stream); }

static int64_t counting_read(Stream* stream, void* destination, int64_t count) {
  CountingStream* self = counting(stream);
  int64_t result = stream_read(self->inner, destination, count);
  self->calls->read_counts.push_back(count);
  self->calls->read_results.push_back(result);
  return result;
}

static int64_t counting_write(Stream* stream, const void* source, int64_t count) {
  CountingStream* self = counting(stream);
  self->calls->write_counts.push_back(count);
  return stream_write(self->inner, source, count);
}

static int64_t counting_tell(Stream* stream) {
  CountingStream* self = counting(stream);
  ++self->calls->tells;
  return stream_tell(self->inner);
}

static int64_t counting_seek(Stream* stream, int64_t offset, int32_t whence) {
  CountingStream* self = counting(stream);
  self->calls->seek_offsets.push_back(offset);
  self->calls->seek_whences.push_back(whence);
  return stream_seek(self->inner, offset, whence);
}

static int32_t counting_close(Stream* stream) {
  CountingStream* self = counting(stream);
  self->calls->closed = true;
  int32_t result = stream_close(self->inner);
  delete self;
  return result;
}

static const StreamOps kCountingStreamOps = {
    .read = counting_read,
    .write = counting_write,
    .tell = counting_tell,
    .seek = counting_seek,
    .close = counting_close,
    .borrow = nullptr,  // a lent view would pass by the record
};

Stream* counting_stream_create(Stream* inner, StreamCalls* calls) {
  auto* self = new CountingStream{};
  self->ops = &kCountingStreamOps;
  self->inner = inner;
  self->calls = calls;
  return self;
}
