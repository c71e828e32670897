// The trace writer's failures, which no run on a disk can stage: short writes, failed closes
// and flushes, lost frames, dates it cannot print. Golden cases and fuzz targets hold the text.
#include "output/trace_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "convert/output_registry.h"
#include "output/frame_store_internal.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"

namespace {

using Strings = std::vector<std::string>;

// 2024-03-15 12:07:09 UTC, the first hour that prints PM; the stem "t" names t.asc, t_LIN.asc.
constexpr double kNoon = 1710504429.0;
const std::string kHeader =
    "date Fri Mar 15 12:07:09 PM 2024\nbase hex  timestamps absolute\nBegin Triggerblock\n";
const std::string kCanLine =
    "   0.000000 CANFD   0 Rx        001                                   1 1 0  0        0    0"
    "     7000        0        0        0        0        0\n";
const std::string kCanTrace = kHeader + kCanLine + "End Triggerblock\n";
const std::string kLinTrace = kHeader + "    0.000000 0 1  Rx d 0\nEnd Triggerblock\n";
const std::string kCanTemp = ".t.asc." + std::to_string(getpid()) + ".tmp";
const std::string kRun = ".t." + std::to_string(getpid()) + ".run0";

// CAN frames carry every flag; `length` payload bytes count up from `id`.
bool feed(OutputPlugin* writer, uint32_t kind, double time = kNoon, uint32_t id = 1,
          size_t length = 0) {
  BusMessage message{};
  message.Kind = kind;
  message.Timestamp = time;
  message.ID = id;
  message.DataLength = length;
  uint8_t* payload = kind == LIN_Frame ? message.LIN.Payload : message.CAN.Payload;
  for (size_t b = 0; b < length; ++b) payload[b] = static_cast<uint8_t>(id + b);
  if (kind != LIN_Frame) message.CAN.EDL = message.CAN.BRS = message.CAN.ESI = 1;
  return writer->ops->handle_record(writer, &message) == RECORD_TAKEN;
}

// Writes to files in memory, t.asc and t_LIN.asc among them.
struct Writer {
  std::unique_ptr<FailingFileSystem> fs = failing_filesystem_create();
  ConversionOptions options{};
  std::unique_ptr<OutputRegistry, void (*)(OutputRegistry*)> registry{output_registry_create(),
                                                                      output_registry_destroy};
  OutputPluginPtr plugin;
  explicit Writer(bool delete_converted = false) {
    options.delete_converted = delete_converted;
    plugin.reset(trace_writer_create(fs.get(), fs.get(), &options, registry.get()));
    EXPECT_TRUE(start());
  }
  // Live: the frames go out as they come (and must come in order), else they are kept.
  bool start(bool live = false) {
    return plugin->ops->new_file(plugin.get(), "t.txt", 1, nullptr, live);
  }
  bool end(bool file_failed = false) {
    return plugin->ops->end_file(plugin.get(), "in.txt", "t.txt", 1, file_failed);
  }
  std::string file(const std::string& name) {
    return fs->files.count(name) != 0 ? fs->files[name].bytes : "<missing>";
  }
};

}  // namespace

