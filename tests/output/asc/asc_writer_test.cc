// The ASC writer through its plug-in callbacks: frame intake, the exact text
// of the CAN and LIN files, and the keep-or-remove rule after every kind of
// failure. Failures are staged on a scripted in-memory filesystem; the files
// themselves, an unopenable path and a full device are checked on the disk.
#include "output/asc/asc_writer.h"

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "output/asc/asc_writer_internal.h"
#include "platform/filesystem.h"
#include "platform/stream.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// 2024-03-15 14:07:09 UTC.
constexpr double kMarch15 = 1710511629.0;

// The input file's path on the output side; its stem is "logs/00000001".
constexpr std::string_view kOutputPath = "logs/00000001.txt";
constexpr size_t kStemLength = 13;

// ---------------------------------------------------------------------------
// Frames

namespace {

struct CanFrame {
  double time;
  uint32_t id;
  uint8_t ide;
  uint8_t dir;
  uint8_t edl;
  uint8_t brs;
  uint8_t esi;
  uint8_t dlc;
  std::vector<uint8_t> data;
  uint32_t kind = CAN_DataFrame;
};

struct LinFrame {
  double time;
  uint32_t id;
  uint8_t dir;
  std::vector<uint8_t> data;
};

}  // namespace

/// Hands one CAN frame to the writer the way the reader fills a record.
static bool feed(OutputPlugin* writer, const CanFrame& frame) {
  BusMessage message{};
  message.Timestamp = frame.time;
  message.ID = frame.id;
  message.Kind = frame.kind;
  message.CAN.IDE = frame.ide;
  message.CAN.Dir = frame.dir;
  message.CAN.EDL = frame.edl;
  message.CAN.BRS = frame.brs;
  message.CAN.ESI = frame.esi;
  message.CAN.Remote = frame.kind == CAN_RemoteFrame ? 1 : 0;
  message.CAN.BusChannel = 1;
  message.CAN.DLC = frame.dlc;
  std::copy(frame.data.begin(), frame.data.end(), message.CAN.Payload);
  message.DataLength = frame.data.size();
  message.DataBytes = frame.data.empty() ? nullptr : message.CAN.Payload;
  return asc_writer_handle_record(writer, &message);
}

static bool feed(OutputPlugin* writer, const LinFrame& frame) {
  BusMessage message{};
  message.Timestamp = frame.time;
  message.ID = frame.id;
  message.Kind = LIN_Frame;
  message.LIN.Dir = frame.dir;
  message.LIN.BusChannel = 1;
  message.LIN.ReceivedDataByteCount = static_cast<uint8_t>(frame.data.size());
  std::copy(frame.data.begin(), frame.data.end(), message.LIN.Payload);
  message.DataLength = frame.data.size();
  message.DataBytes = frame.data.empty() ? nullptr : message.LIN.Payload;
  return asc_writer_handle_record(writer, &message);
}

static std::string lines_of(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text.append(line);
    text.push_back('\n');
  }
  return text;
}

static const std::string kMarch15Header2PM9 = lines_of({
    "date Fri Mar 15 02:07:09 PM 2024",
    "base hex  timestamps absolute",
    "Begin Triggerblock",
});

// The constant tail of a CANFD line after its data bytes, flags column 0.
constexpr std::string_view kNoFlagsTail =
    "        0    0        0        0        0        0        0        0";

// ---------------------------------------------------------------------------
// A filesystem in memory whose streams can be told to write short or to fail
// their close, and which records what is opened and removed.

namespace {

struct ScriptedFileSystem : FileSystem {
  std::map<std::string, std::string> files;    ///< what exists now
  std::vector<std::string> opened;             ///< every open, in order
  std::map<std::string, std::string> removed;  ///< contents at removal
  std::set<std::string> unopenable;
  /// Per path: the 0-based numbers of the write calls that come out short.
  std::map<std::string, std::set<int>> short_writes;
  std::map<std::string, int32_t> close_results;
  std::map<std::string, int> write_calls;
};

struct ScriptedStream : Stream {
  ScriptedFileSystem* fs;
  std::string path;
};

}  // namespace

