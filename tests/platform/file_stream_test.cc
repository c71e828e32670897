// FileStream over real files in a temporary folder: the open modes, the
// empty slots of each mode, the seek rules and the tracked position.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

static std::string read_all(Stream* stream) {
  std::string bytes;
  char chunk[7];
  for (int64_t n; (n = stream_read(stream, chunk, sizeof chunk)) > 0;) {
    bytes.append(chunk, static_cast<size_t>(n));
  }
  return bytes;
}

TEST(FileStreamOpen, UnknownModeNullPathOrMissingFileForReadingGivesNull) {
  TempDir dir;
  dir.write("f", "abc");
  EXPECT_EQ(file_stream_open(dir.file("f").c_str(), 3), nullptr);
  EXPECT_EQ(file_stream_open(dir.file("f").c_str(), -1), nullptr);
  EXPECT_EQ(file_stream_open(nullptr, STREAM_MODE_READ), nullptr);
  EXPECT_EQ(dir.read("f"), "abc");
  // Reading, also together with writing, needs an existing file.
  EXPECT_EQ(file_stream_open(dir.file("none").c_str(), STREAM_MODE_READ), nullptr);
  EXPECT_EQ(file_stream_open(dir.file("none").c_str(), STREAM_MODE_READ_WRITE), nullptr);
  EXPECT_FALSE(dir.exists("none"));
}

TEST(FileStream, EachModeAnswersTheOtherDirectionWithNotSupported) {
  TempDir dir;
  dir.write("read", "original");
  dir.write("write", "a longer old text");
  dir.write("both", "0123456789");
  char byte = 0;
  const void* bytes = nullptr;

  StreamPtr reading(file_stream_open(dir.file("read").c_str(), STREAM_MODE_READ));
  ASSERT_NE(reading, nullptr);
  EXPECT_EQ(stream_write(reading.get(), "XY", 2), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_tell(reading.get()), 0);
  EXPECT_EQ(read_all(reading.get()), "original");
  // Nothing is lent, so readers read.
  EXPECT_EQ(stream_borrow(reading.get(), &bytes), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_close(reading.release()), 0);
  EXPECT_EQ(dir.read("read"), "original");

  StreamPtr writing(file_stream_open(dir.file("write").c_str(), STREAM_MODE_WRITE));
  ASSERT_NE(writing, nullptr);
  EXPECT_EQ(stream_read(writing.get(), &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_write(writing.get(), "new", 3), 3);
  EXPECT_EQ(stream_tell(writing.get()), 3);
  EXPECT_EQ(stream_close(writing.release()), 0);
  EXPECT_EQ(dir.read("write"), "new");

  StreamPtr both(file_stream_open(dir.file("both").c_str(), STREAM_MODE_READ_WRITE));
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(stream_seek(both.get(), 4, 0), 4);
  EXPECT_EQ(stream_write(both.get(), "ab", 2), 2);
  EXPECT_EQ(stream_seek(both.get(), 0, 0), 0);
  EXPECT_EQ(read_all(both.get()), "0123ab6789");
  EXPECT_EQ(stream_close(both.release()), 0);
  EXPECT_EQ(dir.read("both"), "0123ab6789");
}

TEST(FileStreamSeek, LandedSeeksReportThePositionAndFailedOnesKeepIt) {
  TempDir dir;
  dir.write("f", "abcdefghij");
  StreamPtr stream(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream_seek(stream.get(), -3, 2), 7);
  EXPECT_EQ(stream_seek(stream.get(), -5, 1), 2);
  EXPECT_EQ(stream_tell(stream.get()), 2);
  // An unknown whence or a target outside the file fails and keeps the
  // tracked position: a seek to it is still answered as landed.
  EXPECT_EQ(stream_seek(stream.get(), 0, 3), -1);
  EXPECT_EQ(stream_seek(stream.get(), -5, 0), -1);
  EXPECT_EQ(stream_seek(stream.get(), -100, 2), -1);
  EXPECT_EQ(stream_tell(stream.get()), 2);
  EXPECT_EQ(stream_seek(stream.get(), 2, 0), 2);
  EXPECT_EQ(read_all(stream.get()), "cdefghij");
  // After reading to the end the tracked position is 10: seeking there and
  // back to 0 both land.
  EXPECT_EQ(stream_seek(stream.get(), 10, 0), 10);
  EXPECT_EQ(stream_seek(stream.get(), 0, 0), 0);
  EXPECT_EQ(read_all(stream.get()), "abcdefghij");
}

TEST(FileStream, ReadErrorIsNoEndOfDataAndOutlastsASeekAndABufferInFront) {
  // Reading a folder opened "rb" fails with EISDIR, as a failing card would
  // fail with EIO.
  TempDir dir;
  dir.make_dir("folder");
  StreamPtr file(file_stream_open(dir.file("folder").c_str(), STREAM_MODE_READ));
  ASSERT_NE(file, nullptr);
  char byte = 0;
  EXPECT_EQ(stream_read(file.get(), &byte, 1), STREAM_READ_ERROR);
  (void)stream_seek(file.get(), 0, 0);
  EXPECT_EQ(stream_read(file.get(), &byte, 1), STREAM_READ_ERROR);

  StreamPtr buffered(buffered_stream_create(
      file_stream_open(dir.file("folder").c_str(), STREAM_MODE_READ), true, 8));
  ASSERT_NE(buffered, nullptr);
  const void* bytes = nullptr;
  EXPECT_EQ(stream_seek(buffered.get(), 4, 0), STREAM_READ_ERROR);
  EXPECT_EQ(stream_borrow(buffered.get(), &bytes), STREAM_READ_ERROR);
  EXPECT_EQ(stream_seek(buffered.get(), 0, 0), 0);
  EXPECT_EQ(stream_read(buffered.get(), &byte, 1), STREAM_READ_ERROR);
}
