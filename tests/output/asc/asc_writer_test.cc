// The ASC writer through its plug-in callbacks: the exact text of the CAN and
// LIN files, frame order, and the keep-or-remove rule after every kind of
// failure. Failures are staged on a scripted in-memory filesystem; the worked
// example and a full device are checked on the disk.
#include "output/asc/asc_writer.h"

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "output/asc/asc_writer_internal.h"
#include "output/asc/frame_store.h"
#include "platform/filesystem.h"
#include "platform/stream.h"
#include "support/log_capture.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// 2024-03-15 14:07:09 UTC.
constexpr double kMarch15 = 1710511629.0;

// The input file's path on the output side; its stem is "logs/00000001".
constexpr std::string_view kOutputPath = "logs/00000001.txt";
constexpr size_t kStemLength = 13;

static const std::string kHeader =
    "date Fri Mar 15 02:07:09 PM 2024\n"
    "base hex  timestamps absolute\n"
    "Begin Triggerblock\n";
static const std::string kFooter = "End Triggerblock\n";
// The constant tail of a CANFD line after its data bytes, flags column 0.
static const std::string kTail =
    "        0    0        0        0        0        0        0        0\n";
// The lines of CanFrame{} and LinFrame{}.
static const std::string kCanLine =
    "   0.000000 CANFD   1 Rx        001                                   0 0 0  0" + kTail;
static const std::string kLinLine = "    0.000000 1 1  Rx d 0\n";

namespace {

struct CanFrame {
  double time = kMarch15;
  uint32_t id = 1;
  uint8_t ide = 0, dir = 0, edl = 0, brs = 0, esi = 0, dlc = 0;
  std::vector<uint8_t> data{};
  uint32_t kind = CAN_DataFrame;
};

struct LinFrame {
  double time = kMarch15;
  uint32_t id = 1;
  uint8_t dir = 0;
  std::vector<uint8_t> data{};
};

}  // namespace

/// Fills a zeroed record with one frame the way the reader does.
static void fill(BusMessage* message, const CanFrame& frame) {
  message->Timestamp = frame.time;
  message->ID = frame.id;
  message->Kind = frame.kind;
  message->CAN.IDE = frame.ide;
  message->CAN.Dir = frame.dir;
  message->CAN.EDL = frame.edl;
  message->CAN.BRS = frame.brs;
  message->CAN.ESI = frame.esi;
  message->CAN.Remote = frame.kind == CAN_RemoteFrame ? 1 : 0;
  message->CAN.BusChannel = 1;
  message->CAN.DLC = frame.dlc;
  std::copy(frame.data.begin(), frame.data.end(), message->CAN.Payload);
  message->DataLength = frame.data.size();
  message->DataBytes = frame.data.empty() ? nullptr : message->CAN.Payload;
}

static void fill(BusMessage* message, const LinFrame& frame) {
  message->Timestamp = frame.time;
  message->ID = frame.id;
  message->Kind = LIN_Frame;
  message->LIN.Dir = frame.dir;
  message->LIN.BusChannel = 1;
  message->LIN.ReceivedDataByteCount = static_cast<uint8_t>(frame.data.size());
  std::copy(frame.data.begin(), frame.data.end(), message->LIN.Payload);
  message->DataLength = frame.data.size();
  message->DataBytes = frame.data.empty() ? nullptr : message->LIN.Payload;
}

template <typename Frame>
static bool feed(OutputPlugin* writer, const Frame& frame) {
  BusMessage message{};
  fill(&message, frame);
  return asc_writer_handle_record(writer, &message);
}

// ---------------------------------------------------------------------------
// A filesystem in memory whose files can be told to take only so many bytes,
// to fail their close, flush or rename or not to open, and which records
// what is opened, flushed, renamed and removed.

namespace {

struct ScriptedFileSystem : FileSystem {
  std::map<std::string, int64_t> limits;  ///< bytes a file takes; -1: it does not open
  std::map<std::string, int32_t> close_results;
  std::map<std::string, StreamRecord> written;  ///< what each opened file took
  std::vector<std::string> opened;
  std::set<std::string> removed;
  std::set<std::string> fail_flush, fail_rename;
  std::vector<std::string> steps;  ///< "flush <path>", "rename <from> <to>"
};

}  // namespace

/// The name the writer writes `name` under until it is whole.
static std::string temporary(const std::string& name) {
  size_t slash = name.rfind('/') + 1;  // 0 without a slash
  return name.substr(0, slash) + "." + name.substr(slash) + "." + std::to_string(getpid()) +
         ".tmp";
}

