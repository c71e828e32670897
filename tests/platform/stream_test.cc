// Streams: the contracts the whole-tool runs do not reach (empty slots, null pointers, modes the
// tool never opens, seeks that land nowhere, sticky read errors); they read files through both.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "support/memory_stream.h"
#include "support/temp_dir.h"

using Ints = std::vector<int64_t>;
using Texts = std::vector<std::string>;
constexpr int64_t E = STREAM_READ_ERROR;  // short, for the tables

static std::string read_n(Stream* stream, int64_t count) {
  std::string bytes(static_cast<size_t>(count), '\0');
  bytes.resize(static_cast<size_t>(std::max<int64_t>(0, stream_read(stream, bytes.data(), count))));
  return bytes;
}

TEST(Stream, EmptySlotsNullPointersPositionSizeAndCopy) {
  static const StreamOps kTellOnly = {nullptr, nullptr, [](Stream*) -> int64_t { return 3; },
                                      nullptr, nullptr, nullptr};
  Stream none{&kTellOnly};
  char byte = 'x';
  const void* bytes = &byte;
  int64_t position = 7;
  // Without a seek slot the position must not pass for the size.
  EXPECT_EQ(stream_read(&none, &byte, 1) + stream_write(&none, &byte, 1) +
                stream_seek(&none, 0, 0) + stream_borrow(&none, &bytes) + stream_size(&none) +
                stream_size(nullptr),
            4 * STREAM_NOT_SUPPORTED - 2);
  EXPECT_FALSE(stream_close(&none) || stream_close(nullptr) ||
               stream_set_position(&none, &position) || stream_get_position(nullptr, &position) ||
               stream_set_position(nullptr, &position));
  StreamPtr ten(memory_stream_create("0123456789"));
  EXPECT_EQ(stream_size(ten.get()) + stream_size(StreamPtr(memory_stream_create("")).get()), 10);
  EXPECT_EQ(read_n(ten.get(), 3), "012");
  EXPECT_TRUE(stream_set_position(ten.get(), &position) && read_n(ten.get(), 1) == "7");
  EXPECT_TRUE(stream_get_position(ten.get(), &position) && position == 8);
  // A copy goes to the end of the source, short writes notwithstanding.
  StreamRecord sink{.write_limit = 5000};
  StreamPtr writer(memory_stream_create(&sink)),
      source(memory_stream_create(std::string(9000, 'a')));
  stream_copy(source.get(), nullptr);
  stream_copy(nullptr, writer.get());
  stream_copy(&none, writer.get());
  stream_copy(source.get(), writer.get());
  EXPECT_EQ(sink.bytes, std::string(5000, 'a'));
}

TEST(FileStream, ModesSeeksAndStickyReadErrors) {
  TempDir dir;
  dir.write("f", "0123456789");
  const std::string f = dir.file("f");
  EXPECT_FALSE(file_stream_open(f.c_str(), 4) || file_stream_open(f.c_str(), -1) ||
               file_stream_open(nullptr, STREAM_MODE_READ) ||
               file_stream_open((f + "x").c_str(), STREAM_MODE_READ_WRITE));  // no file: no stream
  // A bad whence or a target outside the file fails and keeps the position.
  StreamPtr both(file_stream_open(f.c_str(), STREAM_MODE_READ_WRITE));
  Stream* s = both.get();
  EXPECT_EQ((Ints{stream_seek(s, 0, 2), stream_seek(s, -6, 2), stream_write(s, "ab", 2),
                  stream_seek(s, -5, 1), stream_seek(s, -100, 0), stream_seek(s, -100, 2),
                  stream_seek(s, 0, 3), stream_tell(s)}),
            (Ints{10, 4, 2, 1, -1, -1, -1, 1}));
  EXPECT_EQ(read_n(s, 20), "123ab6789");
  EXPECT_EQ(stream_seek(s, 1, 0), 1);  // the read moved the position the seek compares with
  EXPECT_EQ(read_n(s, 2), "12");
  // A folder opened "rb" fails to read (EISDIR), as a failing card would; the error outlasts a
  // seek, even for a read of nothing.
  StreamPtr folder(file_stream_open(dir.path().c_str(), STREAM_MODE_READ));
  char byte;
  EXPECT_EQ((Ints{stream_read(folder.get(), &byte, 1), stream_seek(folder.get(), 0, 0),
                  stream_read(folder.get(), &byte, 0)}),
            (Ints{E, 0, E}));
}

