// The per-file pipeline: which files are taken, the order of the plug-in's
// callbacks, the message sequence of every failure, the read buffer, and
// removal of converted inputs.
#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/exit_status.h"
#include "platform/filesystem.h"
#include "platform/stream.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/recording_plugin.h"
#include "support/temp_dir.h"

// Makes the streams that an input filesystem opens fail, as when a card is
// pulled out or meets an I/O error: their close after forwarding it, or
// their reads from the n-th one on (a read error is sticky). The open slot
// of the filesystem's table and the slots of each stream's table are
// swapped for ones that forward and then fail.
static const FileSystemOps* g_input_fs_ops;
static FileSystemOps g_bad_fs_ops;
static const StreamOps* g_input_stream_ops;
static StreamOps g_bad_stream_ops;
static bool g_bad_close;
static int64_t g_reads_before_error;  // negative: reads never fail

static int32_t bad_close(Stream* stream) {
  stream->ops = g_input_stream_ops;
  int32_t result = stream_close(stream);
  return g_bad_close ? -1 : result;
}

static int64_t bad_read(Stream* stream, void* destination, int64_t count) {
  if (g_reads_before_error == 0) return STREAM_READ_ERROR;
  if (g_reads_before_error > 0) --g_reads_before_error;
  return g_input_stream_ops->read(stream, destination, count);
}

static Stream* bad_open(FileSystem* fs, std::string_view path, int32_t flags) {
  Stream* stream = g_input_fs_ops->open(fs, path, flags);
  if (stream != nullptr) {
    g_input_stream_ops = stream->ops;
    g_bad_stream_ops = *stream->ops;
    g_bad_stream_ops.close = bad_close;
    g_bad_stream_ops.read = bad_read;
    stream->ops = &g_bad_stream_ops;
  }
  return stream;
}

static void make_input_fail(FileSystem* fs, bool bad_close, int64_t fail_read_at) {
  g_bad_close = bad_close;
  g_reads_before_error = fail_read_at;
  g_input_fs_ops = fs->ops;
  g_bad_fs_ops = *fs->ops;
  g_bad_fs_ops.open = bad_open;
  fs->ops = &g_bad_fs_ops;
}

namespace {

using Events = std::vector<std::string>;
using Messages = std::vector<std::string>;

const char kLog[] =
    "# Value separator: \";\"\n"
    "# Time: 20240315T101500\n"
    "# Time separator: \":\"\n"
    "# Time separator ms: \".\"\n"
    "Timestamp;Type;ID;Data\n"
    "10:15:00.123;0;123;0102\n"
    "10:15:01.000;1;18FF1234;11\n"
    "10:15:02.000;8;7DF;\n";

const Events kAllEvents = {"new_file out/a.txt out/a", "record 123", "record 18FF1234",
                           "record 7DF", "end_file out/a.txt out/a"};

/// One conversion of in/<name> into out/<name> in a fresh folder.
struct Case {
  std::string name = "a.txt";
  std::string log = kLog;
  int64_t buffer_size = -1;
  bool delete_converted = false;
  bool new_file_result = true;
  bool end_file_result = true;
  int64_t fail_record_at = -1;
  bool start_and_end_slots = true;
  bool fail_open = false;
  bool fail_remove = false;
  bool bad_close = false;
  int64_t fail_read_at = -1;  ///< the input's reads fail from this one (0-based) on
  int status = STATUS_OK;
  Events events = kAllEvents;
  Messages messages = {};
  bool input_kept = true;
  bool output_folder = true;  ///< made before the log is opened
};

/// Runs each case in a fresh folder and checks everything it expects.
void expect_conversions(const std::vector<Case>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.name);
    TempDir dir;
    dir.write("in/" + c.name, c.log);
    FileSystemPtr fs(filesystem_create(dir.path()));
    ASSERT_NE(fs, nullptr);
    auto failing = failing_filesystem_create(fs.get());
    if (c.fail_open) failing->fail_open.insert("in/" + c.name);
    if (c.fail_remove) failing->fail_remove.insert("in/" + c.name);
    make_input_fail(failing.get(), c.bad_close, c.fail_read_at);
    RecordingState state;
    state.new_file_result = c.new_file_result;
    state.end_file_result = c.end_file_result;
    state.fail_record_at = c.fail_record_at;
    state.with_new_file = state.with_end_file = c.start_and_end_slots;
    ConversionOptions options{};
    options.buffer_size = c.buffer_size;
    options.delete_converted = c.delete_converted;
    OutputPluginPtr plugin(recording_plugin_create(&state, failing.get(), fs.get(), &options));
    LogCapture log;
    EXPECT_EQ(convert_file(plugin.get(), "in/" + c.name, "out/" + c.name), c.status);
    EXPECT_EQ(state.events, c.events);
    EXPECT_EQ(log.messages(), c.messages);
    EXPECT_EQ(dir.exists("in/" + c.name), c.input_kept);
    EXPECT_EQ(dir.exists("out"), c.output_folder);
  }
}