static bool scripted_rename(FileSystem* fs, std::string_view from, std::string_view to) {
  auto* self = static_cast<ScriptedFileSystem*>(fs);
  self->steps.push_back("rename " + std::string(from) + " " + std::string(to));
  auto file = self->written.find(std::string(from));
  if (file == self->written.end() || self->fail_rename.count(std::string(to)) != 0) return false;
  self->written[std::string(to)] = file->second;
  self->written.erase(file);
  return true;
}

static bool scripted_flush(FileSystem* fs, std::string_view path) {
  auto* self = static_cast<ScriptedFileSystem*>(fs);
  self->steps.push_back("flush " + std::string(path));
  return self->fail_flush.count(std::string(path)) == 0;
}

static bool scripted_remove(FileSystem* fs, std::string_view path) {
  auto* self = static_cast<ScriptedFileSystem*>(fs);
  return self->written.count(std::string(path)) != 0 &&
         self->removed.insert(std::string(path)).second;
}

static Stream* scripted_open(FileSystem* fs, std::string_view path, int32_t) {
  auto* self = static_cast<ScriptedFileSystem*>(fs);
  std::string key(path);
  self->opened.push_back(key);
  auto limit = self->limits.find(key);
  if (limit != self->limits.end() && limit->second < 0) return nullptr;
  self->written[key] = StreamRecord{.write_limit = limit != self->limits.end() ? limit->second
                                                                             : INT64_MAX,
                                     .close_result = self->close_results[key]};
  return memory_stream_create(&self->written[key]);
}

static const FileSystemOps kScriptedFileSystemOps = {
    .release = nullptr,  // the fixture owns the object
    .stat = nullptr,     // the writer neither stats, lists nor creates folders
    .list = nullptr,
    .make_dir = nullptr,
    .remove = scripted_remove,
    .open = scripted_open,
    .rename = scripted_rename,
    .flush = scripted_flush,
};

namespace {

class AscWriterTest : public ::testing::Test {
 protected:
  AscWriterTest() { restart(); }
  ~AscWriterTest() override {
    asc_writer_fail_allocation_for_testing(-1);
    frame_store_set_chunk_frames_for_testing(0);
  }

  /// An empty filesystem and a new writer.
  void restart() {
    writer_.reset();
    fs_ = ScriptedFileSystem{};
    fs_.ops = &kScriptedFileSystemOps;
    fs_.root = "out";
    writer_.reset(asc_writer_create(&fs_, &fs_, &options_));
  }
  /// A new writer on a real folder holding "logs".
  void on_disk() {
    dir_.make_dir("logs");
    disk_.reset(filesystem_create(dir_.path()));
    ASSERT_NE(disk_, nullptr);
    writer_.reset(asc_writer_create(disk_.get(), disk_.get(), &options_));
  }
  template <typename Frame>
  bool keep(const Frame& frame) {
    return feed(writer_.get(), frame);
  }
  bool new_file() { return asc_writer_new_file(writer_.get(), kOutputPath, kStemLength, nullptr); }
  bool end_file() {
    return asc_writer_end_file(writer_.get(), kOutputPath, kStemLength, false);
  }
  /// The bytes of a file that was written and not removed.
  std::string file(const std::string& name) const {
    auto it = fs_.written.find("out/" + name);
    bool kept = it != fs_.written.end() && fs_.removed.count(it->first) == 0;
    return kept ? it->second.bytes : "<missing>";
  }
  /// The bytes the temporary file of `name` held when it was removed.
  std::string removed(const std::string& name) const {
    std::string key = "out/" + temporary(name);
    return fs_.removed.count(key) == 0 ? "<not removed>" : fs_.written.at(key).bytes;
  }

  ScriptedFileSystem fs_;
  TempDir dir_;
  FileSystemPtr disk_;
  ConversionOptions options_{};
  OutputPluginPtr writer_;
};

}  // namespace

// ---------------------------------------------------------------------------
// The text

