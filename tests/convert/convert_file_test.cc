// The pipeline's and the walk's failures, which no run on a disk can stage:
// inputs that cannot be opened, read, closed, queried or removed, or that
// vanish after their folder is listed; buffers that cannot be allocated; and
// plug-in callbacks that fail, seen through a plug-in that records them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/convert_file.h"
#include "convert/convert_inputs.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"

namespace {

using Strings = std::vector<std::string>;

// The plug-in's callbacks as "new_file <path> <stem>", "record <ID hex>" and
// "end_file <path> <stem>[ failed]", and its answers.
struct RecordingState {
  Strings events{};
  bool new_file_result = true, end_file_result = true;
  bool with_file_slots = true;  // false: new_file and end_file are empty slots
  int64_t fail_record_at = -1, records_seen = 0;
  std::function<void()> after_first_end{};  // runs once, as the first file ends
};

struct RecordingPlugin : OutputPlugin {
  RecordingState* state;
};

RecordingState& state(OutputPlugin* p) { return *static_cast<RecordingPlugin*>(p)->state; }

std::string event(const char* name, std::string_view path, size_t stem) {
  return name + (" " + std::string(path)) + " " + std::string(path.substr(0, stem));
}

bool handle_record(OutputPlugin* plugin, const BusMessage* message) {
  char id[32];
  snprintf(id, sizeof id, "record %X", message->ID);
  state(plugin).events.push_back(id);
  return state(plugin).records_seen++ != state(plugin).fail_record_at;
}

bool new_file(OutputPlugin* plugin, std::string_view path, size_t stem, TextLogReader*) {
  state(plugin).events.push_back(event("new_file", path, stem));
  return state(plugin).new_file_result;
}

bool end_file(OutputPlugin* plugin, std::string_view path, size_t stem, bool file_failed) {
  RecordingState& recording = state(plugin);
  recording.events.push_back(event("end_file", path, stem) + (file_failed ? " failed" : ""));
  if (recording.after_first_end) std::exchange(recording.after_first_end, nullptr)();
  return recording.end_file_result;
}

const OutputPluginOps kWithFileSlots = {nullptr, nullptr, handle_record, new_file, end_file};
const OutputPluginOps kRecordsOnly = {nullptr, nullptr, handle_record, nullptr, nullptr};

StreamRecord g_input;
Stream* open_input(FileSystem*, std::string_view, int32_t) {
  return memory_stream_create(&g_input);
}

// The data lines start at bytes 117, 141 and 168.
const char kLog[] =
    "# Value separator: \";\"\n# Time: 20240315T101500\n# Time separator: \":\"\n"
    "# Time separator ms: \".\"\nTimestamp;Type;ID;Data\n"
    "10:15:00.123;0;123;0102\n10:15:01.000;1;18FF1234;11\n10:15:02.000;8;7DF;\n";
const Strings kAll = {"new_file out/a.txt out/a", "record 123", "record 18FF1234", "record 7DF",
                      "end_file out/a.txt out/a"};
const std::string kFailed = "Error during conversion of in/a.txt", kEnd = kAll[4] + " failed";
const Strings kUnread = {"Could not read input file in/a.txt", kFailed};
const Strings kUnclosed = {"Could not close input file after conversion: in/a.txt", kFailed};
const Strings kEndFailed = {"Error during end file callback", kFailed};

OutputPlugin* recording_plugin_create(RecordingState* state, FileSystem* input_fs,
                                      FileSystem* output_fs, ConversionOptions* options) {
  auto* plugin = static_cast<RecordingPlugin*>(calloc(1, sizeof(RecordingPlugin)));
  if (plugin == nullptr) return nullptr;
  plugin->ops = state->with_file_slots ? &kWithFileSlots : &kRecordsOnly;
  plugin->state = state;
  if (output_plugin_init(plugin, input_fs, output_fs, options)) return plugin;
  free(plugin);
  return nullptr;
}

}  // namespace