static int64_t scripted_write(Stream* stream, const void* source, int64_t count) {
  auto* self = static_cast<ScriptedStream*>(stream);
  int call = self->fs->write_calls[self->path]++;
  int64_t accepted = count;
  if (self->fs->short_writes[self->path].count(call) != 0) accepted = count > 0 ? count - 1 : 0;
  self->fs->files[self->path].append(static_cast<const char*>(source),
                                     static_cast<size_t>(accepted));
  return accepted;
}

static int32_t scripted_close(Stream* stream) {
  auto* self = static_cast<ScriptedStream*>(stream);
  int32_t result = self->fs->close_results[self->path];
  delete self;
  return result;
}

static const StreamOps kScriptedStreamOps = {
    .read = nullptr,  // the writer only writes
    .write = scripted_write,
    .tell = nullptr,
    .seek = nullptr,
    .close = scripted_close,
    .borrow = nullptr,  // written only
};

static bool scripted_remove(FileSystem* fs, std::string_view path) {
  auto* self = static_cast<ScriptedFileSystem*>(fs);
  auto it = self->files.find(std::string(path));
  if (it == self->files.end()) return false;
  self->removed[it->first] = it->second;
  self->files.erase(it);
  return true;
}

static Stream* scripted_open(FileSystem* fs, std::string_view path, int32_t flags) {
  auto* self = static_cast<ScriptedFileSystem*>(fs);
  std::string key(path);
  self->opened.push_back(key + " flags " + std::to_string(flags));
  if (self->unopenable.count(key) != 0) return nullptr;
  self->files[key].clear();
  auto* stream = new ScriptedStream;
  stream->ops = &kScriptedStreamOps;
  stream->fs = self;
  stream->path = key;
  return stream;
}

static const FileSystemOps kScriptedFileSystemOps = {
    .release = nullptr,  // the fixture owns the object
    .stat = nullptr,     // the writer neither stats, lists nor creates folders
    .list = nullptr,
    .make_dir = nullptr,
    .remove = scripted_remove,
    .open = scripted_open,
};

namespace {

class AscWriterInMemory : public ::testing::Test {
 protected:
  AscWriterInMemory() {
    fs_.ops = &kScriptedFileSystemOps;
    fs_.root = "out";
    writer_.reset(asc_writer_create(&fs_, &fs_, &options_));
  }
  ~AscWriterInMemory() override { asc_writer_fail_allocation_for_testing(-1); }

  bool end_file() { return asc_writer_end_file(writer_.get(), kOutputPath, kStemLength); }
  std::string file(const std::string& name) const {
    auto it = fs_.files.find("out/" + name);
    return it == fs_.files.end() ? "<missing>" : it->second;
  }
  std::string removed(const std::string& name) const {
    auto it = fs_.removed.find("out/" + name);
    return it == fs_.removed.end() ? "<not removed>" : it->second;
  }

  ScriptedFileSystem fs_;
  ConversionOptions options_{};
  OutputPluginPtr writer_;
};

using AscWriterEndFile = AscWriterInMemory;
using AscWriterHandleRecord = AscWriterInMemory;
using AscWriterNewFile = AscWriterInMemory;

}  // namespace

// ---------------------------------------------------------------------------
// Creation

TEST(AscWriterCreate, NullFilesystemOrOptionsGivesNull) {
  FileSystem fs{&kFileSystemBaseOps, "root"};
  ConversionOptions options{};
  EXPECT_EQ(asc_writer_create(nullptr, &fs, &options), nullptr);
  EXPECT_EQ(asc_writer_create(&fs, nullptr, &options), nullptr);
  EXPECT_EQ(asc_writer_create(&fs, &fs, nullptr), nullptr);

  OutputPluginPtr writer(asc_writer_create(&fs, &fs, &options));
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->input_fs, &fs);
  EXPECT_EQ(writer->output_fs, &fs);
  EXPECT_EQ(writer->options, &options);
  EXPECT_EQ(writer->ops->init, nullptr);
  EXPECT_EQ(writer->ops->handle_record, asc_writer_handle_record);
  EXPECT_EQ(writer->ops->new_file, asc_writer_new_file);
  EXPECT_EQ(writer->ops->end_file, asc_writer_end_file);
  EXPECT_EQ(writer->ops->destroy, asc_writer_destroy);
}