TEST_F(AscWriterTest, IdentifiersLengthsAndFlagsFillTheirColumns) {
  ASSERT_TRUE(keep(CanFrame{.id = 0x1ABC, .dlc = 1, .data = {0xAA}}));
  ASSERT_TRUE(keep(CanFrame{.time = kMarch15 + 1, .dir = 1}));
  const struct { uint8_t edl, brs, esi; } flags[] = {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {0, 0, 0}};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(keep(CanFrame{.time = kMarch15 + 2 + i, .id = 0x18FEF100, .ide = 1,
                              .edl = flags[i].edl, .brs = flags[i].brs, .esi = flags[i].esi,
                              .dlc = 1, .data = {0x5A}}));
  }
  ASSERT_TRUE(keep(LinFrame{.id = 0x3C, .dir = 1}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001.asc"),
            kHeader +
            "   0.000000 CANFD   1 Rx        1ABC                                   0 0 1  1 AA" +
            kTail +
            "   1.000000 CANFD   1 Tx        001                                   0 0 0  0" +
            kTail +
            "   2.000000 CANFD   1 Rx   18FEF100x                                  0 0 1  1 5A"
            "        0    0     1000        0        0        0        0        0\n"
            "   3.000000 CANFD   1 Rx   18FEF100x                                  1 0 1  1 5A"
            "        0    0     3000        0        0        0        0        0\n"
            "   4.000000 CANFD   1 Rx   18FEF100x                                  1 1 1  1 5A"
            "        0    0     7000        0        0        0        0        0\n"
            "   5.000000 CANFD   1 Rx   18FEF100x                                  0 0 1  1 5A" +
            kTail + kFooter);
  EXPECT_EQ(file("logs/00000001_LIN.asc"), kHeader + "    0.000000 1 3c  Tx d 0\n" + kFooter);
}

TEST_F(AscWriterTest, DateLineUsesTwelveHourClockAndPaddedYear) {
  const struct {
    double time;
    std::string_view date;
  } rows[] = {
      {1710460805.0, "date Fri Mar 15 12:00:05 AM 2024"},  // hour 0
      {1710505800.0, "date Fri Mar 15 12:30:00 PM 2024"},  // hour 12
      {1710547199.0, "date Fri Mar 15 11:59:59 PM 2024"},  // hour 23
      {0.0, "date Thu Jan 01 12:00:00 AM 1970"},
      {-0.5, "date Thu Jan 01 12:00:00 AM 1970"},  // truncated toward zero, not down
      {-30628713600.0, "date Sat Jun 01 12:00:00 AM  999"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.date);
    ASSERT_TRUE(new_file());
    ASSERT_TRUE(keep(LinFrame{.time = row.time}));
    ASSERT_TRUE(end_file());
    EXPECT_EQ(file("logs/00000001_LIN.asc"),
              std::string(row.date) + "\nbase hex  timestamps absolute\nBegin Triggerblock\n" +
                  kLinLine + kFooter);
  }
}

TEST_F(AscWriterTest, FramesComeOutStablySortedAcrossChunksAndSpilledRuns) {
  // Frames at three times, fed out of order: a sort that is not stable is
  // caught out among this many, as is a merge that takes equal times from
  // the runs in the wrong order. Rows: chunk size (0: the built-in one),
  // frames fed. The earliest time has a fraction: the date line shows its
  // whole second, the lines count from the exact time.
  const struct {
    size_t chunk_frames, count;
  } rows[] = {{0, 40}, {1, 3}, {7, 7}, {7, 8}, {7, 40}};
  const double t0 = kMarch15 + 0.75;
  on_disk();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.chunk_frames * 1000 + row.count);
    frame_store_set_chunk_frames_for_testing(row.chunk_frames);
    ASSERT_TRUE(new_file());
    std::string can_lines[3];
    std::string lin_lines[3];
    for (uint32_t i = 0; i < row.count; ++i) {
      uint32_t second = (i * 7 + 1) % 3;
      // CAN payloads past 8 bytes live apart from their frames.
      std::vector<uint8_t> data(i % 13);
      for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<uint8_t>(i + b);
      CanFrame can{.time = t0 + second, .id = i, .ide = static_cast<uint8_t>(i % 2),
                   .dlc = static_cast<uint8_t>(data.size()), .data = data};
      data.resize(i % 9);
      LinFrame lin{.time = t0 + second, .id = i, .data = data};
      ASSERT_TRUE(keep(can));
      ASSERT_TRUE(keep(lin));
      BusMessage can_message{};
      fill(&can_message, can);
      asc_writer_append_can_line_reference(&can_lines[second], can_message, t0);
      BusMessage lin_message{};
      fill(&lin_message, lin);
      LinMessage lin_kept{};
      bus_message_copy_lin(&lin_message, &lin_kept);
      asc_writer_append_lin_line_reference(&lin_lines[second], lin_kept, t0);
    }
    ASSERT_TRUE(end_file());
    EXPECT_EQ(dir_.read("logs/00000001.asc"),
              kHeader + can_lines[0] + can_lines[1] + can_lines[2] + kFooter);
    EXPECT_EQ(dir_.read("logs/00000001_LIN.asc"),
              kHeader + lin_lines[0] + lin_lines[1] + lin_lines[2] + kFooter);
    // The runs are gone with the end of the file.
    EXPECT_FALSE(dir_.exists("logs/.00000001.asc.run0"));
    EXPECT_FALSE(dir_.exists("logs/.00000001_LIN.asc.run0"));
  }
}