Events events_of(const std::string& name, const std::string& stem) {
  std::string ends = "out/" + name + " " + stem;
  return {"new_file " + ends, "record 123", "record 18FF1234", "record 7DF", "end_file " + ends};
}

}  // namespace

TEST(ConvertFile, OnlyTxtInAnyCaseIsTakenAndItsStemNamesTheOutput) {
  expect_conversions({
      // Nothing is created for a skipped file.
      {.name = "a.csv", .events = {}, .output_folder = false},
      {.name = "README", .events = {}, .output_folder = false},
      {.name = "a.txt.bak", .events = {}, .output_folder = false},
      {.name = "a.", .events = {}, .output_folder = false},
      {.name = "b.TXT", .events = events_of("b.TXT", "out/b")},
      {.name = "c.Txt", .events = events_of("c.Txt", "out/c")},
      // A file named txt has no stem of its own: its folder names the output,
      // which goes beside that folder.
      {.name = "txt", .events = events_of("txt", "out"), .output_folder = false},
  });
}

TEST(ConvertFile, EveryOutcomeHasItsCallbacksMessagesAndStatus) {
  const std::string kFailed = "Error during conversion of in/a.txt";
  const Messages kRefused = {"Could not open log", kFailed};
  const Messages kClose = {"Could not close input file after conversion: in/a.txt", kFailed};
  const Messages kUnread = {"Could not read input file in/a.txt", kFailed};
  expect_conversions({
      // Every buffer size delivers the same records.
      {.buffer_size = 0}, {.buffer_size = 1}, {.buffer_size = 7}, {.buffer_size = 16},
      {.buffer_size = 1 << 20},
      // A header without data still starts and ends the file.
      {.log = "# Value separator: \";\"\nTimestamp;ID\n", .events = {kAllEvents[0], kAllEvents[4]}},
      // Without start and end slots the records alone decide.
      {.new_file_result = false, .start_and_end_slots = false,
       .events = {"record 123", "record 18FF1234", "record 7DF"}},
      // -d removes the input after a success; a failed removal is only logged.
      {.delete_converted = true, .input_kept = false},
      {.delete_converted = true, .fail_remove = true,
       .messages = {"Could not remove input file after conversion: in/a.txt"}},
      // An empty file, or one without header, is refused as a log; -d keeps
      // every input that failed.
      {.log = "", .delete_converted = true, .status = 8, .events = {}, .messages = kRefused},
      {.log = "no header here\n", .status = 8, .events = {}, .messages = kRefused},
      {.fail_open = true, .status = 8, .events = {},
       .messages = {"Could not open input file in/a.txt", kFailed}},
      {.buffer_size = INT64_C(0x3FFFFFFFFFFFFFF0), .status = 8, .events = {},
       .messages = {"Could not allocate buffer of size 4611686018427387888", kFailed}},
      // A failed new_file skips the records but not end_file.
      {.new_file_result = false, .status = 8,
       .events = {kAllEvents[0], kAllEvents[4] + " failed"},
       .messages = {"Error during new file callback", "Error during end file callback", kFailed}},
      {.fail_record_at = 1, .status = 8,
       .events = {kAllEvents[0], kAllEvents[1], kAllEvents[2], kAllEvents[4] + " failed"},
       .messages = {"Error during handle record callback", "Error during end file callback",
                    kFailed}},
      {.delete_converted = true, .end_file_result = false, .status = 8,
       .messages = {"Error during end file callback", kFailed}},
      // The input's close fails after end_file: the file fails, with or
      // without a buffer in front of it.
      {.delete_converted = true, .bad_close = true, .status = 8, .messages = kClose},
      {.buffer_size = 0, .delete_converted = true, .bad_close = true, .status = 8,
       .messages = kClose},
      {.buffer_size = 16, .delete_converted = true, .bad_close = true, .status = 8,
       .messages = kClose},
      // A read error is no end of the input: the plug-in drops the file and
      // -d keeps it; whether it meets the whole-file load, the header, a
      // buffered refill or a one-byte read.
      {.delete_converted = true, .fail_read_at = 0, .status = 8, .events = {},
       .messages = kUnread},
      {.buffer_size = 0, .fail_read_at = 30, .status = 8, .events = {}, .messages = kUnread},
      // The header is read twice (117 bytes, 8 refills of 16 each time),
      // then the first data line (24 bytes, 1 refill) is decoded whole.
      {.buffer_size = 16, .delete_converted = true, .fail_read_at = 17, .status = 8,
       .events = {kAllEvents[0], kAllEvents[1], kAllEvents[4] + " failed"},
       .messages = kUnread},
      {.buffer_size = 0, .delete_converted = true, .fail_read_at = 2 * 117 + 24 + 5, .status = 8,
       .events = {kAllEvents[0], kAllEvents[1], kAllEvents[4] + " failed"},
       .messages = kUnread},
  });
}
