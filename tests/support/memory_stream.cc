#include "support/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace {
struct MemoryStream : Stream {
  StreamRecord* record;
  bool owns_record;
  int64_t position;
  int64_t writes;
};
}  // namespace

static MemoryStream* self_of(Stream* stream) { return static_cast<MemoryStream*>(stream); }

// Streams made from bare contents keep no call list: the reader tests and the
// fuzz targets read them one byte per call.
static void note(MemoryStream* self, const std::string& call) {
  if (!self->owns_record) self->record->calls.push_back(call);
}

static int64_t memory_read(Stream* stream, void* destination, int64_t count) {
  MemoryStream* self = self_of(stream);
  StreamRecord* r = self->record;
  int64_t available = static_cast<int64_t>(r->bytes.size()) - self->position;
  int64_t n = std::max<int64_t>(0, std::min(count, available));
  if (n > 0 && self->position + n > r->read_error_from) n = STREAM_READ_ERROR;
  if (!self->owns_record) note(self, "read " + std::to_string(count) + " " + std::to_string(n));
  if (n <= 0) return n;
  memcpy(destination, r->bytes.data() + self->position, static_cast<size_t>(n));
  self->position += n;
  return n;
}

static int64_t memory_write(Stream* stream, const void* source, int64_t count) {
  MemoryStream* self = self_of(stream);
  StreamRecord* r = self->record;
  note(self, "write " + std::to_string(count));
  int64_t n = std::min(count, r->write_limit - self->position);
  if (self->writes++ == r->failing_write || n <= 0) return 0;
  size_t end = static_cast<size_t>(self->position + n);
  if (end > r->bytes.size()) r->bytes.resize(end);
  memcpy(r->bytes.data() + self->position, source, static_cast<size_t>(n));
  self->position += n;
  return n;
}

static int64_t memory_tell(Stream* stream) { return self_of(stream)->position; }

static int64_t memory_seek(Stream* stream, int64_t offset, int32_t whence) {
  MemoryStream* self = self_of(stream);
  int64_t size = static_cast<int64_t>(self->record->bytes.size());
  note(self, "seek " + std::to_string(offset));
  int64_t bases[] = {0, self->position, size};
  if (whence < 0 || whence > 2) return -1;
  int64_t target = bases[whence] + offset;
  if (target < 0 || target > size) return -1;
  self->position = target;
  return target;
}

static int32_t memory_close(Stream* stream) {
  MemoryStream* self = self_of(stream);
  self->record->closed = true;
  int32_t result = self->record->close_result;
  if (self->owns_record) delete self->record;
  delete self;
  return result;
}

static const StreamOps kMemoryStreamOps = {
    .read = memory_read,
    .write = memory_write,
    .tell = memory_tell,
    .seek = memory_seek,
    .close = memory_close,
    .borrow = nullptr,  // readers over it take the one-byte read path
};

static const StreamOps kWriteOnlyOps = {
    .read = nullptr,  // like a FileStream opened "wb"
    .write = memory_write,
    .tell = memory_tell,
    .seek = nullptr,  // so that nothing can learn the size
    .close = memory_close,
    .borrow = nullptr,
};

Stream* memory_stream_create(StreamRecord* record) {
  auto* self = new MemoryStream{};
  self->ops = record->write_only ? &kWriteOnlyOps : &kMemoryStreamOps;
  self->record = record;
  return self;
}

Stream* memory_stream_create(std::string_view contents) {
  auto* record = new StreamRecord{};
  record->bytes.assign(contents);
  Stream* stream = memory_stream_create(record);
  self_of(stream)->owns_record = true;
  return stream;
}

std::string memory_stream_contents(Stream* stream) { return self_of(stream)->record->bytes; }