TEST(BufferedStream, ReadsLendsAndSeeksThroughOneWindowAndFailsForGoodAfterAReadError) {
  StreamRecord inner{.bytes = "abcdefghijklmnopq"};
  StreamPtr stream(buffered_stream_create(memory_stream_create(&inner), true, 5));  // holds 8
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
  EXPECT_EQ((Texts{read_n(stream.get(), 9), loan()}), (Texts{"q", ""}));  // one byte, then the end
  EXPECT_EQ(stream_seek(stream.get(), 2, 0), 2);  // a load elsewhere: the loan starts there
  EXPECT_EQ(loan(), "cdefghij");
  EXPECT_EQ((Texts{read_n(stream.get(), 1), read_n(stream.get(), 9)}), (Texts{"c", "defghijkl"}));
  stream.reset();
  EXPECT_TRUE(inner.closed);
  // Bytes behind a failed read never follow the ones delivered before it.
  StreamRecord failing{.bytes = "abcdefghijklmnop", .read_error_from = 9};
  stream.reset(buffered_stream_create(memory_stream_create(&failing), true, 8));
  EXPECT_EQ(read_n(stream.get(), 8), "abcdefgh");
  EXPECT_EQ((Ints{stream_borrow(stream.get(), &lent), stream_seek(stream.get(), 12, 0),
                  stream_read(stream.get(), nullptr, 1), stream_seek(stream.get(), 0, 0),
                  stream_read(stream.get(), nullptr, 1)}),
            (Ints{E, E, E, 0, E}));
  EXPECT_EQ(buffered_stream_create(nullptr, true, UINT64_MAX), nullptr);  // too large to allocate
  stream.reset(buffered_stream_create(nullptr, true, 8));                 // no data at all
  EXPECT_EQ((Ints{stream_read(stream.get(), nullptr, 1), stream_seek(stream.get(), 0, 2)}),
            (Ints{0, -1}));
  // A seek moves the cursor, loads at the target or changes nothing; the inner stream's position
  // afterwards tells a load from a move of the cursor.
  // clang-format off
  for (auto [read_first, offset, whence, result, next, inner_at] : {
           std::tuple{1, 8, 0, 8, "i", 8}, {5, 3, 1, 8, "i", 8}, {5, 1, 0, 1, "b", 8},
           {5, -5, 1, 0, "a", 8}, {1, 13, 0, 13, "n", 20}, {13, 2, 0, 2, "c", 10},
           {20, -2, 2, 18, "s", 18}, {0, 0, 2, 0, "a", 20}, {3, 100, 0, 3, "d", 8},
           {3, -5, 0, 3, "d", 8}, {3, -10, 1, 3, "d", 8}, {3, -100, 2, -1, "d", 8},
           {13, -20, 2, 0, "a", 8}, {1, 0, 3, -1, "b", 8}}) {
    // clang-format on
    SCOPED_TRACE(testing::Message() << read_first << " " << offset << " " << whence);
    // Not owned: the inner stream outlives the buffer, which must leave it open.
    StreamPtr inner(memory_stream_create("abcdefghijklmnopqrst")),
        stream(buffered_stream_create(inner.get(), false, 8));
    ASSERT_EQ(read_n(stream.get(), read_first).size(), static_cast<size_t>(read_first));
    EXPECT_EQ(stream_seek(stream.get(), offset, whence), result);
    EXPECT_EQ(stream_tell(inner.get()), inner_at);
    EXPECT_EQ(read_n(stream.get(), 1), next);
  }
}

TEST(ObservedStream, ReportsEvery64KiBAndTheEndWhateverTheReadSizeAndFollowsARereading) {
  auto note = [](void* seen, int64_t position) { static_cast<Ints*>(seen)->push_back(position); };
  EXPECT_EQ(observed_stream_create(nullptr, note, nullptr), nullptr);
  for (int64_t chunk : {1, 4096, 65536, 1 << 20}) {
    SCOPED_TRACE(chunk);
    Ints seen;
    StreamRecord inner{.bytes = std::string(200000, 'x')};
    StreamPtr stream(observed_stream_create(memory_stream_create(&inner), note, &seen));
    EXPECT_EQ(stream_size(stream.get()), 200000);  // seeks are passed on, not reported
    while (!read_n(stream.get(), chunk).empty()) {
    }
    // A second reading from the start is followed as well.
    EXPECT_EQ(stream_seek(stream.get(), 0, 0) + read_n(stream.get(), 65536).size(), 65536u);
    EXPECT_EQ(seen, (Ints{65536, 131072, 196608, 200000, 65536}));
    stream.reset();
    EXPECT_TRUE(inner.closed);
  }
}
