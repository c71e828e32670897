// The ASC writer's failures, which no run on a disk can stage: short writes,
// failed closes, flushes and renames, lost frames, and dates it cannot print.
// The text itself is held by the golden cases and the line builders' fuzz
// target.
#include "output/asc/asc_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "output/asc/asc_writer_internal.h"
#include "platform/filesystem.h"
#include "support/log_capture.h"
#include "support/memory_stream.h"

namespace {

using Strings = std::vector<std::string>;

// In memory: files as stream records; every step taken (and failed) is
// "<slot> <path>".
struct MemoryFileSystem : FileSystem {
  std::map<std::string, StreamRecord> files;  ///< a record put here first sets its faults
  std::set<std::string> failing;
  Strings steps;
};

// Records the step; true when it is to fail.
bool fails(FileSystem* fs, const char* slot, std::string_view path) {
  auto* self = static_cast<MemoryFileSystem*>(fs);
  self->steps.push_back(slot + (" " + std::string(path)));
  return self->failing.count(self->steps.back()) != 0;
}

Stream* memory_open(FileSystem* fs, std::string_view path, int32_t) {
  if (fails(fs, "open", path)) return nullptr;
  return memory_stream_create(&static_cast<MemoryFileSystem*>(fs)->files[std::string(path)]);
}

bool memory_rename(FileSystem* fs, std::string_view from, std::string_view to) {
  auto& files = static_cast<MemoryFileSystem*>(fs)->files;
  if (fails(fs, "rename", to)) return false;
  files[std::string(to)] = files[std::string(from)];
  return files.erase(std::string(from)) == 1;
}

bool memory_flush(FileSystem* fs, std::string_view path) { return !fails(fs, "flush", path); }

bool memory_remove(FileSystem* fs, std::string_view path) {
  return !fails(fs, "remove", path) &&
         static_cast<MemoryFileSystem*>(fs)->files.erase(std::string(path)) == 1;
}

const FileSystemOps kMemoryOps = {.release = nullptr, .stat = nullptr, .list = nullptr,
                                  .make_dir = nullptr, .remove = memory_remove,
                                  .open = memory_open, .rename = memory_rename,
                                  .flush = memory_flush};

// 2024-03-15 14:07:09 UTC; the stem "t" names t.asc and t_LIN.asc.
constexpr double kMarch15 = 1710511629.0;
const std::string kHeader =
    "date Fri Mar 15 02:07:09 PM 2024\nbase hex  timestamps absolute\nBegin Triggerblock\n";
const std::string kCanLine =
    "   0.000000 CANFD   0 Rx        001                                   1 1 0  0        0    0"
    "     7000        0        0        0        0        0\n";
const std::string kCanTrace = kHeader + kCanLine + "End Triggerblock\n";
const std::string kLinTrace = kHeader + "    0.000000 0 1  Rx d 0\nEnd Triggerblock\n";
const std::string kCanTemp = ".t.asc." + std::to_string(getpid()) + ".tmp";

// CAN frames carry every flag; `length` payload bytes count up from `id`.
bool feed(OutputPlugin* writer, uint32_t kind, double time = kMarch15, uint32_t id = 1,
          size_t length = 0) {
  BusMessage message{};
  message.Kind = kind;
  message.Timestamp = time;
  message.ID = id;
  message.DataLength = length;
  uint8_t* payload = kind == LIN_Frame ? message.LIN.Payload : message.CAN.Payload;
  for (size_t b = 0; b < length; ++b) payload[b] = static_cast<uint8_t>(id + b);
  if (kind != LIN_Frame) message.CAN.EDL = message.CAN.BRS = message.CAN.ESI = 1;
  return asc_writer_handle_record(writer, &message);
}

struct Writer {
  MemoryFileSystem fs;
  ConversionOptions options{};
  OutputPluginPtr plugin;
  explicit Writer(bool delete_converted = false) {
    fs.ops = &kMemoryOps;
    options.delete_converted = delete_converted;
    plugin.reset(asc_writer_create(&fs, &fs, &options));
  }
  bool end() { return asc_writer_end_file(plugin.get(), "t.txt", 1, false); }
  std::string file(const std::string& name) {
    return fs.files.count(name) != 0 ? fs.files[name].bytes : "<missing>";
  }
};

}  // namespace

