// The per-file pipeline's failures, which no run on a disk can stage: an
// input that cannot be opened, read or closed, a buffer that cannot be
// allocated, failing plug-in callbacks, and a failed removal under -d.
#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "platform/filesystem.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/memory_stream.h"
#include "support/recording_plugin.h"
#include "support/temp_dir.h"

namespace {

using Strings = std::vector<std::string>;

StreamRecord g_input;
Stream* open_input(FileSystem*, std::string_view, int32_t) { return memory_stream_create(&g_input); }

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

}  // namespace

TEST(ConvertFile, EveryFailureHasItsCallbacksMessagesAndStatus) {
  const struct Case {
    StreamRecord input = {};
    int64_t buffer_size = -1;
    bool new_file = true, end_file = true, file_slots = true, fail_open = false, fail_remove = false;
    int64_t fail_record = -1;
    Strings events = {}, messages = {};
  } cases[] = {
      {.input = {.close_result = -1}, .events = kAll, .messages = kUnclosed},
      {.input = {.close_result = -1}, .buffer_size = 0, .events = kAll, .messages = kUnclosed},
      {.input = {.read_error_from = 0}, .messages = kUnread},
      {.input = {.read_error_from = 150}, .buffer_size = 16, .events = {kAll[0], kAll[1], kEnd},
       .messages = kUnread},
      {.fail_open = true, .messages = {"Could not open input file in/a.txt", kFailed}},
      {.buffer_size = INT64_C(0x3FFFFFFFFFFFFFF0),
       .messages = {"Could not allocate buffer of size 4611686018427387888", kFailed}},
      {.new_file = false, .events = {kAll[0], kEnd},
       .messages = {"Error during new file callback", kEndFailed[0], kFailed}},
      {.fail_record = 1, .events = {kAll[0], kAll[1], kAll[2], kEnd},
       .messages = {"Error during handle record callback", kEndFailed[0], kFailed}},
      {.end_file = false, .events = kAll, .messages = kEndFailed},
      {.new_file = false, .file_slots = false, .events = {kAll[1], kAll[2], kAll[3]}},
      {.fail_remove = true, .events = kAll,
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
    RecordingState state{.new_file_result = c.new_file, .end_file_result = c.end_file,
                         .with_file_slots = c.file_slots, .fail_record_at = c.fail_record};
    ConversionOptions options{.delete_converted = true, .no_append_root = false,
                              .non_interactive = false, .buffer_size = c.buffer_size};
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
