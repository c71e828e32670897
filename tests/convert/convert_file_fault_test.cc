// The per-file pipeline with the real ASC writer when the input side fails
// late: the conversion itself went through, but closing the input reports
// an error (a card pulled out, an I/O error on the last read-ahead). The
// file then counts as failed and must not be deleted, while the trace that
// was already written whole stays.
#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "output/asc/asc_writer.h"
#include "platform/filesystem.h"
#include "platform/stream.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

const char kLog[] =
    "# Value separator: \";\"\n"
    "# Time: 20240315T101500\n"
    "Timestamp;ID;Data\n"
    "101500000;123;0102\n";

const char kTrace[] =
    "date Fri Mar 15 10:15:00 AM 2024\n"
    "base hex  timestamps absolute\n"
    "Begin Triggerblock\n"
    "   0.000000 CANFD   1 Rx        123                                   0 0 2  2 01 02"
    "        0    0        0        0        0        0        0        0\n"
    "End Triggerblock\n";

/// Forwards to a real stream but reports a failure when closed.
struct BadCloseStream : Stream {
  Stream* inner;
};

/// Forwards to a real filesystem; every stream it opens fails to close.
struct BadCloseFileSystem : FileSystem {
  FileSystem* inner;
};

}  // namespace

static Stream* inner_of(Stream* stream) { return static_cast<BadCloseStream*>(stream)->inner; }

static int64_t bad_close_read(Stream* stream, void* destination, int64_t count) {
  return stream_read(inner_of(stream), destination, count);
}

static int64_t bad_close_tell(Stream* stream) { return stream_tell(inner_of(stream)); }

static int64_t bad_close_seek(Stream* stream, int64_t offset, int32_t whence) {
  return stream_seek(inner_of(stream), offset, whence);
}

static int64_t bad_close_borrow(Stream* stream, const void** bytes) {
  return stream_borrow(inner_of(stream), bytes);
}

static int32_t bad_close_close(Stream* stream) {
  (void)stream_close(inner_of(stream));
  delete static_cast<BadCloseStream*>(stream);
  return -1;
}

static const StreamOps kBadCloseStreamOps = {
    .read = bad_close_read,
    .write = nullptr,  // wraps inputs only
    .tell = bad_close_tell,
    .seek = bad_close_seek,
    .close = bad_close_close,
    .borrow = bad_close_borrow,
};

static bool bad_close_stat(FileSystem* fs, std::string_view path, FileInfo* out) {
  FileSystem* inner = static_cast<BadCloseFileSystem*>(fs)->inner;
  return inner->ops->stat(inner, path, out);
}

static bool bad_close_remove(FileSystem* fs, std::string_view path) {
  FileSystem* inner = static_cast<BadCloseFileSystem*>(fs)->inner;
  return inner->ops->remove(inner, path);
}

static Stream* bad_close_open(FileSystem* fs, std::string_view path, int32_t flags) {
  FileSystem* inner = static_cast<BadCloseFileSystem*>(fs)->inner;
  Stream* opened = inner->ops->open(inner, path, flags);
  if (opened == nullptr) return nullptr;
  auto* wrapper = new (std::nothrow) BadCloseStream{};
  if (wrapper == nullptr) {
    (void)stream_close(opened);
    return nullptr;
  }
  wrapper->ops = &kBadCloseStreamOps;
  wrapper->inner = opened;
  return wrapper;
}

static const FileSystemOps kBadCloseFileSystemOps = {
    .release = nullptr,  // owns nothing
    .stat = bad_close_stat,
    .list = nullptr,  // the pipeline lists nothing
    .make_dir = nullptr,  // inputs only
    .remove = bad_close_remove,
    .open = bad_close_open,
};

namespace {

using Messages = std::vector<std::string>;

TEST(ConvertFileFault, FailedInputCloseFailsTheFileKeepsTheInputAndLeavesTheWholeTrace) {
  for (int64_t buffer_size : {-1, 0, 16}) {
    TempDir dir;
    FileSystemPtr fs(filesystem_create(dir.path()));
    ASSERT_NE(fs, nullptr);
    BadCloseFileSystem input_fs{};
    input_fs.ops = &kBadCloseFileSystemOps;
    input_fs.root = fs->root;
    input_fs.inner = fs.get();
    ConversionOptions options{};
    options.buffer_size = buffer_size;
    options.delete_converted = true;
    OutputPluginPtr writer(asc_writer_create(&input_fs, fs.get(), &options));
    ASSERT_NE(writer, nullptr);
    dir.write("in/a.txt", kLog);

    LogCapture log;
    EXPECT_EQ(convert_file(writer.get(), "in/a.txt", "out/a.txt"), STATUS_CONVERSION_FAILED)
        << "buffer " << buffer_size;
    EXPECT_EQ(log.messages(), (Messages{"Could not close input file after conversion: in/a.txt",
                                        "Error during conversion of in/a.txt"}))
        << "buffer " << buffer_size;
    EXPECT_EQ(dir.read("in/a.txt"), kLog) << "an input that failed is never deleted";
    // The writer finished before the input was closed: its trace is whole.
    EXPECT_EQ(dir.read("out/a.asc"), kTrace) << "buffer " << buffer_size;
  }
}

}  // namespace