// ---------------------------------------------------------------------------
// Which files are written

TEST_F(AscWriterTest, OnlyPartsWithFramesAreWrittenNamedByTheStem) {
  const struct {
    std::vector<uint32_t> kinds;
    std::string_view path;
    size_t stem_length;
    std::vector<std::string> opened;
  } rows[] = {
      {{CAN_ErrorFrame, BUS_MESSAGE_EMPTY, 5}, kOutputPath, kStemLength, {}},
      {{LIN_Frame}, kOutputPath, kStemLength, {"logs/00000001_LIN.asc"}},
      {{CAN_DataFrame}, kOutputPath, kStemLength, {"logs/00000001.asc"}},
      // A stem shorter than the path's extension-less part, as for "a.b.txt".
      {{LIN_Frame}, "day/a.b.txt", 7, {"day/a.b_LIN.asc"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    restart();
    LogCapture log;
    for (uint32_t kind : row.kinds) {
      ASSERT_TRUE(kind == LIN_Frame ? keep(LinFrame{}) : keep(CanFrame{.kind = kind}));
    }
    EXPECT_TRUE(asc_writer_end_file(writer_.get(), row.path, row.stem_length, false));
    std::vector<std::string> opened, steps;
    for (const std::string& name : row.opened) {
      opened.push_back("out/" + temporary(name));
      steps.push_back("rename out/" + temporary(name) + " out/" + name);
    }
    EXPECT_EQ(fs_.opened, opened);
    EXPECT_EQ(fs_.steps, steps);  // no flush without -d
    EXPECT_TRUE(log.messages().empty());
  }
}

// ---------------------------------------------------------------------------
// Failures

TEST_F(AscWriterTest, LostFrameFailsTheWholeFileUntilTheNextOne) {
  // The allocation that fails comes after this many LIN frames: the first
  // chunk array, its growth. The CAN frame kept before is not written
  // either: a trace with a frame missing must not look whole.
  for (size_t kept : {size_t{0}, size_t{1024}}) {
    SCOPED_TRACE(kept);
    ASSERT_TRUE(new_file());
    ASSERT_TRUE(keep(CanFrame{}));
    for (size_t i = 0; i < kept; ++i) ASSERT_TRUE(keep(LinFrame{}));
    asc_writer_fail_allocation_for_testing(0);
    LogCapture log;
    EXPECT_FALSE(keep(LinFrame{}));
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Out of memory while keeping frames"});
    EXPECT_FALSE(end_file());
  }
  // A payload longer than its kind holds is refused the same way.
  for (uint64_t capacity : {CAN_PAYLOAD_CAPACITY, LIN_PAYLOAD_CAPACITY}) {
    ASSERT_TRUE(new_file());
    BusMessage too_long{};
    too_long.Kind = capacity == LIN_PAYLOAD_CAPACITY ? LIN_Frame : CAN_DataFrame;
    too_long.DataLength = capacity + 1;
    EXPECT_FALSE(asc_writer_handle_record(writer_.get(), &too_long));
    EXPECT_FALSE(end_file());
  }
  // A file the pipeline drops is not written either.
  ASSERT_TRUE(new_file());
  ASSERT_TRUE(keep(CanFrame{}));
  EXPECT_TRUE(asc_writer_end_file(writer_.get(), kOutputPath, kStemLength, true));
  EXPECT_TRUE(fs_.opened.empty());

  // A run that cannot be spilled loses the frame the same way.
  frame_store_set_chunk_frames_for_testing(2);
  fs_.limits["out/logs/.00000001_LIN.asc.run0"] = -1;
  ASSERT_TRUE(new_file());
  ASSERT_TRUE(keep(LinFrame{}));
  ASSERT_TRUE(keep(LinFrame{}));
  {
    LogCapture log;
    EXPECT_FALSE(keep(LinFrame{}));
    EXPECT_EQ(log.messages(),
              std::vector<std::string>{"Could not write temporary file logs/.00000001_LIN.asc.run0"});
  }
  EXPECT_FALSE(end_file());
  frame_store_set_chunk_frames_for_testing(0);
  EXPECT_EQ(fs_.opened, std::vector<std::string>{"out/logs/.00000001_LIN.asc.run0"});

  // A new file whose runs cannot be named fails; the file after it is whole
  // again, without old frames.
  asc_writer_fail_allocation_for_testing(0);
  EXPECT_FALSE(new_file());
  EXPECT_FALSE(end_file());
  ASSERT_TRUE(new_file());
  ASSERT_TRUE(keep(CanFrame{}));
  ASSERT_TRUE(keep(LinFrame{}));
  ASSERT_TRUE(end_file());
  EXPECT_EQ(file("logs/00000001.asc"), kHeader + kCanLine + kFooter);
  EXPECT_EQ(file("logs/00000001_LIN.asc"), kHeader + kLinLine + kFooter);
}

TEST_F(AscWriterTest, FailedWriteOrCloseRemovesItsPartAndLeavesTheOther) {
  const std::string lin_lines[] = {"    0.000000 1 0  Rx d 0\n", "    1.000000 1 1  Rx d 0\n",
                                   "    2.000000 1 2  Rx d 0\n"};
  const std::string can_whole = kHeader + kCanLine + kFooter;
  const std::string lin_whole = kHeader + lin_lines[0] + lin_lines[1] + lin_lines[2] + kFooter;
  auto cut = [](const std::string& text) { return text.substr(0, text.size() - 1); };
  const struct {
    bool can;         // the failing part
    int64_t limit;    // the bytes its file takes; -1: it does not open
    int32_t close_result;
    std::vector<std::string> messages;
    std::string removed;  // what the part's temporary file held when removed
    bool fail_flush = false;   // with -d, of the temporary file
    bool fail_rename = false;
  } rows[] = {
      // Without its header a file gets no lines and no footer.
      {true, static_cast<int64_t>(kHeader.size()) - 1, 0, {"Could not write CAN header"},
       cut(kHeader)},
      // The footer is still tried after a failed line.
      {false, static_cast<int64_t>((kHeader + lin_lines[0] + lin_lines[1]).size()) - 1, 0,
       {"Could not write LIN data", "Could not write LIN footer"},
       kHeader + lin_lines[0] + cut(lin_lines[1])},
      {false, static_cast<int64_t>(lin_whole.size()) - 1, 0, {"Could not write LIN footer"},
       cut(lin_whole)},
      // Buffered bytes may fail only at the close; that has no message.
      {true, INT64_MAX, -1, {}, can_whole},
      {true, -1, 0, {"Could not open output file for CAN: logs/00000001.asc"}, "<not removed>"},
      // A whole file that cannot be flushed (-d) or take its final name.
      {true, INT64_MAX, 0, {}, can_whole, true},
      {false, INT64_MAX, 0, {"Could not open output file for LIN: logs/00000001_LIN.asc"},
       lin_whole, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.removed);
    options_.delete_converted = row.fail_flush;
    restart();
    std::string failing = row.can ? "logs/00000001.asc" : "logs/00000001_LIN.asc";
    fs_.limits["out/" + temporary(failing)] = row.limit;
    fs_.close_results["out/" + temporary(failing)] = row.close_result;
    if (row.fail_flush) fs_.fail_flush.insert("out/" + temporary(failing));
    if (row.fail_rename) fs_.fail_rename.insert("out/" + failing);
    ASSERT_TRUE(keep(CanFrame{}));
    for (uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(keep(LinFrame{.time = kMarch15 + i, .id = i}));
    LogCapture log;
    EXPECT_FALSE(end_file());
    EXPECT_EQ(log.messages(), row.messages);
    for (const CapturedLine& line : log.lines()) EXPECT_EQ(line.level, 'E');
    EXPECT_EQ(file(failing), "<missing>");
    EXPECT_EQ(removed(failing), row.removed);
    if (row.can) {
      EXPECT_EQ(file("logs/00000001_LIN.asc"), lin_whole);
    } else {
      EXPECT_EQ(file("logs/00000001.asc"), can_whole);
    }
  }
}

TEST_F(AscWriterTest, DeleteConvertedFlushesTheTraceBeforeItsRenameAndItsFolderAfter) {
  options_.delete_converted = true;
  restart();
  ASSERT_TRUE(keep(CanFrame{}));
  const std::string kTemporary = "out/" + temporary("logs/00000001.asc");
  const std::vector<std::string> kSteps = {
      "flush " + kTemporary, "rename " + kTemporary + " out/logs/00000001.asc", "flush out/logs/"};
  EXPECT_TRUE(end_file());
  EXPECT_EQ(fs_.steps, kSteps);
  // The trace is whole and in place, but not known to be on the disk: the
  // file fails, so that its input is kept.
  restart();
  fs_.fail_flush.insert("out/logs/");
  ASSERT_TRUE(keep(CanFrame{}));
  EXPECT_FALSE(end_file());
  EXPECT_EQ(fs_.steps, kSteps);
  EXPECT_EQ(file("logs/00000001.asc"), kHeader + kCanLine + kFooter);
}

TEST_F(AscWriterTest, TimeWithoutPrintableDateRemovesBothOpenedFiles) {
  // Past any time_t, a year too large for an int, no number at all.
  for (double time : {1e18, 6.7768036e16, -1e300, static_cast<double>(INFINITY),
                      static_cast<double>(NAN)}) {
    SCOPED_TRACE(time);
    restart();
    ASSERT_TRUE(keep(CanFrame{.time = time}));
    ASSERT_TRUE(keep(LinFrame{.time = time}));
    LogCapture log;
    EXPECT_FALSE(end_file());
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"Could not convert CAN time",
                                                        "Could not convert LIN time"}));
    EXPECT_EQ(removed("logs/00000001.asc"), "");
    EXPECT_EQ(removed("logs/00000001_LIN.asc"), "");
  }
}

