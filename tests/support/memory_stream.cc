#include "support/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
struct MemoryStream : Stream {
  StreamRecord* record;
  bool owns_record;
  int64_t position;
  int64_t writes;
};
MemoryStream* self_of(Stream* stream) { return static_cast<MemoryStream*>(stream); }
}  // namespace

static int64_t memory_read(Stream* stream, void* destination, int64_t count) {
  MemoryStream* self = self_of(stream);
  if (self->position == static_cast<int64_t>(self->record->bytes.size())) {
    self->record->bytes += std::exchange(self->record->appended_at_end, "");
  }
  int64_t n =
      std::max<int64_t>(0, std::min<int64_t>(count, self->record->bytes.size() - self->position));
  if (n > 0 && self->position + n > self->record->read_error_from) n = STREAM_READ_ERROR;
  if (n <= 0) return n;
  memcpy(destination, self->record->bytes.data() + self->position, static_cast<size_t>(n));
  self->position += n;
  return n;
}

static int64_t memory_write(Stream* stream, const void* source, int64_t count) {
  MemoryStream* self = self_of(stream);
  int64_t n = std::min(count, self->record->write_limit - self->position);
  if (self->writes++ == self->record->failing_write || n <= 0) return 0;
  std::string& bytes = self->record->bytes;
  bytes.resize(std::max<size_t>(bytes.size(), static_cast<size_t>(self->position + n)));
  memcpy(bytes.data() + self->position, source, static_cast<size_t>(n));
  self->position += n;
  return n;
}

static int64_t memory_tell(Stream* stream) { return self_of(stream)->position; }

static int64_t memory_seek(Stream* stream, int64_t offset, int32_t whence) {
  MemoryStream* self = self_of(stream);
  int64_t size = static_cast<int64_t>(self->record->bytes.size());
  int64_t target = (whence == 1 ? self->position : whence == 2 ? size : 0) + offset;
  if (whence < 0 || whence > 2 || target < 0 || target > size) return -1;
  return self->position = target;
}

static int32_t memory_close(Stream* stream) {
  MemoryStream* self = self_of(stream);
  self->record->closed = true;
  int32_t result = self->record->close_result;
  if (self->owns_record) delete self->record;
  delete self;
  return result;
}

static const StreamOps kMemoryStreamOps = {memory_read, memory_write, memory_tell,
                                           memory_seek, memory_close, nullptr};

Stream* memory_stream_create(StreamRecord* record) {
  return new MemoryStream{{&kMemoryStreamOps}, record, false, 0, 0};
}

Stream* memory_stream_create(std::string_view contents) {
  return new MemoryStream{
      {&kMemoryStreamOps}, new StreamRecord{.bytes = std::string(contents)}, true, 0, 0};
}