TEST(AscWriter, EachFailingStepRemovesItsPartAloneAndSaysWhy) {
  const int64_t header = static_cast<int64_t>(kHeader.size());
  const int64_t lines = header + static_cast<int64_t>(kCanLine.size());
  const std::string kOpenFailed = "Could not open output file for CAN: t.asc";
  const struct {
    StreamRecord can_temp;  // the faults of the CAN part's temporary file
    bool delete_converted;
    std::string failing;    // a step of the filesystem
    Strings messages;
  } rows[] = {
      {{.write_limit = header - 1}, false, "", {"Could not write CAN header"}},
      // A failed line fails the file even when the footer goes out.
      {{.failing_write = 1}, false, "", {"Could not write CAN data"}},
      {{.write_limit = lines - 1}, false, "", {"Could not write CAN data", "Could not write CAN footer"}},
      {{.write_limit = lines + 16}, false, "", {"Could not write CAN footer"}},
      {{.close_result = -1}, false, "", {}},
      {{}, false, "open " + kCanTemp, {kOpenFailed}},
      {{}, true, "flush " + kCanTemp, {}},
      {{}, false, "rename t.asc", {kOpenFailed}},
      // Whole and in place, but not known to be on the disk: the input stays.
      {{}, true, "flush ", {}},
  };
  for (const auto& row : rows) {
    Writer w(row.delete_converted);
    w.fs.failing = {row.failing};
    if (row.failing.rfind("open", 0) != 0) w.fs.files[kCanTemp] = row.can_temp;
    ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
    ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame));
    LogCapture log;
    EXPECT_FALSE(w.end());
    EXPECT_EQ(log.messages(), row.messages);
    EXPECT_EQ(w.file("t.asc"), row.failing == "flush " ? kCanTrace : "<missing>");
    EXPECT_EQ(w.file(kCanTemp), "<missing>");
    EXPECT_EQ(w.file("t_LIN.asc"), kLinTrace);
  }
  // The same after lines that went out: a later batch fails the file.
  Writer big;
  big.fs.files[kCanTemp] = {.failing_write = 2};
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(feed(big.plugin.get(), CAN_DataFrame));
  LogCapture log;
  EXPECT_FALSE(big.end());
  EXPECT_EQ(log.messages(), Strings{"Could not write CAN data"});
  EXPECT_EQ(big.file("t.asc"), "<missing>");
  // With -d each trace reaches the disk before its rename, its folder after.
  Writer w(true);
  ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
  EXPECT_TRUE(w.end());
  EXPECT_EQ(w.fs.steps,
            (Strings{"open " + kCanTemp, "flush " + kCanTemp, "rename t.asc", "flush "}));
}