// ---------------------------------------------------------------------------
// Line formats

TEST_F(AscWriterEndFile, StandardIdentifierAboveFFFWidensTheIdentifierField) {
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 0x1ABC, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 1,
                                           .data = {0xAA}}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001.asc"),
            kMarch15Header2PM9 +
                "   0.000000 CANFD   1 Rx        1ABC                                   0 0 1  1 AA"
                "        0    0        0        0        0        0        0        0\n"
                "End Triggerblock\n");
}

TEST_F(AscWriterEndFile, CanFrameWithoutDataMeetsTheTailAfterItsLength) {
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 0x1, .ide = 0, .dir = 1,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001.asc"),
            kMarch15Header2PM9 +
                "   0.000000 CANFD   1 Tx        001                                   0 0 0  0"
                "        0    0        0        0        0        0        0        0\n"
                "End Triggerblock\n");
}

TEST_F(AscWriterEndFile, LinFrameWithoutDataEndsWithItsLength) {
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 0x3C, .dir = 1, .data = {}}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001_LIN.asc"),
            kMarch15Header2PM9 + "    0.000000 1 3c  Tx d 0\nEnd Triggerblock\n");
}

TEST_F(AscWriterEndFile, FlagBitsFillTheFlagsColumn) {
  struct Row {
    uint8_t edl, brs, esi;
    std::string_view middle;  // BRS, ESI, DLC, length, data
    std::string_view flags;   // the third column of the tail
  };
  const Row rows[] = {
      {1, 0, 0, "0 0 1  1 5A", "    1000"},
      {1, 1, 0, "1 0 1  1 5A", "    3000"},
      {1, 1, 1, "1 1 1  1 5A", "    7000"},
      {0, 0, 0, "0 0 1  1 5A", "       0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    ASSERT_TRUE(asc_writer_new_file(writer_.get(), kOutputPath, kStemLength, nullptr));
    ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 0x18FEF100, .ide = 1,
                                             .dir = 0, .edl = row.edl, .brs = row.brs,
                                             .esi = row.esi, .dlc = 1, .data = {0x5A}}));
    ASSERT_TRUE(end_file());
    std::string line =
        std::string("   0.000000 CANFD   1 Rx   18FEF100x                                  ") +
        std::string(row.middle) + "        0    0 " + std::string(row.flags) +
        "        0        0        0        0        0\n";
    EXPECT_EQ(file("logs/00000001.asc"), kMarch15Header2PM9 + line + "End Triggerblock\n");
  }
}

TEST_F(AscWriterEndFile, DateLineUsesTwelveHourClockAndPaddedYear) {
  struct Row {
    double time;
    std::string_view date;
  };
  const Row rows[] = {
      {1710460805.0, "date Fri Mar 15 12:00:05 AM 2024"},  // hour 0
      {1710505800.0, "date Fri Mar 15 12:30:00 PM 2024"},  // hour 12
      {1710547199.0, "date Fri Mar 15 11:59:59 PM 2024"},  // hour 23
      {kMarch15 + 0.999, "date Fri Mar 15 02:07:09 PM 2024"},
      {0.0, "date Thu Jan 01 12:00:00 AM 1970"},
      {-0.5, "date Thu Jan 01 12:00:00 AM 1970"},  // truncated toward zero, not down
      {-30628713600.0, "date Sat Jun 01 12:00:00 AM  999"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.date);
    ASSERT_TRUE(asc_writer_new_file(writer_.get(), kOutputPath, kStemLength, nullptr));
    ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = row.time, .id = 1, .dir = 0, .data = {}}));
    ASSERT_TRUE(end_file());
    EXPECT_EQ(file("logs/00000001_LIN.asc"),
              lines_of({row.date, "base hex  timestamps absolute", "Begin Triggerblock",
                        "    0.000000 1 1  Rx d 0", "End Triggerblock"}));
  }
}

