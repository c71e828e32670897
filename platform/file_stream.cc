// FileStream: a stream over a C stdio handle. It tracks its own position so
// that a seek to where it already stands (every sequential refill of a
// BufferedStream asks for one) costs no system call.
#include "platform/stream.h"

#include <cstdio>
#include <new>

namespace {
struct FileStream : Stream {
  FILE* file;
  int64_t position;
};
}  // namespace

// A short fread is the end of the file or an error, and only the handle's
// error flag tells which. The flag stays set (a seek does not clear it), so
// every read after an error fails as well.
static int64_t file_stream_read(Stream* stream, void* destination, int64_t count) {
  auto* self = static_cast<FileStream*>(stream);
  if (ferror(self->file)) return STREAM_READ_ERROR;
  if (count <= 0) return 0;
  size_t n = fread(destination, 1, static_cast<size_t>(count), self->file);
  self->position += static_cast<int64_t>(n);
  if (n < static_cast<size_t>(count) && ferror(self->file)) return STREAM_READ_ERROR;
  return static_cast<int64_t>(n);
}

static int64_t file_stream_write(Stream* stream, const void* source, int64_t count) {
  auto* self = static_cast<FileStream*>(stream);
  if (count <= 0) return 0;
  size_t n = fwrite(source, 1, static_cast<size_t>(count), self->file);
  self->position += static_cast<int64_t>(n);
  return static_cast<int64_t>(n);
}

static int64_t file_stream_tell(Stream* stream) {
  return static_cast<int64_t>(ftello(static_cast<FileStream*>(stream)->file));
}

static int64_t file_stream_seek(Stream* stream, int64_t offset, int32_t whence) {
  auto* self = static_cast<FileStream*>(stream);
  if (whence < 0 || whence > 2) return -1;
  if (whence == 0 && self->position == offset) return offset;
  int result = fseeko(self->file, static_cast<off_t>(offset), whence);
  if (result != 0) return result;
  self->position = file_stream_tell(stream);
  return self->position;
}

static int32_t file_stream_close(Stream* stream) {
  auto* self = static_cast<FileStream*>(stream);
  int result = fclose(self->file);
  delete self;
  return result;
}

static const StreamOps kFileStreamReadOps = {
    .read = file_stream_read,
    .write = nullptr,  // opened "rb": writes answer STREAM_NOT_SUPPORTED
    .tell = file_stream_tell,
    .seek = file_stream_seek,
    .close = file_stream_close,
    .borrow = nullptr,  // the bytes sit in the C library's buffer, out of reach
};

static const StreamOps kFileStreamWriteOps = {
    .read = nullptr,  // opened "wb": reads answer STREAM_NOT_SUPPORTED
    .write = file_stream_write,
    .tell = file_stream_tell,
    .seek = file_stream_seek,
    .close = file_stream_close,
    .borrow = nullptr,  // the bytes sit in the C library's buffer, out of reach
};

static const StreamOps kFileStreamReadWriteOps = {
    .read = file_stream_read,
    .write = file_stream_write,
    .tell = file_stream_tell,
    .seek = file_stream_seek,
    .close = file_stream_close,
    .borrow = nullptr,  // the bytes sit in the C library's buffer, out of reach
};

Stream* file_stream_open(const char* path, int32_t mode) {
  if (path == nullptr) return nullptr;
  const StreamOps* ops = nullptr;
  const char* fopen_mode = nullptr;
  switch (mode) {
    case STREAM_MODE_READ:
      ops = &kFileStreamReadOps;
      fopen_mode = "rb";
      break;
    case STREAM_MODE_WRITE:
      ops = &kFileStreamWriteOps;
      fopen_mode = "wb";
      break;
    case STREAM_MODE_CREATE_NEW:
      ops = &kFileStreamWriteOps;
      fopen_mode = "wbx";
      break;
    case STREAM_MODE_READ_WRITE:
      ops = &kFileStreamReadWriteOps;
      fopen_mode = "r+b";
      break;
    default: return nullptr;
  }
  auto* self = new (std::nothrow) FileStream{};
  if (self == nullptr) return nullptr;
  self->file = fopen(path, fopen_mode);
  if (self->file == nullptr) {
    delete self;
    return nullptr;
  }
  self->ops = ops;
  self->position = 0;
  return self;
}