TEST(ConvertFile, EveryFailureHasItsCallbacksMessagesAndStatus) {
  const struct Case {
    StreamRecord input = {};
    int64_t buffer_size = -1;
    bool new_file = true, end_file = true, file_slots = true, fail_open = false,
         fail_remove = false;
    int64_t fail_record = -1;
    Strings events = {}, messages = {};
  } cases[] = {
      {.input = {.close_result = -1}, .events = kAll, .messages = kUnclosed},
      {.input = {.close_result = -1}, .buffer_size = 0, .events = kAll, .messages = kUnclosed},
      {.input = {.read_error_from = 0}, .messages = kUnread},
      {.input = {.read_error_from = 150},
       .buffer_size = 16,
       .events = {kAll[0], kAll[1], kEnd},
       .messages = kUnread},
      {.fail_open = true, .messages = {"Could not open input file in/a.txt", kFailed}},
      {.buffer_size = INT64_C(0x3FFFFFFFFFFFFFF0),
       .messages = {"Could not allocate buffer of size 4611686018427387888", kFailed}},
      {.new_file = false,
       .events = {kAll[0], kEnd},
       .messages = {"Error during new file callback", kEndFailed[0], kFailed}},
      {.fail_record = 1,
       .events = {kAll[0], kAll[1], kAll[2], kEnd},
       .messages = {"Error during handle record callback", kEndFailed[0], kFailed}},
      {.end_file = false, .events = kAll, .messages = kEndFailed},
      {.new_file = false, .file_slots = false, .events = {kAll[1], kAll[2], kAll[3]}},
      {.fail_remove = true,
       .events = kAll,
       .messages = {"Could not remove input file after conversion: in/a.txt"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.write("in/a.txt", "");
    FileSystemPtr disk(filesystem_create(dir.path()));
    auto input_fs = failing_filesystem_create(disk.get());
    FileSystemOps ops = *input_fs->ops;
    ops.open = open_input;
    if (!c.fail_open) input_fs->ops = &ops;
    input_fs->fail_open.insert("in/a.txt");
    if (c.fail_remove) input_fs->fail_remove.insert("in/a.txt");
    g_input = c.input;
    g_input.bytes = kLog;
    RecordingState state{.new_file_result = c.new_file,
                         .end_file_result = c.end_file,
                         .with_file_slots = c.file_slots,
                         .fail_record_at = c.fail_record};
    ConversionOptions options{.delete_converted = true,
                              .no_append_root = false,
                              .non_interactive = false,
                              .buffer_size = c.buffer_size};
    OutputPluginPtr plugin(recording_plugin_create(&state, input_fs.get(), disk.get(), &options));
    LogCapture log;
    bool failed = !c.messages.empty() && c.messages.back() == kFailed;
    EXPECT_EQ(convert_file(plugin.get(), "in/a.txt", "out/a.txt"),
              failed ? STATUS_CONVERSION_FAILED : STATUS_OK);
    EXPECT_EQ(state.events, c.events);
    EXPECT_EQ(log.messages(), c.messages);
    EXPECT_EQ(dir.exists("in/a.txt"), failed || c.fail_remove);
  }
  RecordingState state;
  EXPECT_EQ(recording_plugin_create(&state, nullptr, nullptr, nullptr), nullptr);
}

TEST(ConvertInputs, FailuresAreOredAndTheWalkGoesOn) {
  const std::string kA = "LOG_out/a.txt", kB = "LOG_out/b.txt", kC = "LOG_out/c.txt",
                    kX = "LOG_out/sub/x.txt", kLs = "I ls: LOG", kLsSub = "I ls: LOG/sub";
  const struct {
    Strings inputs;
    std::set<std::string> fail_stat, fail_open;
    std::string vanishing;  // removed as the first file ends
    int status;
    Strings ended, log;  // log: "<level letter> <message>"
  } walks[] = {
      {{"a.txt", "b.txt", "a.txt"},
       {"b.txt"},
       {},
       "",
       STATUS_INTERNAL_ERROR,
       {"a.txt"},
       {"F Could not query b.txt for information"}},
      {{"LOG"},
       {"LOG/a.txt"},
       {},
       "",
       STATUS_INTERNAL_ERROR,
       {kB, kC, kX},
       {kLs, "F Error during stat of LOG/a.txt, exiting", kLsSub}},
      {{"LOG"},
       {},
       {"LOG/b.txt"},
       "",
       STATUS_CONVERSION_FAILED,
       {kA, kC, kX},
       {kLs, "E Could not open input file LOG/b.txt", "E Error during conversion of LOG/b.txt",
        kLsSub}},
      {{"LOG"},
       {},
       {},
       "LOG/b.txt",
       STATUS_NOT_FOUND,
       {kA, kC, kX},
       {kLs, "W Could not find input file/folder LOG/b.txt", kLsSub}},
      {{"LOG"},
       {},
       {},
       "LOG/sub",
       STATUS_NOT_FOUND,
       {kA, kB, kC},
       {kLs, "W Could not find input file/folder LOG/sub"}},
  };
  for (const auto& walk : walks) {
    TempDir dir;
    for (const char* name :
         {"a.txt", "b.txt", "LOG/a.txt", "LOG/b.txt", "LOG/sub/x.txt", "LOG/c.txt"}) {
      dir.write(name, "# Value separator: \";\"\nTimestamp;ID\n0;1\n");
    }
    FileSystemPtr disk(filesystem_create(dir.path()));
    auto input_fs = failing_filesystem_create(disk.get());
    input_fs->fail_stat = walk.fail_stat;
    input_fs->fail_open = walk.fail_open;
    RecordingState state;
    if (!walk.vanishing.empty()) {
      state.after_first_end = [&] { std::filesystem::remove_all(dir.file(walk.vanishing)); };
    }
    ConversionOptions options{.delete_converted = true,
                              .no_append_root = false,
                              .non_interactive = false,
                              .buffer_size = -1};
    OutputPluginPtr plugin(recording_plugin_create(&state, input_fs.get(), disk.get(), &options));
    LogCapture log;
    EXPECT_EQ(convert_inputs(plugin.get(), walk.inputs), walk.status);
    Strings ended, lines;
    for (const std::string& event : state.events) {
      if (event.rfind("end_file ", 0) == 0)
        ended.push_back(event.substr(9, event.find(' ', 9) - 9));
    }
    for (const CapturedLine& line : log.lines()) lines.push_back(line.level + (" " + line.message));
    EXPECT_EQ(ended, walk.ended);
    EXPECT_EQ(lines, walk.log);
    for (const std::string& converted : ended) {
      EXPECT_FALSE(
          dir.exists(converted.rfind("LOG", 0) == 0 ? "LOG" + converted.substr(7) : converted));
    }
  }
}