TEST(TraceWriter, EachFailingStepRemovesItsPartAloneAndSaysWhy) {
  using Paths = std::set<std::string> FailingFileSystem::*;
  const Paths kOpen = &FailingFileSystem::fail_open, kFlush = &FailingFileSystem::fail_flush;
  const int64_t footer_at = static_cast<int64_t>(kHeader.size() + kCanLine.size());
  const struct {
    StreamRecord can_temp;
    Paths failing;  // fails at `path`; a flush is taken with -d only
    std::string path;
    Strings messages;
    int can_frames = 1;
  } rows[] = {
      // clang-format off
      {{.write_limit = 10}, nullptr, "", {"Could not write CAN header"}},
      {{.failing_write = 2}, nullptr, "", {"Could not write CAN data"}, 3000},  // then the footer
      {{.write_limit = footer_at + 16}, nullptr, "", {"Could not write CAN footer"}},
      {{.close_result = -1}, nullptr, "", {}},
      {{}, kOpen, kCanTemp, {"Could not open output file for CAN: t.asc"}},
      {{}, kFlush, kCanTemp, {}},
      {{}, kFlush, "", {}},  // whole and in place, but not known to be on the disk
      // clang-format on
  };
  for (const auto& row : rows)
    for (bool live : {false, true}) {  // the frames kept, or streamed
      Writer w(row.failing == kFlush);
      ASSERT_TRUE(w.start(live));
      if (row.failing) (w.fs.get()->*row.failing).insert(row.path);
      if (!row.failing) w.fs->files[kCanTemp] = row.can_temp;
      for (int i = 0; i < row.can_frames; ++i) ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
      ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame));
      LogCapture log;
      EXPECT_FALSE(w.end());
      EXPECT_EQ(log.messages(), row.messages);
      EXPECT_EQ(w.file("t.asc"),
                row.failing == kFlush && row.path.empty() ? kCanTrace : "<missing>");
      EXPECT_EQ(w.file(kCanTemp) + w.file("t_LIN.asc"), "<missing>" + kLinTrace);
      if (row.failing) (w.fs.get()->*row.failing).clear();  // and the next file is whole again
      EXPECT_TRUE(w.start() && feed(w.plugin.get(), CAN_DataFrame) && w.end());
      EXPECT_EQ(w.file("t.asc"), kCanTrace);
    }
  Writer w(true);
  EXPECT_TRUE(feed(w.plugin.get(), CAN_DataFrame) && w.end());
  EXPECT_EQ(w.fs->calls, (Strings{"open " + kCanTemp, "flush " + kCanTemp, "stat " + kCanTemp,
                                  "stat t.asc", "rename t.asc", "flush "}));
}

TEST(TraceWriter, TraceThatAnotherNameReachesIsNotReplacedByAnotherInputs) {
  Writer w;
  w.fs->fold_case = true;  // as on FAT, where Trip.asc and trip.asc are one file
  LogCapture log;
  std::string first;
  for (auto [input, id, written] : {std::tuple{"L/Trip.txt", 1, true},
                                    {"L/trip.txt", 2, false},
                                    {"L/Trip.txt", 3, true}}) {  // an input again replaces its own
    ASSERT_TRUE(w.plugin->ops->new_file(w.plugin.get(), input + 2, 4, nullptr, false) &&
                feed(w.plugin.get(), CAN_DataFrame, kNoon, id));
    EXPECT_EQ(w.plugin->ops->end_file(w.plugin.get(), input, input + 2, 4, false), written);
    if (id == 1) first = w.file("trip.asc");
    EXPECT_EQ(w.file("trip.asc") == first, id < 3);
    EXPECT_EQ(w.fs->files.size(), 1u);  // no temporary file stays
  }
  EXPECT_EQ(log.messages(), Strings{"Output of L/trip.txt would overwrite that of L/Trip.txt"});
}

TEST(TraceWriter, LostFrameFailsTheFileAndTheNextFileIsWholeAgain) {
  Writer w;
  LogCapture log;
  for (int can_frames : {0, 1024}) {  // the first allocation, and one as a chunk grows
    for (int i = 0; i < can_frames; ++i) ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
    frame_store_fail_allocation_for_testing(0);
    EXPECT_FALSE(feed(w.plugin.get(), LIN_Frame));
    EXPECT_FALSE(w.end());
    ASSERT_TRUE(w.start());
  }
  frame_store_set_chunk_frames_for_testing(1);
  w.fs->fail_open = {kRun};
  ASSERT_TRUE(w.start() && feed(w.plugin.get(), LIN_Frame));
  EXPECT_FALSE(feed(w.plugin.get(), LIN_Frame));
  EXPECT_FALSE(w.end());
  frame_store_set_chunk_frames_for_testing(2);
  w.fs->fail_open.clear();
  for (size_t cut : {40, 32}) {  // a run cut short in its second frame, or cleanly after its first
    ASSERT_TRUE(w.start());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame));
    w.fs->files[kRun].bytes.resize(cut);
    EXPECT_FALSE(w.end());
  }
  frame_store_set_chunk_frames_for_testing(0);
  frame_store_fail_allocation_for_testing(0);
  EXPECT_FALSE(w.start());
  EXPECT_FALSE(w.end());
  EXPECT_EQ(
      log.messages(),
      (Strings{"Out of memory while keeping frames", "Out of memory while keeping frames",
               "Could not write temporary file " + kRun, "Could not read temporary file " + kRun,
               "Could not read temporary file " + kRun}));
  EXPECT_TRUE(w.start() && feed(w.plugin.get(), CAN_DataFrame) &&
              feed(w.plugin.get(), LIN_Frame, kNoon, 0x3c, 2) && w.end());
  EXPECT_EQ(w.file("t.asc") + w.file("t_LIN.asc"),
            kCanTrace + kHeader + "    0.000000 0 3c  Rx d 2 3C 3D\nEnd Triggerblock\n");
  ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
  w.fs->files.clear();
  EXPECT_TRUE(w.end(true));  // dropped by the pipeline
  EXPECT_TRUE(w.fs->files.empty());
}