// ---------------------------------------------------------------------------
// On the disk

TEST_F(AscWriterTest, WorkedExampleGivesBothFilesOnTheDiskByteForByte) {
  on_disk();
  LogCapture log;
  const double t = kMarch15 + 0.5;  // 14:07:09.5
  ASSERT_TRUE(keep(CanFrame{.time = t + 0.125, .id = 0x18FEF100, .ide = 1, .edl = 1, .brs = 1,
                            .dlc = 9, .data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}));
  ASSERT_TRUE(keep(CanFrame{.time = t, .id = 0x123, .dlc = 8,
                            .data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}}));
  ASSERT_TRUE(keep(LinFrame{.time = t + 0.75, .id = 0x3C, .data = {0xA1, 0xB2}}));
  ASSERT_TRUE(keep(CanFrame{.time = t + 2.5, .id = 0x7FF, .dir = 1, .kind = CAN_RemoteFrame}));
  EXPECT_TRUE(end_file());

  EXPECT_EQ(dir_.read("logs/00000001.asc"),
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
  EXPECT_EQ(dir_.read("logs/00000001_LIN.asc"),
            "date Fri Mar 15 02:07:10 PM 2024\n"
            "base hex  timestamps absolute\n"
            "Begin Triggerblock\n"
            "    0.000000 1 3c  Rx d 2 A1 B2\n"
            "End Triggerblock\n");
  EXPECT_TRUE(log.messages().empty());
}