TEST_F(AscWriterEndFile, FractionalFirstSecondDatesTheWholeSecondAndTimesFromTheExactStart) {
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15 + 0.75, .id = 1, .dir = 0,
                                           .data = {0x01}}));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15 + 1.25, .id = 2, .dir = 0,
                                           .data = {0x02}}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001_LIN.asc"),
            kMarch15Header2PM9 +
                lines_of({"    0.000000 1 1  Rx d 1 01", "    0.500000 1 2  Rx d 1 02",
                          "End Triggerblock"}));
}

// ---------------------------------------------------------------------------
// Order

TEST_F(AscWriterEndFile, OutOfOrderFramesComeOutSortedAndEqualTimesKeepInputOrder) {
  const uint32_t ids[] = {0x500, 0x300, 0x100, 0x200, 0x400};
  const double offsets[] = {2.0, 1.0, 1.0, 1.0, 0.5};
  for (size_t i = 0; i < 5; ++i) {
    ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15 + offsets[i], .id = ids[i],
                                             .ide = 0, .dir = 0, .edl = 0, .brs = 0, .esi = 0,
                                             .dlc = 0, .data = {}}));
  }
  ASSERT_TRUE(end_file());
  auto line = [](std::string_view time, std::string_view id) {
    return std::string(time) + " CANFD   1 Rx        " + std::string(id) +
           "                                   0 0 0  0" + std::string(kNoFlagsTail) + "\n";
  };
  // The earliest frame (0.5 s in) becomes the reference; the date line keeps
  // its whole second.
  EXPECT_EQ(file("logs/00000001.asc"),
            kMarch15Header2PM9 + line("   0.000000", "400") + line("   0.500000", "300") +
                line("   0.500000", "100") + line("   0.500000", "200") +
                line("   1.500000", "500") + "End Triggerblock\n");
}

TEST_F(AscWriterEndFile, ManyEqualTimesKeepInputOrderThroughTheSort) {
  // Enough frames that a sort which is not stable would be caught out.
  constexpr uint32_t kFrames = 300;
  for (uint32_t i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15 + (i * 7 % 3), .id = i, .dir = 0,
                                             .data = {}}));
  }
  ASSERT_TRUE(end_file());
  std::string expected = kMarch15Header2PM9;
  const char* times[] = {"    0.000000", "    1.000000", "    2.000000"};
  for (uint32_t second = 0; second < 3; ++second) {
    for (uint32_t i = 0; i < kFrames; ++i) {
      if (i * 7 % 3 != second) continue;
      char id[16];
      snprintf(id, sizeof id, "%x", i);
      expected += std::string(times[second]) + " 1 " + id + "  Rx d 0\n";
    }
  }
  expected += "End Triggerblock\n";
  EXPECT_EQ(file("logs/00000001_LIN.asc"), expected);
}

TEST_F(AscWriterEndFile, FramesOverSeveralBlocksKeepTheirBytesAndTheirOrder) {
  // Two and a half blocks, the last frame of the first block out of order.
  size_t per_block = asc_writer_frames_per_block_for_testing(false);
  size_t count = 2 * per_block + per_block / 2;
  std::vector<BusMessage> sorted(count);
  for (size_t i = 0; i < count; ++i) {
    size_t slot = i == per_block - 1 ? 0 : (i < per_block - 1 ? i + 1 : i);
    BusMessage& message = sorted[slot];
    bus_message_clear(&message);
    message.Timestamp = kMarch15 + 0.001 * static_cast<double>(slot);
    message.ID = static_cast<uint32_t>(0x100 + i);
    message.Kind = CAN_DataFrame;
    message.CAN.IDE = static_cast<uint8_t>(i % 2);
    message.CAN.BusChannel = 1;
    message.DataLength = i % 9;
    for (size_t b = 0; b < message.DataLength; ++b) {
      message.CAN.Payload[b] = static_cast<uint8_t>(i + b);
    }
    message.DataBytes = message.CAN.Payload;
    ASSERT_TRUE(asc_writer_handle_record(writer_.get(), &message));
  }
  ASSERT_TRUE(end_file());
  std::string expected = kMarch15Header2PM9;
  for (const BusMessage& message : sorted) {
    asc_writer_append_can_line_reference(&expected, message, kMarch15);
  }
  expected += "End Triggerblock\n";
  EXPECT_EQ(file("logs/00000001.asc"), expected);
}

