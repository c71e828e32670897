// Streams: the dispatchers and what is built on them, FileStream on real
// files, and BufferedStream over a memory stream that records every refill.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/memory_stream.h"
#include "support/temp_dir.h"

using Calls = std::vector<std::string>;
using Ints = std::vector<int64_t>;

static std::string read_n(Stream* stream, int64_t count) {
  std::string bytes(static_cast<size_t>(count), '\0');
  bytes.resize(static_cast<size_t>(std::max<int64_t>(0, stream_read(stream, bytes.data(), count))));
  return bytes;
}

TEST(Stream, EmptySlotsPositionSizeAndCopy) {
  static const StreamOps kNoSlots = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  Stream none{&kNoSlots};
  char byte = 'x';
  const void* bytes = &byte;
  int64_t position = 7;
  EXPECT_EQ(stream_read(&none, &byte, 1) + stream_write(&none, &byte, 1) +
                stream_seek(&none, 0, 0) + stream_borrow(&none, &bytes) + stream_size(&none) +
                stream_size(nullptr),
            4 * STREAM_NOT_SUPPORTED - 2);
  EXPECT_FALSE(stream_close(&none) || stream_close(nullptr) ||
               stream_set_position(&none, &position) || stream_get_position(nullptr, &position) ||
               stream_set_position(nullptr, &position));
  StreamRecord digits{.bytes = "0123456789"};
  StreamPtr ten(memory_stream_create(&digits));
  EXPECT_EQ(read_n(ten.get(), 3), "012");
  EXPECT_EQ(stream_size(ten.get()), 10);
  EXPECT_TRUE(stream_set_position(ten.get(), &position) && read_n(ten.get(), 1) == "7");
  EXPECT_TRUE(stream_get_position(ten.get(), &position) && position == 8);
  // Tell works but seek does not: the position must not pass for the size.
  // A copy goes in chunks of 4096 to the end, short writes notwithstanding.
  StreamRecord sink{.write_limit = 5000, .close_result = -1, .write_only = true};
  StreamPtr writer(memory_stream_create(&sink)),
      source(memory_stream_create(std::string(9000, 'a') + "bcd"));
  EXPECT_EQ((Ints{stream_write(writer.get(), "xy", 2), stream_size(writer.get())}), (Ints{2, -1}));
  stream_copy(source.get(), nullptr);
  stream_copy(nullptr, writer.get());
  stream_copy(writer.get(), ten.get());
  stream_copy(source.get(), writer.get());
  EXPECT_EQ(sink.calls, (Calls{"write 2", "write 4096", "write 4096", "write 811"}));
  EXPECT_EQ(sink.bytes, "xy" + std::string(4998, 'a'));
  EXPECT_EQ(digits.bytes, "0123456789");
  EXPECT_EQ(stream_close(writer.release()), -1);
}

TEST(FileStream, ModesSeeksAndStickyReadErrors) {
  TempDir dir;
  dir.write("f", "0123456789");
  const std::string f = dir.file("f"), no = dir.file("no");
  for (auto [path, mode] : {std::pair{f.c_str(), 3},
                            {f.c_str(), -1},
                            {nullptr, 0},
                            {no.c_str(), STREAM_MODE_READ_WRITE}}) {
    EXPECT_EQ(file_stream_open(path, mode), nullptr) << mode;
  }
  StreamPtr both(file_stream_open(f.c_str(), STREAM_MODE_READ_WRITE));
  EXPECT_EQ((Ints{stream_seek(both.get(), 0, 2), stream_seek(both.get(), -6, 2),
                  stream_write(both.get(), "ab", 2), stream_seek(both.get(), -5, 1)}),
            (Ints{10, 4, 2, 1}));
  // A bad whence or a target outside the file fails and keeps the position.
  EXPECT_EQ((Ints{stream_seek(both.get(), -100, 0), stream_seek(both.get(), -100, 2),
                  stream_seek(both.get(), 0, 3), stream_tell(both.get())}),
            (Ints{-1, -1, -1, 1}));
  EXPECT_EQ(read_n(both.get(), 20), "123ab6789");
  EXPECT_EQ((Ints{stream_seek(both.get(), 10, 0), stream_seek(both.get(), 0, 0)}), (Ints{10, 0}));
  EXPECT_EQ(read_n(both.get(), 2), "01");
  StreamPtr reading(file_stream_open(f.c_str(), STREAM_MODE_READ)),
      writing(file_stream_open(f.c_str(), STREAM_MODE_WRITE));
  EXPECT_EQ(stream_write(reading.get(), "X", 1) + stream_read(writing.get(), nullptr, 1),
            2 * STREAM_NOT_SUPPORTED);
  EXPECT_EQ((Ints{stream_write(writing.get(), "new", 3), stream_tell(writing.get()),
                  stream_close(writing.release())}),
            (Ints{3, 3, 0}));
  EXPECT_EQ(dir.read("f"), "new");
  // A folder opened "rb" fails to read (EISDIR), as a failing card would; the error outlasts a
  // seek.
  StreamPtr folder(file_stream_open(dir.path().c_str(), STREAM_MODE_READ));
  char byte;
  EXPECT_EQ(stream_read(folder.get(), &byte, 1), STREAM_READ_ERROR);
  (void)stream_seek(folder.get(), 0, 0);
  EXPECT_EQ(stream_read(folder.get(), &byte, 1), STREAM_READ_ERROR);
}

