// The pipeline's failures, which no run on a disk can stage: inputs that cannot be read or
// closed, buffers not allocated, plug-in callbacks that fail or are absent, seen by a recorder.
#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"

namespace {

using Strings = std::vector<std::string>;

// Notes its callbacks as "new", the record's ID in hex, and "end" or "end!"
// (the file failed); new_file answers `new_file_result`, the record
// numbered `fail_record_at` fails, every record with the ID `restart_id`
// asks for the file again, and end_file may grow the input.
struct RecordingPlugin : OutputPlugin {
  std::string events;
  bool new_file_result, grow_at_end;
  int64_t fail_record_at, records_seen;
  uint32_t restart_id;
};

RecordingPlugin& note(OutputPlugin* plugin, const std::string& event) {
  auto& self = *static_cast<RecordingPlugin*>(plugin);
  self.events += (self.events.empty() ? "" : " ") + event;
  return self;
}

RecordResult handle_record(OutputPlugin* plugin, const BusMessage* message) {
  char id[16];
  snprintf(id, sizeof id, "%X", message->ID);
  RecordingPlugin& self = note(plugin, id);
  if (message->ID == self.restart_id) return RECORD_RESTART;
  return self.records_seen++ != self.fail_record_at ? RECORD_TAKEN : RECORD_FAILED;
}

bool new_file(OutputPlugin* plugin, std::string_view, size_t, TextLogReader*, bool) {
  return note(plugin, "new").new_file_result;
}

bool end_file(OutputPlugin* plugin, std::string_view input, std::string_view, size_t, bool failed) {
  if (note(plugin, failed ? "end!" : "end").grow_at_end) {
    static_cast<FailingFileSystem*>(plugin->input_fs)->files[std::string(input)].bytes += "\n";
  }
  return true;
}

const OutputPluginOps kWithFileSlots = {nullptr, nullptr, handle_record, new_file, end_file};
const OutputPluginOps kRecordsOnly = {nullptr, nullptr, handle_record, nullptr, nullptr};

// The data lines start at bytes 117, 141 and 168.
const char kLog[] =
    "# Value separator: \";\"\n# Time: 20240315T101500\n# Time separator: \":\"\n"
    "# Time separator ms: \".\"\nTimestamp;Type;ID;Data\n"
    "10:15:00.123;0;123;0102\n10:15:01.000;1;18FF1234;11\n10:15:02.000;8;7DF;\n";
const std::string kUnread = "Could not read input file in/a.txt";
const std::string kUnclosed = "Could not close input file after conversion: in/a.txt";
const std::string kNewFailed = "Error during new file callback";
const std::string kRecordFailed = "Error during handle record callback";
const std::string kEndFailed = "Error during end file callback";
const std::string kChanged = "Input file changed while it was converted: in/a.txt";

}  // namespace

TEST(ConvertFile, EveryFailureHasItsCallbacksMessagesAndStatus) {
  const struct Case {
    StreamRecord input = {};
    int64_t buffer = -1;
    bool new_file = true, file_slots = true, grow_at_end = false;
    int64_t fail_record = -1;
    uint32_t restart_id = 0;
    std::string events = "";
    Strings log = {};  // then "Error during conversion of in/a.txt"
  } cases[] = {
      // clang-format off
      {.input = {.close_result = -1}, .events = "new 123 18FF1234 7DF end", .log = {kUnclosed}},
      {.input = {.read_error_from = 0}, .log = {kUnread}},
      {.input = {.read_error_from = 150}, .buffer = 16, .events = "new 123 end!", .log = {kUnread}},
      // grown while it was read (a cut line at its end), or while its traces were written
      {.input = {.appended_at_end = "10:15:03.0"}, .events = "new 123 18FF1234 7DF end!",
       .log = {kChanged}},
      {.grow_at_end = true, .events = "new 123 18FF1234 7DF end", .log = {kChanged}},
      {.buffer = INT64_MAX / 2, .log = {"Could not allocate buffer of size 4611686018427387903"}},
      {.new_file = false, .events = "new end!", .log = {kNewFailed, kEndFailed}},
      {.fail_record = 1, .events = "new 123 18FF1234 end!", .log = {kRecordFailed, kEndFailed}},
      {.new_file = false, .file_slots = false, .events = "123 18FF1234 7DF"},
      // Once per file only: a second restart fails it.
      {.restart_id = 0x18FF1234, .events = "new 123 18FF1234 123 18FF1234 end!",
       .log = {kRecordFailed, kEndFailed}},
      // clang-format on
  };
  for (const Case& c : cases) {
    auto fs = failing_filesystem_create();
    fs->files["in/a.txt"] = c.input;
    fs->files["in/a.txt"].bytes = kLog;
    RecordingPlugin plugin{};
    plugin.ops = c.file_slots ? &kWithFileSlots : &kRecordsOnly;
    plugin.new_file_result = c.new_file;
    plugin.grow_at_end = c.grow_at_end;
    plugin.fail_record_at = c.fail_record;
    plugin.restart_id = c.restart_id;
    ConversionOptions options{true, false, false, c.buffer, FORMAT_ASC, 1};  // -d
    ASSERT_TRUE(output_plugin_init(&plugin, fs.get(), fs.get(), &options));
    LogCapture log;
    bool failed = !c.log.empty();
    EXPECT_EQ(convert_file(&plugin, "in/a.txt", "out/a.txt"),
              failed ? STATUS_CONVERSION_FAILED : STATUS_OK);
    EXPECT_EQ(plugin.events, c.events);
    Strings messages = c.log;
    if (failed) messages.push_back("Error during conversion of in/a.txt");
    EXPECT_EQ(log.messages(), messages);
    EXPECT_EQ(fs->files.count("in/a.txt"), failed ? 1u : 0u);
  }
  RecordingPlugin plugin{};
  EXPECT_FALSE(output_plugin_init(&plugin, nullptr, nullptr, nullptr));
}
