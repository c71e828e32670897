// The stream dispatchers and what is built on them: stream_size,
// stream_copy and the position helpers.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "support/counting_stream.h"
#include "support/memory_stream.h"
#include "support/short_write_stream.h"
#include "support/temp_dir.h"

static const StreamOps kNoSlotsOps = {
    .read = nullptr,
    .write = nullptr,
    .tell = nullptr,
    .seek = nullptr,
    .close = nullptr,
    .borrow = nullptr,
};

TEST(StreamDispatch, EmptySlotsAnswerNotSupportedAndCloseAnswersItsSlot) {
  Stream stream{&kNoSlotsOps};
  char byte = 'x';
  EXPECT_EQ(stream_read(&stream, &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_write(&stream, &byte, 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_tell(&stream), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(stream_seek(&stream, 0, 0), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(byte, 'x');
  const void* bytes = &byte;
  EXPECT_EQ(stream_borrow(&stream, &bytes), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(bytes, &byte);
  EXPECT_EQ(stream_close(&stream), 0);
  EXPECT_EQ(stream_close(nullptr), 0);
  ShortWriteRecord record;
  EXPECT_EQ(stream_close(short_write_stream_create(10, &record, -1)), -1);
  EXPECT_TRUE(record.closed);
}

TEST(StreamSize, MeasuresAndKeepsThePositionOrGivesMinusOne) {
  // The position helpers it is built on fail for null.
  int64_t position = 4;
  EXPECT_FALSE(stream_get_position(nullptr, &position));
  EXPECT_FALSE(stream_set_position(nullptr, &position));
  TempDir dir;
  dir.write("ten", "0123456789");
  StreamPtr file(file_stream_open(dir.file("ten").c_str(), STREAM_MODE_READ));
  ASSERT_NE(file, nullptr);
  char head[3];
  ASSERT_EQ(stream_read(file.get(), head, 3), 3);
  EXPECT_EQ(stream_size(file.get()), 10);
  EXPECT_EQ(stream_tell(file.get()), 3);
  EXPECT_EQ(stream_read(file.get(), head, 1), 1);
  EXPECT_EQ(head[0], '3');
  position = 1;
  EXPECT_TRUE(stream_set_position(file.get(), &position));
  EXPECT_EQ(stream_read(file.get(), head, 1), 1);
  EXPECT_TRUE(stream_get_position(file.get(), &position));
  EXPECT_EQ(head[0] + std::to_string(position), "12");

  EXPECT_EQ(stream_size(nullptr), -1);
  Stream no_slots{&kNoSlotsOps};
  EXPECT_EQ(stream_size(&no_slots), -1);  // tell answers -2
  EXPECT_FALSE(stream_set_position(&no_slots, &position));  // the seek does not land
  // Tell works but there is no seek: the current position must not be passed
  // off as the size.
  ShortWriteRecord record;
  StreamPtr writer(short_write_stream_create(100, &record));
  ASSERT_EQ(stream_write(writer.get(), "abcd", 4), 4);
  EXPECT_EQ(stream_size(writer.get()), -1);
}

TEST(StreamCopy, WritesChunksOf4096UntilTheSourceEnds) {
  std::string bytes(10000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  StreamCalls calls;
  Stream* memory = memory_stream_create("");
  StreamPtr destination(counting_stream_create(memory, &calls));
  StreamPtr source(memory_stream_create(bytes));
  stream_copy(source.get(), destination.get());
  EXPECT_EQ(calls.write_counts, (std::vector<int64_t>{4096, 4096, 1808}));
  EXPECT_EQ(memory_stream_contents(memory), bytes);

  // Short writes do not stop the reading.
  ShortWriteRecord record;
  StreamPtr full(short_write_stream_create(5000, &record));
  source.reset(memory_stream_create(bytes));
  stream_copy(source.get(), full.get());
  EXPECT_EQ(record.write_counts, (std::vector<int64_t>{4096, 4096, 1808}));
  EXPECT_EQ(record.bytes, bytes.substr(0, 5000));

  // A null side, or a source that cannot be read, writes nothing.
  calls = StreamCalls{};
  source.reset(memory_stream_create(bytes));
  stream_copy(source.get(), nullptr);
  stream_copy(nullptr, destination.get());
  stream_copy(full.get(), destination.get());
  EXPECT_EQ(stream_tell(source.get()), 0);
  EXPECT_TRUE(calls.write_counts.empty());
}
