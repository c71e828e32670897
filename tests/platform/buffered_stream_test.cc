// BufferedStream over a real file, with a CountingStream between the two so
// that every refill and every seek of the inner stream is on record.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/counting_stream.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"
#include "support/short_write_stream.h"

namespace {
constexpr char kTwenty[] = "abcdefghijklmnopqrst";

// A 20-byte file behind a counting stream behind a buffered stream that owns
// them both.
class BufferedStreamTest : public testing::Test {
 protected:
  void open(uint64_t capacity) {
    dir_.write("twenty", kTwenty);
    Stream* file = file_stream_open(dir_.file("twenty").c_str(), STREAM_MODE_READ);
    ASSERT_NE(file, nullptr);
    stream_.reset(buffered_stream_create(counting_stream_create(file, &calls_), true, capacity));
    ASSERT_NE(stream_, nullptr);
  }
  char read_byte() {
    char byte = 0;
    EXPECT_EQ(stream_read(stream_.get(), &byte, 1), 1);
    return byte;
  }
  size_t refills() const { return calls_.read_counts.size(); }

  TempDir dir_;
  StreamCalls calls_;
  StreamPtr stream_;
};
}  // namespace

TEST_F(BufferedStreamTest, CapacityFiveIsRoundedToEightAndRefillsThreeTimes) {
  open(5);
  std::string bytes;
  for (int i = 0; i < 20; ++i) bytes.push_back(read_byte());
  EXPECT_EQ(bytes, kTwenty);
  char byte = 0;
  EXPECT_EQ(stream_read(stream_.get(), &byte, 1), 0);
  // Three loads of up to 8 bytes, then one at the end that finds nothing.
  EXPECT_EQ(calls_.read_counts, (std::vector<int64_t>{8, 8, 8, 8}));
  EXPECT_EQ(calls_.read_results, (std::vector<int64_t>{8, 8, 4, 0}));
  // Every load seeks the inner stream from the start first.
  EXPECT_EQ(calls_.seek_offsets, (std::vector<int64_t>{0, 8, 16, 20}));
  EXPECT_EQ(calls_.seek_whences, (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_EQ(stream_tell(stream_.get()), 20);
}

TEST_F(BufferedStreamTest, ReadAcrossRefillsDeliversEveryByteOnce) {
  open(8);
  char chunk[13];
  ASSERT_EQ(stream_read(stream_.get(), chunk, 13), 13);
  EXPECT_EQ(std::string(chunk, 13), "abcdefghijklm");
  // Asking for more than is left returns what there was.
  ASSERT_EQ(stream_read(stream_.get(), chunk, 13), 7);
  EXPECT_EQ(std::string(chunk, 7), "nopqrst");
  EXPECT_EQ(calls_.read_results, (std::vector<int64_t>{8, 8, 4, 0}));
}

TEST_F(BufferedStreamTest, ReadOfZeroBytesTouchesNothing) {
  open(8);
  char byte = 'x';
  EXPECT_EQ(stream_read(stream_.get(), &byte, 0), 0);
  EXPECT_EQ(byte, 'x');
  EXPECT_EQ(refills(), 0u);
}

TEST_F(BufferedStreamTest, CapacityCoveringTheFileLoadsItOnce) {
  open(64);
  char all[20];
  ASSERT_EQ(stream_read(stream_.get(), all, 20), 20);
  EXPECT_EQ(stream_seek(stream_.get(), 3, 0), 3);
  EXPECT_EQ(read_byte(), 'd');
  EXPECT_EQ(stream_seek(stream_.get(), -2, 2), 18);
  EXPECT_EQ(read_byte(), 's');
  // The seek from the end asks the inner stream where its end is; all bytes
  // still come from the one load.
  EXPECT_EQ(calls_.read_results, (std::vector<int64_t>{20}));
}

TEST_F(BufferedStreamTest, SeekToBasePlusFillMovesOnlyTheCursor) {
  open(8);
  EXPECT_EQ(read_byte(), 'a');  // buffer holds bytes 0 to 7
  size_t seeks_before = calls_.seek_offsets.size();
  EXPECT_EQ(stream_seek(stream_.get(), 8, 0), 8);
  EXPECT_EQ(stream_tell(stream_.get()), 8);
  EXPECT_EQ(refills(), 1u);
  EXPECT_EQ(calls_.seek_offsets.size(), seeks_before);
  // The next read refills from the new position.
  EXPECT_EQ(read_byte(), 'i');
  EXPECT_EQ(refills(), 2u);
  EXPECT_EQ(calls_.seek_offsets.back(), 8);
}

TEST_F(BufferedStreamTest, SeekInsideTheBufferIsServedFromMemory) {
  open(8);
  char five[5];
  ASSERT_EQ(stream_read(stream_.get(), five, 5), 5);
  EXPECT_EQ(stream_seek(stream_.get(), 1, 0), 1);
  EXPECT_EQ(read_byte(), 'b');
  EXPECT_EQ(stream_seek(stream_.get(), 3, 1), 5);
  EXPECT_EQ(read_byte(), 'f');
  EXPECT_EQ(stream_seek(stream_.get(), -6, 1), 0);
  EXPECT_EQ(read_byte(), 'a');
  EXPECT_EQ(refills(), 1u);
}

TEST_F(BufferedStreamTest, SeekOutsideTheBufferLoadsAtTheTarget) {
  open(8);
  EXPECT_EQ(read_byte(), 'a');
  EXPECT_EQ(stream_seek(stream_.get(), 13, 0), 13);
  EXPECT_EQ(calls_.seek_offsets.back(), 13);
  EXPECT_EQ(calls_.read_results.back(), 7);
  EXPECT_EQ(read_byte(), 'n');
  // Back before the buffer: another load.
  EXPECT_EQ(stream_seek(stream_.get(), 2, 0), 2);
  EXPECT_EQ(read_byte(), 'c');
  EXPECT_EQ(refills(), 3u);
}

TEST_F(BufferedStreamTest, FreshStreamSeekToEndReturnsZero) {
  open(8);
  // The end of the inner stream holds no data to load, so nothing moves.
  EXPECT_EQ(stream_seek(stream_.get(), 0, 2), 0);
  EXPECT_EQ(stream_tell(stream_.get()), 0);
  EXPECT_EQ(read_byte(), 'a');
}

TEST_F(BufferedStreamTest, SeekThatFindsNoDataKeepsBufferAndPosition) {
  open(8);
  char three[3];
  ASSERT_EQ(stream_read(stream_.get(), three, 3), 3);
  EXPECT_EQ(stream_seek(stream_.get(), 100, 0), 3);
  EXPECT_EQ(stream_tell(stream_.get()), 3);
  size_t loads = refills();
  EXPECT_EQ(read_byte(), 'd');  // still served from the old buffer
  EXPECT_EQ(refills(), loads);
}

TEST_F(BufferedStreamTest, SeekBeforeTheStartChangesNothing) {
  open(8);
  char three[3];
  ASSERT_EQ(stream_read(stream_.get(), three, 3), 3);
  // A negative target cannot be sought on the file; no bytes may be loaded
  // for it and the position stays where it was.
  EXPECT_EQ(stream_seek(stream_.get(), -5, 0), 3);
  EXPECT_EQ(stream_seek(stream_.get(), -10, 1), 3);
  EXPECT_EQ(stream_tell(stream_.get()), 3);
  EXPECT_EQ(read_byte(), 'd');
  EXPECT_EQ(calls_.read_results, (std::vector<int64_t>{8}));
}

TEST_F(BufferedStreamTest, FailedSeekFromTheEndChangesNothing) {
  open(8);
  char three[3];
  ASSERT_EQ(stream_read(stream_.get(), three, 3), 3);
  EXPECT_EQ(stream_seek(stream_.get(), -100, 2), -1);
  EXPECT_EQ(stream_tell(stream_.get()), 3);
  EXPECT_EQ(read_byte(), 'd');
}

TEST_F(BufferedStreamTest, WhenceThreeReturnsMinusOneAndChangesNothing) {
  open(8);
  EXPECT_EQ(read_byte(), 'a');
  size_t seeks = calls_.seek_offsets.size();
  EXPECT_EQ(stream_seek(stream_.get(), 0, 3), -1);
  EXPECT_EQ(stream_tell(stream_.get()), 1);
  EXPECT_EQ(calls_.seek_offsets.size(), seeks);
  EXPECT_EQ(read_byte(), 'b');
}

TEST_F(BufferedStreamTest, WriteAnswersNotSupported) {
  open(8);
  EXPECT_EQ(stream_write(stream_.get(), "x", 1), STREAM_NOT_SUPPORTED);
  EXPECT_TRUE(calls_.write_counts.empty());
  EXPECT_EQ(read_byte(), 'a');
}

TEST_F(BufferedStreamTest, ClosingClosesTheOwnedInnerStream) {
  open(8);
  EXPECT_EQ(stream_close(stream_.release()), 0);
  EXPECT_TRUE(calls_.closed);
}

TEST(BufferedStream, InnerStreamNotOwnedStaysOpen) {
  StreamCalls calls;
  StreamPtr inner(counting_stream_create(memory_stream_create("xyz"), &calls));
  Stream* buffered = buffered_stream_create(inner.get(), false, 2);
  ASSERT_NE(buffered, nullptr);
  char bytes[3];
  EXPECT_EQ(stream_read(buffered, bytes, 3), 3);
  EXPECT_EQ(std::string(bytes, 3), "xyz");
  EXPECT_EQ(calls.read_counts, (std::vector<int64_t>{8}));  // 2 rounds up to 8
  EXPECT_EQ(stream_close(buffered), 0);
  EXPECT_FALSE(calls.closed);
  EXPECT_EQ(stream_seek(inner.get(), 1, 0), 1);
}

TEST(BufferedStream, CloseReportsTheInnerFailure) {
  ShortWriteRecord record;
  Stream* buffered = buffered_stream_create(short_write_stream_create(0, &record, -1), true, 8);
  ASSERT_NE(buffered, nullptr);
  EXPECT_EQ(stream_close(buffered), -1);
  EXPECT_TRUE(record.closed);
}

TEST(BufferedStream, InnerStreamWithoutReadDeliversNothing) {
  ShortWriteRecord record;
  StreamPtr buffered(buffered_stream_create(short_write_stream_create(0, &record), true, 8));
  ASSERT_NE(buffered, nullptr);
  char byte = 'x';
  // The inner stream cannot seek either, so no load happens at all.
  EXPECT_EQ(stream_read(buffered.get(), &byte, 1), 0);
  EXPECT_EQ(byte, 'x');
  EXPECT_EQ(stream_tell(buffered.get()), 0);
}

TEST(BufferedStream, WithoutInnerStreamHoldsNoData) {
  StreamPtr buffered(buffered_stream_create(nullptr, true, 8));
  ASSERT_NE(buffered, nullptr);
  char byte = 'x';
  EXPECT_EQ(stream_read(buffered.get(), &byte, 1), 0);
  EXPECT_EQ(stream_seek(buffered.get(), 0, 2), -1);
  EXPECT_EQ(stream_seek(buffered.get(), 4, 0), 0);
  EXPECT_EQ(stream_tell(buffered.get()), 0);
  EXPECT_EQ(stream_close(buffered.release()), 0);
}

// ---------------------------------------------------------------------------
// Lending

static std::string borrowed(Stream* stream) {
  const void* bytes = nullptr;
  int64_t count = stream_borrow(stream, &bytes);
  if (count <= 0) return "";
  return std::string(static_cast<const char*>(bytes), static_cast<size_t>(count));
}

TEST_F(BufferedStreamTest, BorrowLendsTheRestOfTheBufferAndLoadsOnlyWhenItIsUsedUp) {
  open(5);
  EXPECT_EQ(borrowed(stream_.get()), "abcdefgh");
  // Lending neither moves the position nor loads again.
  EXPECT_EQ(stream_tell(stream_.get()), 0);
  EXPECT_EQ(borrowed(stream_.get()), "abcdefgh");
  EXPECT_EQ(refills(), 1u);
  EXPECT_EQ(stream_seek(stream_.get(), 3, 1), 3);
  EXPECT_EQ(borrowed(stream_.get()), "defgh");
  EXPECT_EQ(stream_seek(stream_.get(), 5, 1), 8);
  EXPECT_EQ(refills(), 1u) << "a seek to the buffer's end only moves the cursor";
  EXPECT_EQ(borrowed(stream_.get()), "ijklmnop");
  EXPECT_EQ(stream_seek(stream_.get(), 8, 1), 16);
  EXPECT_EQ(borrowed(stream_.get()), "qrst");
  EXPECT_EQ(stream_seek(stream_.get(), 4, 1), 20);
  const void* bytes = nullptr;
  EXPECT_EQ(stream_borrow(stream_.get(), &bytes), 0);
  EXPECT_EQ(stream_tell(stream_.get()), 20);
  // The same loads, at the same places, as twenty one-byte reads make.
  EXPECT_EQ(calls_.read_results, (std::vector<int64_t>{8, 8, 4, 0}));
  EXPECT_EQ(calls_.seek_offsets, (std::vector<int64_t>{0, 8, 16, 20}));
}

TEST_F(BufferedStreamTest, BorrowLendsWhatTheNextReadWouldDeliver) {
  open(8);
  EXPECT_EQ(read_byte(), 'a');
  EXPECT_EQ(borrowed(stream_.get()), "bcdefgh");
  // After a seek back into the loaded bytes the loan starts there.
  EXPECT_EQ(stream_seek(stream_.get(), 0, 0), 0);
  EXPECT_EQ(borrowed(stream_.get()), "abcdefgh");
  // A seek elsewhere loads there, and the loan follows.
  EXPECT_EQ(stream_seek(stream_.get(), 12, 0), 12);
  EXPECT_EQ(borrowed(stream_.get()), "mnopqrst");
  EXPECT_EQ(read_byte(), 'm');
}