TEST(AscWriter, LostFrameFailsTheFileAndTheNextFileIsWholeAgain) {
  Writer w;
  LogCapture log;
  // The first allocation, and one after a chunk's growth.
  for (int successes : {0, 1}) {
    ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
    for (int i = 0; i < 1024 * successes; ++i) ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame));
    asc_writer_fail_allocation_for_testing(0);
    EXPECT_FALSE(feed(w.plugin.get(), LIN_Frame));
    EXPECT_FALSE(w.end());
  }
  // A payload longer than its kind holds, silently.
  for (uint32_t kind : {CAN_DataFrame, LIN_Frame}) {
    BusMessage too_long{};
    too_long.Kind = kind;
    too_long.DataLength = (kind == LIN_Frame ? LIN_PAYLOAD_CAPACITY : CAN_PAYLOAD_CAPACITY) + 1;
    EXPECT_FALSE(asc_writer_handle_record(w.plugin.get(), &too_long));
    EXPECT_FALSE(w.end());
  }
  // A chunk that cannot be spilled, and runs that cannot be named.
  frame_store_set_chunk_frames_for_testing(1);
  w.fs.failing = {"open .t_LIN.asc.run0"};
  ASSERT_TRUE(asc_writer_new_file(w.plugin.get(), "t.txt", 1, nullptr));
  ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame));
  EXPECT_FALSE(feed(w.plugin.get(), LIN_Frame));
  EXPECT_FALSE(w.end());
  frame_store_set_chunk_frames_for_testing(0);
  asc_writer_fail_allocation_for_testing(0);
  EXPECT_FALSE(asc_writer_new_file(w.plugin.get(), "t.txt", 1, nullptr));
  EXPECT_FALSE(w.end());
  EXPECT_EQ(log.messages(), (Strings{"Out of memory while keeping frames",
                                     "Out of memory while keeping frames",
                                     "Could not write temporary file .t_LIN.asc.run0"}));
  ASSERT_TRUE(asc_writer_new_file(w.plugin.get(), "t.txt", 1, nullptr));
  ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
  ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame));
  EXPECT_TRUE(w.end());
  EXPECT_EQ(w.file("t.asc"), kCanTrace);
  EXPECT_EQ(w.file("t_LIN.asc"), kLinTrace);
  // A file the pipeline drops writes nothing.
  ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame));
  w.fs.files.clear();
  EXPECT_TRUE(asc_writer_end_file(w.plugin.get(), "t.txt", 1, true));
  EXPECT_TRUE(w.fs.files.empty());
}

TEST(AscWriter, SpilledRunsMergeToTheOrderOfOneChunk) {
  // Three times fed out of order: equal times must keep their arrival order
  // across the runs as within one chunk.
  std::string traces[2];
  for (size_t chunk : {0, 3}) {
    frame_store_set_chunk_frames_for_testing(chunk);
    Writer w;
    ASSERT_TRUE(asc_writer_new_file(w.plugin.get(), "t.txt", 1, nullptr));
    for (uint32_t i = 0; i < 40; ++i) {
      // CAN payloads past 8 bytes are kept apart from their frames.
      ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame, kMarch15 + (i * 7 + 1) % 3, i, i % 13));
      ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame, kMarch15 + (i * 7 + 1) % 3, i, i % 9));
    }
    ASSERT_TRUE(w.end());
    traces[chunk == 3] = w.file("t.asc") + w.file("t_LIN.asc");
    EXPECT_EQ(w.fs.files.size(), 2u);  // the runs are gone
  }
  frame_store_set_chunk_frames_for_testing(0);
  EXPECT_EQ(traces[1], traces[0]);
}

TEST(AscWriter, DateLineHasTheTwelveHourClockAndFailsWithoutADate) {
  const struct {
    double time;
    std::string date;  // empty: both parts fail
  } rows[] = {
      {1710460805.0, "Fri Mar 15 12:00:05 AM 2024"}, {1710500399.0, "Fri Mar 15 10:59:59 AM 2024"},
      {1710500400.0, "Fri Mar 15 11:00:00 AM 2024"}, {1710505800.0, "Fri Mar 15 12:30:00 PM 2024"},
      {1710547199.0, "Fri Mar 15 11:59:59 PM 2024"}, {-0.5, "Thu Jan 01 12:00:00 AM 1970"},
      {-30628713600.0, "Sat Jun 01 12:00:00 AM  999"},
      // Past any time_t, a year too large for an int, no number at all.
      {1e18, ""}, {6.7768036e16, ""}, {-1e300, ""}, {INFINITY, ""}, {NAN, ""},
  };
  for (const auto& row : rows) {
    Writer w;
    ASSERT_TRUE(feed(w.plugin.get(), CAN_DataFrame, row.time));
    ASSERT_TRUE(feed(w.plugin.get(), LIN_Frame, row.time));
    LogCapture log;
    EXPECT_EQ(w.end(), !row.date.empty());
    std::string text = "date " + row.date + kLinTrace.substr(32);
    EXPECT_EQ(w.file("t_LIN.asc"), row.date.empty() ? "<missing>" : text) << row.time;
    if (row.date.empty()) {
      EXPECT_EQ(log.messages(), (Strings{"Could not convert CAN time", "Could not convert LIN time"}));
      EXPECT_EQ(w.fs.files.size(), 0u);
    }
  }
}