TEST_F(AscWriterTest, FullDeviceFailingInTheLinesKeepsTheEarlierTraceAndTheOtherPartStays) {
  on_disk();
  LogCapture log;
  dir_.write("logs/00000001.asc", "an earlier run's trace");
  // Far more text than the stream buffers, so a line write comes out short.
  ASSERT_EQ(symlink("/dev/full", dir_.file(temporary("logs/00000001.asc")).c_str()), 0);
  for (uint32_t i = 0; i < 200; ++i) {
    ASSERT_TRUE(keep(CanFrame{.time = kMarch15 + i, .id = i, .dlc = 8,
                              .data = {1, 2, 3, 4, 5, 6, 7, 8}}));
  }
  ASSERT_TRUE(keep(LinFrame{.id = 0x3C, .data = {0xA1}}));
  EXPECT_FALSE(end_file());
  ASSERT_FALSE(log.messages().empty());
  EXPECT_EQ(log.messages()[0], "Could not write CAN data");
  EXPECT_EQ(dir_.read("logs/00000001.asc"), "an earlier run's trace");
  EXPECT_FALSE(dir_.exists(temporary("logs/00000001.asc")));
  EXPECT_EQ(dir_.read("logs/00000001_LIN.asc"),
            kHeader + "    0.000000 1 3c  Rx d 1 A1\n" + kFooter);
}