TEST_F(AscWriterNewFile, NextFileKeepsItsFramesInFreshBlocks) {
  size_t per_block = asc_writer_frames_per_block_for_testing(false);
  for (size_t i = 0; i < per_block + 1; ++i) {
    ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                             .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  }
  ASSERT_TRUE(asc_writer_new_file(writer_.get(), kOutputPath, kStemLength, nullptr));
  // The blocks of the file before are gone, so its first frame needs one:
  // nothing a large file kept stays allocated for the files after it.
  asc_writer_fail_allocation_for_testing(0);
  EXPECT_FALSE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 2, .ide = 0, .dir = 0,
                                            .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
}

// ---------------------------------------------------------------------------
// Which files are written

TEST_F(AscWriterEndFile, NoCanOrLinFramesWritesNothingAndSucceeds) {
  LogCapture log;
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {},
                                           .kind = CAN_ErrorFrame}));
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 2, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {},
                                           .kind = BUS_MESSAGE_EMPTY}));
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 3, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {},
                                           .kind = 5}));
  EXPECT_TRUE(end_file());
  EXPECT_TRUE(fs_.opened.empty());
  EXPECT_TRUE(log.messages().empty());
}

TEST_F(AscWriterEndFile, OnlyLinFramesWriteOnlyTheLinFile) {
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(fs_.opened, std::vector<std::string>{"out/logs/00000001_LIN.asc flags 6"});
  EXPECT_EQ(fs_.files.size(), 1u);
}

TEST_F(AscWriterEndFile, OnlyCanFramesWriteOnlyTheCanFile) {
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(fs_.opened, std::vector<std::string>{"out/logs/00000001.asc flags 6"});
  EXPECT_EQ(fs_.files.size(), 1u);
}

TEST_F(AscWriterEndFile, StemIsTakenByLengthNotUpToTheExtension) {
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  // A stem shorter than the path's extension-less part, as for "a.b.txt".
  ASSERT_TRUE(asc_writer_end_file(writer_.get(), "day/a.b.txt", 7));
  EXPECT_EQ(fs_.opened, std::vector<std::string>{"out/day/a.b_LIN.asc flags 6"});
}

TEST_F(AscWriterNewFile, EmptiesBothListsWhileEndFileLeavesThem) {
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  ASSERT_TRUE(end_file());
  std::string first_can = file("logs/00000001.asc");
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001.asc"), first_can);
  EXPECT_EQ(fs_.opened.size(), 4u);

  EXPECT_TRUE(asc_writer_new_file(writer_.get(), "other/x.txt", 7, nullptr));
  EXPECT_TRUE(end_file());
  EXPECT_EQ(fs_.opened.size(), 4u);
}

// ---------------------------------------------------------------------------
// Intake failures