TEST(BufferedStream, RefillsInRoundedChunksAtTheCursorLendsWhatAReadWouldGetAndFailsForGood) {
  StreamRecord inner{.bytes = "abcdefghijklmnopqrst"};
  StreamPtr stream(buffered_stream_create(memory_stream_create(&inner), true, 5));
  std::string bytes;
  for (int i = 0; i < 6; ++i) bytes += read_n(stream.get(), 1);
  const void* lent = nullptr;
  auto loan = [&] {
    int64_t n = stream_borrow(stream.get(), &lent);
    return std::string(static_cast<const char*>(lent), std::max<int64_t>(n, 0));
  };
  EXPECT_EQ(bytes + loan(), "abcdefgh");
  EXPECT_EQ(stream_seek(stream.get(), 2, 1), 8);
  EXPECT_EQ(loan(), "ijklmnop");  // refilled, not moved
  EXPECT_EQ((Ints{stream_tell(stream.get()), stream_seek(stream.get(), 8, 1)}), (Ints{8, 16}));
  EXPECT_EQ((Calls{read_n(stream.get(), 9), loan()}), (Calls{"qrst", ""}));
  EXPECT_EQ(inner.calls, (Calls{"seek 0", "read 8 8", "seek 8", "read 8 8", "seek 16", "read 8 4",
                                "seek 20", "read 8 0", "seek 20", "read 8 0"}));
  EXPECT_EQ(stream_seek(stream.get(), 2, 0), 2);  // a load elsewhere: the loan starts there
  EXPECT_EQ(loan(), "cdefghij");
  EXPECT_EQ(stream_write(stream.get(), "x", 1), STREAM_NOT_SUPPORTED);
  EXPECT_FALSE(inner.closed);
  stream.reset();
  EXPECT_TRUE(inner.closed);
  // Bytes behind a failed read never follow the ones delivered before it.
  StreamRecord failing{.bytes = "abcdefghijklmnop", .read_error_from = 9};
  stream.reset(buffered_stream_create(memory_stream_create(&failing), true, 8));
  EXPECT_EQ(read_n(stream.get(), 8), "abcdefgh");
  EXPECT_EQ((Ints{stream_borrow(stream.get(), &lent), stream_seek(stream.get(), 12, 0),
                  stream_read(stream.get(), nullptr, 1)}),
            (Ints{STREAM_READ_ERROR, STREAM_READ_ERROR, STREAM_READ_ERROR}));
  EXPECT_EQ(stream_seek(stream.get(), 0, 0), 0);
  EXPECT_EQ(stream_read(stream.get(), nullptr, 1), STREAM_READ_ERROR);
}

TEST(BufferedStream, SeekMovesTheCursorOrLoadsAtTheTargetOrChangesNothing) {
  // {bytes read first, offset, whence, result, next byte, inner reads}; capacity 8
  const struct {
    int64_t read_first, offset;
    int32_t whence;
    int64_t result;
    std::string next;
    long inner_reads;
  } rows[] = {
      {1, 8, 0, 8, "i", 2},    {5, 3, 1, 8, "i", 2},   {5, 1, 0, 1, "b", 1},
      {5, -5, 1, 0, "a", 1},   {1, 13, 0, 13, "n", 2}, {13, 2, 0, 2, "c", 3},
      {20, -2, 2, 18, "s", 3}, {0, 0, 2, 0, "a", 2},   {3, 100, 0, 3, "d", 1},
      {3, -5, 0, 3, "d", 1},   {3, -10, 1, 3, "d", 1}, {3, -100, 2, -1, "d", 1},
      {1, 0, 3, -1, "b", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
    StreamRecord inner{.bytes = "abcdefghijklmnopqrst"};
    StreamPtr stream(buffered_stream_create(memory_stream_create(&inner), true, 8));
    ASSERT_EQ(read_n(stream.get(), row.read_first), inner.bytes.substr(0, row.read_first));
    EXPECT_EQ(stream_seek(stream.get(), row.offset, row.whence), row.result);
    EXPECT_EQ(read_n(stream.get(), 1), row.next);
    EXPECT_EQ(
        std::count_if(inner.calls.begin(), inner.calls.end(), [](auto& c) { return c[0] == 'r'; }),
        row.inner_reads);
  }
  // Not owned: a target with no bytes loads nothing, though the inner stream has moved.
  StreamRecord kept{.bytes = "xyz"};
  StreamPtr inner(memory_stream_create(&kept)),
      borrowing(buffered_stream_create(inner.get(), false, 2));
  EXPECT_EQ(read_n(borrowing.get(), 3), "xyz");
  EXPECT_EQ((Ints{stream_seek(inner.get(), 0, 0), stream_seek(borrowing.get(), 9, 0)}),
            (Ints{0, 3}));
  borrowing.reset();
  EXPECT_FALSE(kept.closed);
}
