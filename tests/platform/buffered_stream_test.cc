// BufferedStream over a real file, with a CountingStream between the two so
// that every refill and every seek of the inner stream is on record.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/counting_stream.h"
#include "support/memory_stream.h"
#include "support/short_write_stream.h"
#include "support/temp_dir.h"

namespace {
constexpr char kTwenty[] = "abcdefghijklmnopqrst";

// A 20-byte file behind a counting stream behind a buffered stream that owns
// them both.
class BufferedStreamTest : public testing::Test {
 protected:
  void open(uint64_t capacity) {
    calls_ = StreamCalls{};
    Stream* file = file_stream_open(dir_.file("twenty").c_str(), STREAM_MODE_READ);
    ASSERT_NE(file, nullptr);
    stream_.reset(buffered_stream_create(counting_stream_create(file, &calls_), true, capacity));
    ASSERT_NE(stream_, nullptr);
  }
  std::string read(int64_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    int64_t n = stream_read(stream_.get(), bytes.data(), count);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
  }
  std::string borrowed() {
    const void* bytes = nullptr;
    int64_t count = stream_borrow(stream_.get(), &bytes);
    if (count <= 0) return "";
    return std::string(static_cast<const char*>(bytes), static_cast<size_t>(count));
  }

  TempDir dir_;
  StreamCalls calls_;
  StreamPtr stream_;
};
}  // namespace