TEST(TraceWriter, SpilledRunsMergeToTheOrderOfOneChunk) {
  std::string traces[2];
  for (size_t chunk : {0, 3, 30}) {  // many runs, and a single one
    frame_store_set_chunk_frames_for_testing(chunk);
    Writer w;
    ASSERT_TRUE(w.start());
    for (uint32_t i = 0; i < 40; ++i) {  // three times out of order, payloads past 8 bytes too
      ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame, kNoon + (i * 7 + 1) % 3, i, i * 8 % 65));
      ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame, kNoon + (i * 7 + 1) % 3, i, i % 9));
    }
    ASSERT_TRUE(w.end());
    traces[chunk != 0] = w.file("t.asc") + w.file("t_LIN.asc");
    EXPECT_TRUE(chunk == 0 || traces[1] == traces[0]) << chunk;
    EXPECT_EQ(std::count(traces[0].begin(), traces[0].end(), '\n'), 2 * (3 + 40 + 1));  // all
    EXPECT_EQ(w.fs->files.size(), 2u);  // the runs are gone
  }
  frame_store_set_chunk_frames_for_testing(0);
}

TEST(TraceWriter, DateIsOfTheWholeSecondsAndItsLackFailsBothParts) {
  // clang-format off
  const std::pair<double, std::string> rows[] = {
      {-0.5, "Thu Jan 01 12:00:00 AM 1970"}, {-30628713600.0, "Sat Jun 01 12:00:00 AM  999"},
      {1e18, ""}, {6.77679762335328e16, ""}, {-1e300, ""}, {INFINITY, ""}, {NAN, ""}};
  // clang-format on
  const Strings kLost = {"Could not convert CAN time", "Could not convert LIN time"};
  for (const auto& [time, date] : rows) {
    Writer w;
    ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame, time) && feed(w.plugin.get(), LIN_Frame, time));
    LogCapture log;
    EXPECT_EQ(w.end(), !date.empty());
    EXPECT_EQ(w.file("t_LIN.asc"),
              date.empty() ? "<missing>" : "date " + date + kLinTrace.substr(32));
    EXPECT_EQ(log.messages(), date.empty() ? kLost : Strings{});
    EXPECT_EQ(w.fs->files.size(), date.empty() ? 0u : 2u) << time;
  }
}

TEST(TraceWriter, TimeAFormatCannotHoldFailsThatFormatAloneAndTheNextLogIsWhole) {
  Writer w;
  w.options.formats = FORMAT_ASC | FORMAT_BLF | FORMAT_LOG;
  w.plugin.reset(trace_writer_create(w.fs.get(), w.fs.get(), &w.options, w.registry.get()));
  LogCapture log;
  // The year 1336: before BLF's calendar and before candump's 1970, still an ASC date.
  for (double time : {-2e10, kNoon}) {
    ASSERT_TRUE(w.start() && feed(w.plugin.get(), CAN_DataFrame, time));
    EXPECT_EQ(w.end(), time == kNoon);
    EXPECT_EQ(w.fs->files.count("t.asc") + w.fs->files.count("t.blf") + w.fs->files.count("t.log"),
              time == kNoon ? 3u : 1u);
  }
  EXPECT_EQ(log.messages(),
            (Strings{"Could not convert BLF time", "Could not convert candump time"}));
}