TEST_F(AscWriterHandleRecord, FailedListGrowthFailsTheFileAndWritesNothing) {
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  asc_writer_fail_allocation_for_testing(0);
  EXPECT_FALSE(feed(writer_.get(), CanFrame{.time = kMarch15 - 5, .id = 0x111, .ide = 0, .dir = 0,
                                            .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_TRUE(fs_.opened.empty()) << "neither part is written once a frame is lost";
}

TEST_F(AscWriterHandleRecord, FailedFrameCopyFailsTheFileAndWritesNothing) {
  // A full block of frames; the array of pointers still has room, so the
  // next allocation is the block for the next frame's copy.
  size_t per_block = asc_writer_frames_per_block_for_testing(true);
  for (size_t i = 0; i < per_block; ++i) {
    ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  }
  asc_writer_fail_allocation_for_testing(0);
  EXPECT_FALSE(feed(writer_.get(), LinFrame{.time = kMarch15 + 1, .id = 2, .dir = 0, .data = {}}));
  // A trace with a frame missing must not look complete: nothing is written.
  EXPECT_FALSE(end_file());
  EXPECT_EQ(file("logs/00000001_LIN.asc"), "<missing>");
  EXPECT_TRUE(fs_.opened.empty());

  // The next file starts afresh.
  ASSERT_TRUE(asc_writer_new_file(writer_.get(), "logs/00000001.txt", 14, nullptr));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001_LIN.asc"),
            kMarch15Header2PM9 + lines_of({"    0.000000 1 1  Rx d 0", "End Triggerblock"}));
}

TEST_F(AscWriterHandleRecord, FailedGrowthOfAFullListFailsTheFile) {
  // 64 frames fill the first array; the 65th needs a larger one.
  for (uint32_t i = 0; i < 64; ++i) {
    ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15 + i, .id = i, .dir = 0, .data = {}}));
  }
  asc_writer_fail_allocation_for_testing(0);
  EXPECT_FALSE(
      feed(writer_.get(), LinFrame{.time = kMarch15 + 64, .id = 64, .dir = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(file("logs/00000001_LIN.asc"), "<missing>");
  EXPECT_TRUE(fs_.opened.empty());
}

TEST_F(AscWriterHandleRecord, PayloadLongerThanItsKindHoldsIsRefused) {
  BusMessage can{};
  can.Kind = CAN_DataFrame;
  can.DataLength = CAN_PAYLOAD_CAPACITY + 1;
  EXPECT_FALSE(asc_writer_handle_record(writer_.get(), &can));
  BusMessage lin{};
  lin.Kind = LIN_Frame;
  lin.DataLength = LIN_PAYLOAD_CAPACITY + 1;
  EXPECT_FALSE(asc_writer_handle_record(writer_.get(), &lin));
  EXPECT_FALSE(end_file()) << "a refused frame fails the file";
  EXPECT_TRUE(fs_.opened.empty());
}

// ---------------------------------------------------------------------------
// Write failures: which message, and whether the file stays

TEST_F(AscWriterEndFile, ShortHeaderWriteRemovesTheFileWithoutLinesOrFooter) {
  LogCapture log;
  fs_.short_writes["out/logs/00000001.asc"] = {0};
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(log.messages(), std::vector<std::string>{"Could not write CAN header"});
  EXPECT_EQ(log.lines()[0].level, 'E');
  EXPECT_EQ(fs_.write_calls["out/logs/00000001.asc"], 1);
  // The header, short by its last byte.
  EXPECT_EQ(removed("logs/00000001.asc"),
            kMarch15Header2PM9.substr(0, kMarch15Header2PM9.size() - 1));
  EXPECT_EQ(file("logs/00000001.asc"), "<missing>");
  // The LIN part is not affected.
  EXPECT_EQ(file("logs/00000001_LIN.asc"),
            kMarch15Header2PM9 + "    0.000000 1 1  Rx d 0\nEnd Triggerblock\n");
}

TEST_F(AscWriterEndFile, ShortLineWriteStopsTheLinesButStillWritesTheFooter) {
  LogCapture log;
  fs_.short_writes["out/logs/00000001_LIN.asc"] = {2};  // header, first line, second line
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15 + i, .id = i, .dir = 0, .data = {}}));
  }
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(log.messages(), std::vector<std::string>{"Could not write LIN data"});
  EXPECT_EQ(removed("logs/00000001_LIN.asc"),
            kMarch15Header2PM9 + "    0.000000 1 0  Rx d 0\n    1.000000 1 1  Rx d 0" +
                "End Triggerblock\n");
  EXPECT_EQ(file("logs/00000001_LIN.asc"), "<missing>");
  // Whatever the LIN part does, the complete CAN file stays.
  EXPECT_NE(file("logs/00000001.asc"), "<missing>");
}

TEST_F(AscWriterEndFile, ShortFooterWriteRemovesTheFile) {
  LogCapture log;
  fs_.short_writes["out/logs/00000001_LIN.asc"] = {2};  // header, line, footer
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(log.messages(), std::vector<std::string>{"Could not write LIN footer"});
  EXPECT_EQ(file("logs/00000001_LIN.asc"), "<missing>");
  EXPECT_NE(removed("logs/00000001_LIN.asc"), "<not removed>");
}

