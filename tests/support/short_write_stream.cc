#include "support/short_write_stream.h"

namespace {
struct ShortWriteStream : Stream {
  int64_t limit;
  ShortWriteRecord* record;
  int32_t close_result;
};
}  // namespace

static int64_t short_write(Stream* stream, const void* source, int64_t count) {
  auto* self = static_cast<ShortWriteStream*>(stream);
  self->record->write_counts.push_back(count);
  int64_t room = self->limit - static_cast<int64_t>(self->record->bytes.size());
  int64_t n = count < room ? count : room;
  if (n <= 0) return 0;
  self->record->bytes.append(static_cast<const char*>(source), static_cast<size_t>(n));
  return n;
}

static int64_t short_write_tell(Stream* stream) {
  return static_cast<int64_t>(static_cast<ShortWriteStream*>(stream)->record->bytes.size());
}

static int32_t short_write_close(Stream* stream) {
  auto* self = static_cast<ShortWriteStream*>(stream);
  self->record->closed = true;
  int32_t result = self->close_result;
  delete self;
  return result;
}

static const StreamOps kShortWriteStreamOps = {
    .read = nullptr,  // write-only, like a FileStream opened "wb"
    .write = short_write,
    .tell = short_write_tell,
    .seek = nullptr,  // the writers under test never seek
    .close = short_write_close,
    .borrow = nullptr,  // write-only
};

Stream* short_write_stream_create(int64_t limit, ShortWriteRecord* record, int32_t close_result) {
  auto* self = new ShortWriteStream{};
  self->ops = &kShortWriteStreamOps;
  self->limit = limit;
  self->record = record;
  self->close_result = close_result;
  return self;
}