TEST_F(BufferedStreamTest, CapacityFiveIsRoundedToEightAndRefillsThreeTimes) {
  dir_.write("twenty", kTwenty);
  open(5);
  std::string bytes;
  for (int i = 0; i < 21; ++i) bytes += read(1);
  EXPECT_EQ(bytes, kTwenty);
  // Three loads of up to 8 bytes, each after a seek of the inner stream from
  // the start, then one at the end that finds nothing.
  EXPECT_EQ(calls_.read_counts, (std::vector<int64_t>{8, 8, 8, 8}));
  EXPECT_EQ(calls_.read_results, (std::vector<int64_t>{8, 8, 4, 0}));
  EXPECT_EQ(calls_.seek_offsets, (std::vector<int64_t>{0, 8, 16, 20}));
  EXPECT_EQ(calls_.seek_whences, (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_EQ(stream_tell(stream_.get()), 20);
}

TEST_F(BufferedStreamTest, SeekMovesTheCursorOrLoadsAtTheTargetOrChangesNothing) {
  dir_.write("twenty", kTwenty);
  const struct {
    uint64_t capacity;
    int64_t read_first;  // bytes read before the seek
    int64_t offset;
    int32_t whence;
    int64_t result;
    size_t inner_seeks;  // made by the seek itself
    std::string next;    // the byte read after the seek
    size_t inner_reads;  // in all, after that read
  } rows[] = {
      // The upper bound of the buffer is inclusive: only the cursor moves,
      // and the next read refills from there.
      {8, 1, 8, 0, 8, 0, "i", 2},
      {8, 5, 3, 1, 8, 0, "i", 2},
      // Inside the buffer: served from memory.
      {8, 5, 1, 0, 1, 0, "b", 1},
      {8, 5, -5, 1, 0, 0, "a", 1},
      // Outside it, behind or before: a load at the target.
      {8, 1, 13, 0, 13, 1, "n", 2},
      {8, 13, 2, 0, 2, 1, "c", 3},
      // From the end: the inner stream says where that is.
      {64, 20, -2, 2, 18, 1, "s", 1},
      // A fresh stream sought to its end finds no data there: position 0.
      {8, 0, 0, 2, 0, 2, "a", 2},
      // No data at the target, or a target before the start: nothing moves.
      {8, 3, 100, 0, 3, 1, "d", 2},
      {8, 3, -5, 0, 3, 0, "d", 1},
      {8, 3, -10, 1, 3, 0, "d", 1},
      // A failed inner seek, or an unknown whence, changes nothing either.
      {8, 3, -100, 2, -1, 1, "d", 1},
      {8, 1, 0, 3, -1, 0, "b", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "read " << row.read_first << ", seek " << row.offset
                                    << " whence " << row.whence);
    open(row.capacity);
    ASSERT_EQ(read(row.read_first), std::string(kTwenty, static_cast<size_t>(row.read_first)));
    size_t seeks_before = calls_.seek_offsets.size();
    EXPECT_EQ(stream_seek(stream_.get(), row.offset, row.whence), row.result);
    EXPECT_EQ(calls_.seek_offsets.size() - seeks_before, row.inner_seeks);
    EXPECT_EQ(read(1), row.next);
    EXPECT_EQ(calls_.read_counts.size(), row.inner_reads);
  }
}

TEST_F(BufferedStreamTest, BorrowLendsWhatTheNextReadWouldDeliverWithTheSameLoads) {
  dir_.write("twenty", kTwenty);
  open(5);
  EXPECT_EQ(borrowed(), "abcdefgh");
  // Lending neither moves the position nor loads again.
  EXPECT_EQ(borrowed(), "abcdefgh");
  EXPECT_EQ(stream_tell(stream_.get()), 0);
  EXPECT_EQ(read(1), "a");
  EXPECT_EQ(borrowed(), "bcdefgh");
  EXPECT_EQ(stream_seek(stream_.get(), 7, 1), 8);
  EXPECT_EQ(borrowed(), "ijklmnop");
  EXPECT_EQ(stream_seek(stream_.get(), 8, 1), 16);
  EXPECT_EQ(borrowed(), "qrst");
  EXPECT_EQ(stream_seek(stream_.get(), 4, 1), 20);
  const void* bytes = nullptr;
  EXPECT_EQ(stream_borrow(stream_.get(), &bytes), 0);
  EXPECT_EQ(stream_tell(stream_.get()), 20);
  // The same loads, at the same places, as twenty one-byte reads make.
  EXPECT_EQ(calls_.read_results, (std::vector<int64_t>{8, 8, 4, 0}));
  EXPECT_EQ(calls_.seek_offsets, (std::vector<int64_t>{0, 8, 16, 20}));

  // After a seek elsewhere the loan starts at the target.
  EXPECT_EQ(stream_seek(stream_.get(), 2, 0), 2);
  EXPECT_EQ(borrowed(), "cdefghij");
}

TEST(BufferedStream, ReadsOnlyWhereTheInnerStreamLandsAndClosesItOnlyWhenOwned) {
  StreamCalls calls;
  StreamPtr inner(counting_stream_create(memory_stream_create("xyz"), &calls));
  Stream* borrowing = buffered_stream_create(inner.get(), false, 2);
  ASSERT_NE(borrowing, nullptr);
  char bytes[3];
  EXPECT_EQ(stream_read(borrowing, bytes, 3), 3);
  EXPECT_EQ(std::string(bytes, 3), "xyz");
  // A target the inner stream refuses loads nothing, though the inner stream
  // was moved to where it has bytes to give.
  EXPECT_EQ(stream_seek(inner.get(), 0, 0), 0);
  EXPECT_EQ(stream_seek(borrowing, 9, 0), 3);
  EXPECT_EQ(stream_close(borrowing), 0);
  EXPECT_FALSE(calls.closed);

  // An owned inner stream is closed, and its failure reported.
  ShortWriteRecord record;
  Stream* owning = buffered_stream_create(short_write_stream_create(0, &record, -1), true, 8);
  ASSERT_NE(owning, nullptr);
  EXPECT_EQ(stream_close(owning), -1);
  EXPECT_TRUE(record.closed);
}

TEST(BufferedStream, InnerStreamThatCannotReadOrIsMissingDeliversNothing) {
  ShortWriteRecord record;
  StreamPtr write_only(buffered_stream_create(short_write_stream_create(0, &record), true, 8));
  StreamPtr none(buffered_stream_create(nullptr, true, 8));
  for (Stream* stream : {write_only.get(), none.get()}) {
    char byte = 'x';
    EXPECT_EQ(stream_read(stream, &byte, 1), 0);
    EXPECT_EQ(byte, 'x');
    EXPECT_EQ(stream_seek(stream, 4, 0), 0);
    EXPECT_EQ(stream_seek(stream, 0, 2), stream == none.get() ? -1 : STREAM_NOT_SUPPORTED);
    EXPECT_EQ(stream_tell(stream), 0);
  }
}