TEST_F(AscWriterEndFile, FailedCloseRemovesTheFileSilently) {
  LogCapture log;
  fs_.close_results["out/logs/00000001.asc"] = -1;
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_TRUE(log.messages().empty());
  EXPECT_EQ(file("logs/00000001.asc"), "<missing>");
  EXPECT_NE(removed("logs/00000001.asc"), "<not removed>");
}

TEST_F(AscWriterEndFile, TimeWithoutUtcDateRemovesTheOpenedFile) {
  LogCapture log;
  // Too far out for a broken-down date, and no number at all.
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = 1e18, .id = 1, .ide = 0, .dir = 0, .edl = 0,
                                           .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = NAN, .id = 1, .dir = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{"Could not convert CAN time", "Could not convert LIN time"}));
  EXPECT_EQ(removed("logs/00000001.asc"), "");
  EXPECT_EQ(removed("logs/00000001_LIN.asc"), "");
  EXPECT_TRUE(fs_.files.empty());
}

TEST_F(AscWriterEndFile, TimesPastEveryPrintableYearFailTheirPart) {
  // The first has a broken-down date whose year no longer fits an int; the
  // others are out of any time_t's reach.
  for (double time : {6.7768036e16, -1e300, static_cast<double>(INFINITY)}) {
    SCOPED_TRACE(time);
    LogCapture log;
    ASSERT_TRUE(asc_writer_new_file(writer_.get(), kOutputPath, kStemLength, nullptr));
    ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = time, .id = 1, .dir = 0, .data = {}}));
    EXPECT_FALSE(end_file());
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Could not convert LIN time"});
    EXPECT_EQ(file("logs/00000001_LIN.asc"), "<missing>");
  }
}

TEST_F(AscWriterEndFile, UnopenableLinFileFailsTheCallAfterAGoodCanPart) {
  LogCapture log;
  fs_.unopenable.insert("out/logs/00000001_LIN.asc");
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 1, .dir = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(log.messages(),
            std::vector<std::string>{"Could not open output file for LIN: logs/00000001_LIN.asc"});
  EXPECT_NE(file("logs/00000001.asc"), "<missing>");
}

// ---------------------------------------------------------------------------
// On the disk

namespace {

class AscWriterEndFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "asc_writer_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    ASSERT_EQ(mkdir((root_ + "/logs").c_str(), 0700), 0);
    fs_.reset(filesystem_create(root_));
    ASSERT_NE(fs_, nullptr);
    writer_.reset(asc_writer_create(fs_.get(), fs_.get(), &options_));
    ASSERT_NE(writer_, nullptr);
  }
  void TearDown() override {
    writer_.reset();
    fs_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  bool end_file() { return asc_writer_end_file(writer_.get(), kOutputPath, kStemLength); }
  std::string path(const std::string& name) const { return root_ + "/" + name; }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool exists(const std::string& name) const {
    std::error_code ignored;
    return std::filesystem::symlink_status(path(name), ignored).type() !=
           std::filesystem::file_type::not_found;
  }

  std::string root_;
  ConversionOptions options_{};
  FileSystemPtr fs_;
  OutputPluginPtr writer_;
};

}  // namespace

