// Borrowing from a BufferedStream: the bytes it lends, when it loads them,
// and the dispatcher's answer for streams that cannot lend.
#include <gtest/gtest.h>

#include <string>

#include "platform/stream.h"
#include "support/memory_stream.h"

static std::string borrowed(Stream* stream, int64_t* count) {
  const void* bytes = nullptr;
  *count = stream_borrow(stream, &bytes);
  if (*count <= 0) return "";
  return std::string(static_cast<const char*>(bytes), static_cast<size_t>(*count));
}

TEST(BufferedStreamBorrow, LendsTheRestOfTheBufferAndLoadsOnlyWhenItIsUsedUp) {
  // Capacity 5 is rounded up to 8, so 20 bytes come in loads of 8, 8 and 4.
  StreamPtr stream(buffered_stream_create(memory_stream_create("0123456789abcdefghij"), true, 5));
  int64_t count = 0;
  EXPECT_EQ(borrowed(stream.get(), &count), "01234567");
  // Lending does not move the position: the same bytes come again.
  EXPECT_EQ(stream_tell(stream.get()), 0);
  EXPECT_EQ(borrowed(stream.get(), &count), "01234567");
  EXPECT_EQ(stream_seek(stream.get(), 3, 1), 3);
  EXPECT_EQ(borrowed(stream.get(), &count), "34567");
  EXPECT_EQ(stream_seek(stream.get(), 5, 1), 8);
  EXPECT_EQ(borrowed(stream.get(), &count), "89abcdef");
  EXPECT_EQ(stream_seek(stream.get(), 8, 1), 16);
  EXPECT_EQ(borrowed(stream.get(), &count), "ghij");
  EXPECT_EQ(stream_seek(stream.get(), 4, 1), 20);
  EXPECT_EQ(borrowed(stream.get(), &count), "");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(stream_tell(stream.get()), 20);
}

TEST(BufferedStreamBorrow, LendsWhatAOneByteReadWouldDeliverNext) {
  StreamPtr stream(buffered_stream_create(memory_stream_create("abcdefghijklmnopqrst"), true, 8));
  char byte = 0;
  ASSERT_EQ(stream_read(stream.get(), &byte, 1), 1);
  EXPECT_EQ(byte, 'a');
  int64_t count = 0;
  EXPECT_EQ(borrowed(stream.get(), &count), "bcdefgh");
  // After a seek back into the loaded bytes the loan starts there.
  EXPECT_EQ(stream_seek(stream.get(), 0, 0), 0);
  EXPECT_EQ(borrowed(stream.get(), &count), "abcdefgh");
  // A seek elsewhere loads there, and the loan follows.
  EXPECT_EQ(stream_seek(stream.get(), 12, 0), 12);
  EXPECT_EQ(borrowed(stream.get(), &count), "mnopqrst");
  ASSERT_EQ(stream_read(stream.get(), &byte, 1), 1);
  EXPECT_EQ(byte, 'm');
}

TEST(StreamBorrow, StreamWithoutTheSlotAnswersNotSupportedAndLeavesTheViewAlone) {
  StreamPtr stream(memory_stream_create("abc"));
  const void* bytes = &stream;
  EXPECT_EQ(stream_borrow(stream.get(), &bytes), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(bytes, &stream);
  char byte = 0;
  EXPECT_EQ(stream_read(stream.get(), &byte, 1), 1);
  EXPECT_EQ(byte, 'a');
}
