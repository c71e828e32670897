// The stream dispatchers and what is built on them: stream_size,
// stream_copy and the position helpers.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "support/counting_stream.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"
#include "support/short_write_stream.h"

static const StreamOps kNoSlotsOps = {
    .read = nullptr,
    .write = nullptr,
    .tell = nullptr,
    .seek = nullptr,
    .close = nullptr,
    .borrow = nullptr,
};

static std::string pattern_bytes(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

TEST(StreamDispatch, EmptySlotsAnswerNotSupported) {
  Stream stream{&kNoSlotsOps};
  char byte = 'x';
  EXPECT_EQ(stream_read(&stream, &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_write(&stream, &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_tell(&stream), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_seek(&stream, 0, 0), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_close(&stream), 0);
  EXPECT_EQ(byte, 'x');
  const void* bytes = &byte;
  EXPECT_EQ(stream_borrow(&stream, &bytes), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(bytes, &byte);
}

TEST(StreamClose, NullStreamReturnsZero) { EXPECT_EQ(stream_close(nullptr), 0); }

TEST(StreamClose, ReturnsTheSlotsFailureValue) {
  ShortWriteRecord record;
  EXPECT_EQ(stream_close(short_write_stream_create(10, &record, -1)), -1);
  EXPECT_TRUE(record.closed);
}

TEST(StreamPosition, NullArgumentsAnswerFalse) {
  StreamPtr stream(memory_stream_create("abc"));
  int64_t position = 7;
  EXPECT_FALSE(stream_get_position(nullptr, &position));
  EXPECT_FALSE(stream_get_position(stream.get(), nullptr));
  EXPECT_FALSE(stream_set_position(nullptr, &position));
  EXPECT_FALSE(stream_set_position(stream.get(), nullptr));
  EXPECT_EQ(position, 7);
}

TEST(StreamPosition, SetReportsWhetherTheSeekLanded) {
  StreamPtr stream(memory_stream_create("abcdef"));
  int64_t target = 4;
  EXPECT_TRUE(stream_set_position(stream.get(), &target));
  int64_t position = -1;
  EXPECT_TRUE(stream_get_position(stream.get(), &position));
  EXPECT_EQ(position, 4);
  int64_t beyond = 9;  // the memory stream refuses positions past its end
  EXPECT_FALSE(stream_set_position(stream.get(), &beyond));
  EXPECT_EQ(stream_tell(stream.get()), 4);
}

TEST(StreamSize, FileStreamSizeKeepsPosition) {
  TempDir dir;
  dir.write("ten", "0123456789");
  StreamPtr stream(file_stream_open(dir.file("ten").c_str(), STREAM_MODE_READ));
  ASSERT_NE(stream, nullptr);
  char head[3];
  ASSERT_EQ(stream_read(stream.get(), head, 3), 3);
  EXPECT_EQ(stream_size(stream.get()), 10);
  EXPECT_EQ(stream_tell(stream.get()), 3);
  char next = 0;
  EXPECT_EQ(stream_read(stream.get(), &next, 1), 1);
  EXPECT_EQ(next, '3');
}

TEST(StreamSize, NullOrUnmeasurableStreamGivesMinusOne) {
  EXPECT_EQ(stream_size(nullptr), -1);
  Stream no_slots{&kNoSlotsOps};
  EXPECT_EQ(stream_size(&no_slots), -1);  // tell answers -2
  // Tell works but there is no seek: the size cannot be found, and the
  // current position must not be passed off as it.
  ShortWriteRecord record;
  StreamPtr writer(short_write_stream_create(100, &record));
  ASSERT_EQ(stream_write(writer.get(), "abcd", 4), 4);
  EXPECT_EQ(stream_size(writer.get()), -1);
}

TEST(StreamCopy, WritesChunksOf4096) {
  std::string source_bytes = pattern_bytes(10000);
  StreamPtr source(memory_stream_create(source_bytes));
  StreamCalls calls;
  Stream* memory = memory_stream_create("");
  StreamPtr destination(counting_stream_create(memory, &calls));
  stream_copy(source.get(), destination.get());
  EXPECT_EQ(calls.write_counts, (std::vector<int64_t>{4096, 4096, 1808}));
  EXPECT_EQ(memory_stream_contents(memory), source_bytes);
}

TEST(StreamCopy, ShortWritesDoNotStopTheReading) {
  std::string source_bytes = pattern_bytes(10000);
  StreamCalls source_calls;
  StreamPtr source(counting_stream_create(memory_stream_create(source_bytes), &source_calls));
  ShortWriteRecord record;
  StreamPtr destination(short_write_stream_create(5000, &record));
  stream_copy(source.get(), destination.get());
  EXPECT_EQ(record.write_counts, (std::vector<int64_t>{4096, 4096, 1808}));
  EXPECT_EQ(record.bytes, source_bytes.substr(0, 5000));
  EXPECT_EQ(source_calls.read_results, (std::vector<int64_t>{4096, 4096, 1808, 0}));
}

TEST(StreamCopy, NullSideDoesNothing) {
  StreamCalls calls;
  StreamPtr source(counting_stream_create(memory_stream_create("abc"), &calls));
  stream_copy(source.get(), nullptr);
  stream_copy(nullptr, source.get());
  EXPECT_TRUE(calls.read_counts.empty());
  EXPECT_TRUE(calls.write_counts.empty());
}

TEST(StreamCopy, StopsAtAFailingRead) {
  // A write-only source answers every read with -2: nothing is written.
  ShortWriteRecord source_record;
  StreamPtr source(short_write_stream_create(10, &source_record));
  StreamCalls calls;
  StreamPtr destination(counting_stream_create(memory_stream_create(""), &calls));
  stream_copy(source.get(), destination.get());
  EXPECT_TRUE(calls.write_counts.empty());
}
