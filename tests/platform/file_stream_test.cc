// FileStream over real files in a temporary folder: the open modes, the
// empty slots of each mode, the seek rules and the tracked position.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

static std::string read_all(Stream* stream) {
  std::string bytes;
  char chunk[7];
  for (;;) {
    int64_t n = stream_read(stream, chunk, sizeof chunk);
    if (n <= 0) return bytes;
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

TEST(FileStreamOpen, UnknownModeOrNullPathGivesNull) {
  TempDir dir;
  dir.write("f", "abc");
  EXPECT_EQ(file_stream_open(dir.file("f").c_str(), 3), nullptr);
  EXPECT_EQ(file_stream_open(dir.file("f").c_str(), -1), nullptr);
  EXPECT_EQ(file_stream_open(nullptr, STREAM_MODE_READ), nullptr);
  EXPECT_EQ(dir.read("f"), "abc");
}

TEST(FileStreamOpen, MissingFileGivesNullForReadingModes) {
  TempDir dir;
  EXPECT_EQ(file_stream_open(dir.file("none").c_str(), STREAM_MODE_READ), nullptr);
  // Reading and writing works on an existing file only; nothing is created.
  EXPECT_EQ(file_stream_open(dir.file("none").c_str(), STREAM_MODE_READ_WRITE), nullptr);
  EXPECT_EQ(dir.read("none"), "<missing>");
}

TEST(FileStream, ReadOnlyFileStreamAnswersWriteWithNotSupported) {
  TempDir dir;
  dir.write("f", "original");
  StreamPtr stream(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream_write(stream.get(), "XY", 2), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_tell(stream.get()), 0);
  EXPECT_EQ(read_all(stream.get()), "original");
  EXPECT_EQ(stream_close(stream.release()), 0);
  EXPECT_EQ(dir.read("f"), "original");
}

TEST(FileStream, WriteOnlyFileStreamTruncatesAndAnswersReadWithNotSupported) {
  TempDir dir;
  dir.write("f", "a longer old text");
  StreamPtr stream(file_stream_open(dir.file("f").c_str(), STREAM_MODE_WRITE));
  ASSERT_NE(stream, nullptr);
  char byte = 0;
  EXPECT_EQ(stream_read(stream.get(), &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_write(stream.get(), "new", 3), 3);
  EXPECT_EQ(stream_tell(stream.get()), 3);
  EXPECT_EQ(stream_close(stream.release()), 0);
  EXPECT_EQ(dir.read("f"), "new");
}

TEST(FileStream, ReadWriteStreamChangesBytesInPlace) {
  TempDir dir;
  dir.write("f", "0123456789");
  StreamPtr stream(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ_WRITE));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream_seek(stream.get(), 4, 0), 4);
  EXPECT_EQ(stream_write(stream.get(), "ab", 2), 2);
  EXPECT_EQ(stream_seek(stream.get(), 0, 0), 0);
  EXPECT_EQ(read_all(stream.get()), "0123ab6789");
  EXPECT_EQ(stream_close(stream.release()), 0);
  EXPECT_EQ(dir.read("f"), "0123ab6789");
}

TEST(FileStreamSeek, WhenceThreeReturnsMinusOneAndKeepsPosition) {
  TempDir dir;
  dir.write("f", "abcdef");
  StreamPtr stream(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ));
  ASSERT_NE(stream, nullptr);
  char two[2];
  ASSERT_EQ(stream_read(stream.get(), two, 2), 2);
  EXPECT_EQ(stream_seek(stream.get(), 0, 3), -1);
  EXPECT_EQ(stream_tell(stream.get()), 2);
  EXPECT_EQ(read_all(stream.get()), "cdef");
}

TEST(FileStreamSeek, FailedSeekKeepsTheTrackedPosition) {
  TempDir dir;
  dir.write("f", "abcdef");
  StreamPtr stream(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ));
  ASSERT_NE(stream, nullptr);
  char two[2];
  ASSERT_EQ(stream_read(stream.get(), two, 2), 2);
  EXPECT_EQ(stream_seek(stream.get(), -5, 0), -1);
  EXPECT_EQ(stream_seek(stream.get(), -100, 2), -1);
  // The tracked position is still 2: a seek to it is answered as landed.
  EXPECT_EQ(stream_seek(stream.get(), 2, 0), 2);
  EXPECT_EQ(read_all(stream.get()), "cdef");
}

TEST(FileStreamSeek, EveryWhenceReportsTheNewPosition) {
  TempDir dir;
  dir.write("f", "abcdefghij");
  StreamPtr stream(file_stream_open(dir.file("f").c_str(), STREAM_MODE_READ));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream_seek(stream.get(), -3, 2), 7);
  EXPECT_EQ(stream_tell(stream.get()), 7);
  EXPECT_EQ(stream_seek(stream.get(), -2, 1), 5);
  EXPECT_EQ(read_all(stream.get()), "fghij");
  // After reading to the end the tracked position is 10: seeking there and
  // back to 0 both land.
  EXPECT_EQ(stream_seek(stream.get(), 10, 0), 10);
  EXPECT_EQ(stream_seek(stream.get(), 0, 0), 0);
  EXPECT_EQ(read_all(stream.get()), "abcdefghij");
}

TEST(FileStream, LendsNothingSoReadersRead) {
  TempDir dir;
  dir.write("three", "abc");
  StreamPtr stream(file_stream_open(dir.file("three").c_str(), STREAM_MODE_READ));
  ASSERT_NE(stream, nullptr);
  const void* bytes = nullptr;
  EXPECT_EQ(stream_borrow(stream.get(), &bytes), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(bytes, nullptr);
}
