// Streams: the dispatchers and what is built on them, FileStream on real
// files, and BufferedStream over a memory stream that records every refill.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/memory_stream.h"
#include "support/temp_dir.h"

using Calls = std::vector<std::string>;

static std::string read_n(Stream* stream, int64_t count) {
  std::string bytes(static_cast<size_t>(count), '\0');
  int64_t n = stream_read(stream, bytes.data(), count);
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return bytes;
}

TEST(Stream, EmptySlotsSizeAndCopy) {
  static const StreamOps kNoSlots = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  Stream none{&kNoSlots};
  char byte = 'x';
  const void* bytes = &byte;
  EXPECT_EQ(stream_read(&none, &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_write(&none, &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_seek(&none, 0, 0), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_borrow(&none, &bytes), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_close(&none) + stream_close(nullptr), 0);
  EXPECT_EQ(stream_size(&none), -1);  // tell answers -2
  int64_t position = 1;
  EXPECT_FALSE(stream_set_position(&none, &position));
  EXPECT_FALSE(stream_get_position(nullptr, &position) || stream_set_position(nullptr, &position));
  EXPECT_EQ(stream_size(nullptr), -1);

  StreamRecord record{.bytes = "0123456789"};
  StreamPtr ten(memory_stream_create(&record));
  EXPECT_EQ(read_n(ten.get(), 3), "012");
  EXPECT_EQ(stream_size(ten.get()), 10);
  EXPECT_TRUE(stream_get_position(ten.get(), &position) && position == 3);
  position = 7;
  EXPECT_TRUE(stream_set_position(ten.get(), &position));
  EXPECT_EQ(read_n(ten.get(), 1), "7");
  // Tell works but seek does not: the position must not pass for the size.
  StreamRecord sink{.write_limit = 5000, .close_result = -1, .write_only = true};
  StreamPtr writer(memory_stream_create(&sink));
  EXPECT_EQ(stream_write(writer.get(), "ab", 2), 2);
  EXPECT_EQ(stream_size(writer.get()), -1);

  // Copies in chunks of 4096 to the end, short writes notwithstanding.
  std::string text(10000, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  sink.calls.clear();
  StreamPtr source(memory_stream_create(text));
  stream_copy(source.get(), writer.get());
  EXPECT_EQ(sink.calls, (Calls{"write 4096", "write 4096", "write 1808"}));
  EXPECT_EQ(sink.bytes, "ab" + text.substr(0, 4998));
  // A null side, or a source that cannot be read, writes nothing.
  sink.calls.clear();
  stream_copy(source.get(), nullptr);
  stream_copy(nullptr, writer.get());
  stream_copy(writer.get(), ten.get());
  EXPECT_TRUE(sink.calls.empty());
  EXPECT_EQ(memory_stream_contents(ten.get()), "0123456789");
  EXPECT_EQ(stream_close(writer.release()), -1);
  EXPECT_TRUE(sink.closed);
}

TEST(FileStream, ModesSlotsSeeksAndStickyReadErrors) {
  TempDir dir;
  dir.write("f", "0123456789");
  dir.make_dir("folder");
  const std::string f = dir.file("f"), no = dir.file("no");
  for (auto [path, mode] : {std::pair{f.c_str(), 3}, {f.c_str(), -1}, {nullptr, 0},
                            {no.c_str(), STREAM_MODE_READ}, {no.c_str(), STREAM_MODE_READ_WRITE}}) {
    EXPECT_EQ(file_stream_open(path, mode), nullptr) << mode;
  }
  EXPECT_FALSE(dir.exists("no"));

  StreamPtr both(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ_WRITE));
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(stream_seek(both.get(), -6, 2), 4);
  EXPECT_EQ(stream_write(both.get(), "ab", 2), 2);
  EXPECT_EQ(stream_seek(both.get(), -5, 1), 1);
  // A bad whence or a target outside the file fails and keeps the position.
  for (int32_t whence : {0, 2, 3}) EXPECT_EQ(stream_seek(both.get(), -100, whence), -1);
  EXPECT_EQ(stream_tell(both.get()), 1);
  EXPECT_EQ(read_n(both.get(), 20), "123ab6789");
  EXPECT_EQ(stream_seek(both.get(), 10, 0) + stream_seek(both.get(), 0, 0), 10);
  EXPECT_EQ(read_n(both.get(), 2), "01");
  EXPECT_EQ(stream_close(both.release()), 0);

  StreamPtr reading(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ));
  StreamPtr writing(file_stream_open(dir.file("f").c_str(), STREAM_MODE_WRITE));
  ASSERT_TRUE(reading != nullptr && writing != nullptr);
  EXPECT_EQ(stream_write(reading.get(), "X", 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_read(writing.get(), nullptr, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_write(writing.get(), "new", 3), 3);
  EXPECT_EQ(stream_tell(writing.get()), 3);
  EXPECT_EQ(stream_close(writing.release()), 0);
  EXPECT_EQ(dir.read("f"), "new");

  // A folder opened "rb" fails to read (EISDIR), as a failing card would;
  // the error outlasts a seek.
  StreamPtr folder(file_stream_open(dir.file("folder").c_str(), STREAM_MODE_READ));
  ASSERT_NE(folder, nullptr);
  char byte;
  EXPECT_EQ(stream_read(folder.get(), &byte, 1), STREAM_READ_ERROR);
  (void)stream_seek(folder.get(), 0, 0);
  EXPECT_EQ(stream_read(folder.get(), &byte, 1), STREAM_READ_ERROR);
}

TEST(BufferedStream, RefillsInRoundedChunksAtTheCursorAndLendsWhatAReadWouldGet) {
  StreamRecord inner{.bytes = "abcdefghijklmnopqrst"};
  StreamPtr stream(buffered_stream_create(memory_stream_create(&inner), true, 5));
  ASSERT_NE(stream, nullptr);
  std::string bytes;
  for (int i = 0; i < 6; ++i) bytes += read_n(stream.get(), 1);
  const void* lent = nullptr;
  ASSERT_EQ(stream_borrow(stream.get(), &lent), 2);
  EXPECT_EQ(bytes + std::string(static_cast<const char*>(lent), 2), "abcdefgh");
  EXPECT_EQ(stream_seek(stream.get(), 2, 1), 8);
  ASSERT_EQ(stream_borrow(stream.get(), &lent), 8);  // refilled, not moved
  EXPECT_EQ(stream_tell(stream.get()), 8);
  EXPECT_EQ(stream_seek(stream.get(), 8, 1), 16);
  EXPECT_EQ(read_n(stream.get(), 9), "qrst");
  EXPECT_EQ(stream_borrow(stream.get(), &lent), 0);
  EXPECT_EQ(inner.calls, (Calls{"seek 0", "read 8 8", "seek 8", "read 8 8", "seek 16",
                                "read 8 4", "seek 20", "read 8 0", "seek 20", "read 8 0"}));
  EXPECT_EQ(stream_seek(stream.get(), 2, 0), 2);  // a load elsewhere: the loan starts there
  EXPECT_EQ(stream_borrow(stream.get(), &lent), 8);
  EXPECT_EQ(stream_write(stream.get(), "x", 1), STREAM_NOT_SUPPORTED);
}

TEST(BufferedStream, SeekMovesTheCursorOrLoadsAtTheTargetOrChangesNothing) {
  const struct {
    int64_t read_first, offset;
    int32_t whence;
    int64_t result;
    std::string next;  // the byte read after the seek
    size_t inner_reads;
  } rows[] = {
      {1, 8, 0, 8, "i", 2},  // right behind the buffer: the cursor moves, then a refill
      {5, 3, 1, 8, "i", 2},     {5, 1, 0, 1, "b", 1},  {5, -5, 1, 0, "a", 1},
      {1, 13, 0, 13, "n", 2},   {13, 2, 0, 2, "c", 3},  {20, -2, 2, 18, "s", 3},
      {0, 0, 2, 0, "a", 2},  // a fresh stream finds no data at the end: position 0
      {3, 100, 0, 3, "d", 1},   {3, -5, 0, 3, "d", 1},  {3, -10, 1, 3, "d", 1},
      {3, -100, 2, -1, "d", 1}, {1, 0, 3, -1, "b", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
    StreamRecord inner{.bytes = "abcdefghijklmnopqrst"};
    StreamPtr stream(buffered_stream_create(memory_stream_create(&inner), true, 8));
    ASSERT_EQ(read_n(stream.get(), row.read_first), inner.bytes.substr(0, row.read_first));
    EXPECT_EQ(stream_seek(stream.get(), row.offset, row.whence), row.result);
    EXPECT_EQ(read_n(stream.get(), 1), row.next);
    size_t reads = 0;
    for (const std::string& call : inner.calls) reads += call.starts_with("read");
    EXPECT_EQ(reads, row.inner_reads);
  }
}

TEST(BufferedStream, InnerStreamOwnershipAbsenceAndStickyReadErrors) {
  StreamRecord kept{.bytes = "xyz"};
  Stream* inner = memory_stream_create(&kept);
  Stream* borrowing = buffered_stream_create(inner, false, 2);
  EXPECT_EQ(read_n(borrowing, 3), "xyz");
  // A target with no bytes loads nothing, though the inner stream has moved.
  EXPECT_EQ(stream_seek(inner, 0, 0), 0);
  EXPECT_EQ(stream_seek(borrowing, 9, 0), 3);
  EXPECT_EQ(stream_close(borrowing), 0);
  EXPECT_FALSE(kept.closed);
  EXPECT_EQ(stream_close(inner), 0);

  StreamRecord write_only{.close_result = -1, .write_only = true};
  StreamPtr none(buffered_stream_create(nullptr, true, 8));
  Stream* owning = buffered_stream_create(memory_stream_create(&write_only), true, 8);
  for (Stream* stream : {none.get(), owning}) {
    EXPECT_EQ(read_n(stream, 1), "");
    EXPECT_EQ(stream_seek(stream, 4, 0), 0);
    EXPECT_EQ(stream_seek(stream, 0, 2), stream == owning ? STREAM_NOT_SUPPORTED : -1);
  }
  EXPECT_EQ(stream_close(owning), -1);
  EXPECT_TRUE(write_only.closed);

  // Bytes behind a failed read never follow the ones delivered before it.
  StreamRecord failing{.bytes = "abcdefghijklmnop", .read_error_from = 9};
  StreamPtr stream(buffered_stream_create(memory_stream_create(&failing), true, 8));
  const void* lent = nullptr;
  EXPECT_EQ(read_n(stream.get(), 8), "abcdefgh");
  EXPECT_EQ(stream_borrow(stream.get(), &lent), STREAM_READ_ERROR);
  EXPECT_EQ(stream_seek(stream.get(), 12, 0), STREAM_READ_ERROR);
  EXPECT_EQ(stream_seek(stream.get(), 0, 0), 0);
  EXPECT_EQ(stream_read(stream.get(), nullptr, 1), STREAM_READ_ERROR);
}
