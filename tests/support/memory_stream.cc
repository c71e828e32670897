#include "support/memory_stream.h"

#include <cstring>

namespace {
struct MemoryStream : Stream {
  std::string bytes;
  int64_t position;
};
}  // namespace

static int64_t memory_read(Stream* stream, void* destination, int64_t count) {
  auto* self = static_cast<MemoryStream*>(stream);
  int64_t available = static_cast<int64_t>(self->bytes.size()) - self->position;
  if (count <= 0 || available <= 0) return 0;
  int64_t n = count < available ? count : available;
  memcpy(destination, self->bytes.data() + self->position, static_cast<size_t>(n));
  self->position += n;
  return n;
}

static int64_t memory_write(Stream* stream, const void* source, int64_t count) {
  auto* self = static_cast<MemoryStream*>(stream);
  if (count <= 0) return 0;
  size_t end = static_cast<size_t>(self->position + count);
  if (end > self->bytes.size()) self->bytes.resize(end);
  memcpy(self->bytes.data() + self->position, source, static_cast<size_t>(count));
  self->position += count;
  return count;
}

static int64_t memory_tell(Stream* stream) { return static_cast<MemoryStream*>(stream)->position; }

static int64_t memory_seek(Stream* stream, int64_t offset, int32_t whence) {
  auto* self = static_cast<MemoryStream*>(stream);
  int64_t size = static_cast<int64_t>(self->bytes.size());
  int64_t target = 0;
  switch (whence) {
    case 0: target = offset; break;
    case 1: target = self->position + offset; break;
    case 2: target = size + offset; break;
    default: return -1;
  }
  if (target < 0 || target > size) return -1;
  self->position = target;
  return target;
}

static int32_t memory_close(Stream* stream) {
  delete static_cast<MemoryStream*>(stream);
  return 0;
}

static const StreamOps kMemoryStreamOps = {
    .read = memory_read,
    .write = memory_write,
    .tell = memory_tell,
    .seek = memory_seek,
    .close = memory_close,
    .borrow = nullptr,  // readers over it take the one-byte read path
};

Stream* memory_stream_create(std::string_view contents) {
  auto* self = new MemoryStream{};
  self->ops = &kMemoryStreamOps;
  self->bytes.assign(contents);
  self->position = 0;
  return self;
}

std::string memory_stream_contents(Stream* stream) {
  return static_cast<MemoryStream*>(stream)->bytes;
}