TEST_F(AscWriterEndFileOnDisk, WorkedExampleGivesBothFilesByteForByte) {
  LogCapture log;
  const double t = kMarch15 + 0.5;  // 14:07:09.5
  ASSERT_TRUE(asc_writer_new_file(writer_.get(), kOutputPath, kStemLength, nullptr));
  ASSERT_TRUE(feed(writer_.get(),
                   CanFrame{.time = t + 0.125, .id = 0x18FEF100, .ide = 1, .dir = 0, .edl = 1,
                            .brs = 1, .esi = 0, .dlc = 9,
                            .data = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                                     0x0B, 0x0C}}));
  ASSERT_TRUE(feed(writer_.get(),
                   CanFrame{.time = t, .id = 0x123, .ide = 0, .dir = 0, .edl = 0, .brs = 0,
                            .esi = 0, .dlc = 8,
                            .data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}}));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = t + 0.75, .id = 0x3C, .dir = 0,
                                           .data = {0xA1, 0xB2}}));
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = t + 2.5, .id = 0x7FF, .ide = 0, .dir = 1,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {},
                                           .kind = CAN_RemoteFrame}));
  EXPECT_TRUE(end_file());

  EXPECT_EQ(read("logs/00000001.asc"),
            "date Fri Mar 15 02:07:09 PM 2024\n"
            "base hex  timestamps absolute\n"
            "Begin Triggerblock\n"
            "   0.000000 CANFD   1 Rx        123                                   0 0 8  8 11 22 "
            "33 44 55 66 77 88        0    0        0        0        0        0        0        0\n"
            "   0.125000 CANFD   1 Rx   18FEF100x                                  1 0 9 12 01 02 "
            "03 04 05 06 07 08 09 0A 0B 0C        0    0     3000        0        0        0      "
            "  0        0\n"
            "   2.500000 CANFD   1 Tx        7FF                                   0 0 0  0      "
            "  0    0        0        0        0        0        0        0\n"
            "End Triggerblock\n");
  EXPECT_EQ(read("logs/00000001_LIN.asc"),
            "date Fri Mar 15 02:07:10 PM 2024\n"
            "base hex  timestamps absolute\n"
            "Begin Triggerblock\n"
            "    0.000000 1 3c  Rx d 2 A1 B2\n"
            "End Triggerblock\n");
  EXPECT_TRUE(log.messages().empty());
}

TEST_F(AscWriterEndFileOnDisk, UnopenableCanFileLeavesTheLinFileInPlace) {
  LogCapture log;
  // A folder where the CAN file should go cannot be opened for writing.
  ASSERT_EQ(mkdir(path("logs/00000001.asc").c_str(), 0700), 0);
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  ASSERT_TRUE(feed(writer_.get(), LinFrame{.time = kMarch15, .id = 0x3C, .dir = 0,
                                           .data = {0xA1}}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(log.messages(),
            std::vector<std::string>{"Could not open output file for CAN: logs/00000001.asc"});
  EXPECT_TRUE(std::filesystem::is_directory(path("logs/00000001.asc")));
  EXPECT_EQ(read("logs/00000001_LIN.asc"),
            kMarch15Header2PM9 + "    0.000000 1 3c  Rx d 1 A1\nEnd Triggerblock\n");
}

TEST_F(AscWriterEndFileOnDisk, FullDeviceFailingAtCloseLeavesNoFile) {
  LogCapture log;
  // The few bytes of one frame wait in the stream's buffer, so the device
  // refuses them only when the stream is closed.
  ASSERT_EQ(symlink("/dev/full", path("logs/00000001.asc").c_str()), 0);
  ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15, .id = 1, .ide = 0, .dir = 0,
                                           .edl = 0, .brs = 0, .esi = 0, .dlc = 0, .data = {}}));
  EXPECT_FALSE(end_file());
  EXPECT_TRUE(log.messages().empty());
  EXPECT_FALSE(exists("logs/00000001.asc"));
}

TEST_F(AscWriterEndFileOnDisk, FullDeviceFailingInTheLinesReportsDataAndLeavesNoFile) {
  LogCapture log;
  // Far more text than the stream buffers, so a line write comes out short.
  ASSERT_EQ(symlink("/dev/full", path("logs/00000001.asc").c_str()), 0);
  for (uint32_t i = 0; i < 200; ++i) {
    ASSERT_TRUE(feed(writer_.get(), CanFrame{.time = kMarch15 + i, .id = i, .ide = 0, .dir = 0,
                                             .edl = 0, .brs = 0, .esi = 0, .dlc = 8,
                                             .data = {1, 2, 3, 4, 5, 6, 7, 8}}));
  }
  EXPECT_FALSE(end_file());
  ASSERT_FALSE(log.messages().empty());
  EXPECT_EQ(log.messages()[0], "Could not write CAN data");
  EXPECT_FALSE(exists("logs/00000001.asc"));
}
