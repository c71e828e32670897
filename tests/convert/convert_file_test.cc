// The per-file pipeline: which files are taken, the order of the plug-in's
// callbacks, the message sequence of every failure, the read buffer, and
// removal of converted inputs.
#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include "convert/conversion_options.h"
#include "platform/filesystem.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/recording_plugin.h"
#include "support/temp_dir.h"

namespace {

const char kLog[] =
    "# Value separator: \";\"\n"
    "# Time: 20240315T101500\n"
    "# Time separator: \":\"\n"
    "# Time separator ms: \".\"\n"
    "Timestamp;Type;ID;Data\n"
    "10:15:00.123;0;123;0102\n"
    "10:15:01.000;1;18FF1234;11\n"
    "10:15:02.000;8;7DF;\n";

class ConvertFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs_.reset(filesystem_create(dir_.path()));
    ASSERT_NE(fs_, nullptr);
    options_.buffer_size = -1;
  }

  int convert(std::string_view input, std::string_view output, FileSystem* input_fs = nullptr) {
    OutputPluginPtr plugin(recording_plugin_create(
        &state_, input_fs != nullptr ? input_fs : fs_.get(), fs_.get(), &options_));
    return convert_file(plugin.get(), input, output);
  }

  TempDir dir_;
  FileSystemPtr fs_;
  ConversionOptions options_{};
  RecordingState state_;
};

using Events = std::vector<std::string>;
using Messages = std::vector<std::string>;

TEST_F(ConvertFileTest, OnlyTxtInAnyCaseIsConverted) {
  for (const char* name : {"a.csv", "README", "a.txt.bak", "a."}) {
    dir_.write(std::string("in/") + name, kLog);
    LogCapture log;
    EXPECT_EQ(convert(std::string("in/") + name, std::string("out/") + name), STATUS_OK) << name;
    EXPECT_TRUE(log.messages().empty()) << name;
  }
  EXPECT_TRUE(state_.events.empty());
  EXPECT_FALSE(dir_.exists("out")) << "nothing is created for a skipped file";

  for (const char* name : {"b.txt", "c.TXT", "d.Txt"}) {
    dir_.write(std::string("in/") + name, kLog);
    EXPECT_EQ(convert(std::string("in/") + name, std::string("out/") + name), STATUS_OK);
  }
  EXPECT_EQ(state_.events.size(), 3u * 5u);
}

TEST_F(ConvertFileTest, CallbacksSeeOutputPathStemAndRecordsInFileOrder) {
  dir_.write("logs/day1/trace.txt", kLog);
  EXPECT_EQ(convert("logs/day1/trace.txt", "logs_out/day1/trace.txt"), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"new_file logs_out/day1/trace.txt logs_out/day1/trace",
                                   "record 123", "record 18FF1234", "record 7DF",
                                   "end_file logs_out/day1/trace.txt logs_out/day1/trace"}));
  EXPECT_TRUE(dir_.exists("logs_out/day1")) << "the output folder is made before the plug-in runs";
}

TEST_F(ConvertFileTest, FileNamedTxtTakesItsFolderAsStem) {
  dir_.write("logs/TXT", kLog);
  EXPECT_EQ(convert("logs/TXT", "logs_out/TXT"), STATUS_OK);
  EXPECT_EQ(state_.events.front(), "new_file logs_out/TXT logs_out");
}

TEST_F(ConvertFileTest, EveryBufferSizeDeliversTheSameRecords) {
  dir_.write("a.txt", kLog);
  Events first;
  for (int64_t size : {-1, 0, 1, 16, 7, 1 << 20}) {
    state_.events.clear();
    options_.buffer_size = size;
    EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_OK) << size;
    if (first.empty()) first = state_.events;
    EXPECT_EQ(state_.events, first) << "buffer size " << size;
  }
  EXPECT_EQ(first.size(), 5u);
}

TEST_F(ConvertFileTest, RefusedLogIsAFailureButLeavesItsOutputFolder) {
  dir_.write("in/notes.txt", "no header here\n");
  LogCapture log;
  EXPECT_EQ(convert("in/notes.txt", "out/sub/notes.txt"), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(log.messages(), (Messages{"Could not open log", "Error during conversion of in/notes.txt"}));
  EXPECT_TRUE(state_.events.empty());
  EXPECT_TRUE(dir_.exists("out/sub"));
}

TEST_F(ConvertFileTest, EmptyFileIsRefusedAsALog) {
  dir_.write("empty.txt", "");
  LogCapture log;
  EXPECT_EQ(convert("empty.txt", "empty.txt"), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(log.messages(), (Messages{"Could not open log", "Error during conversion of empty.txt"}));
}

TEST_F(ConvertFileTest, UnopenableInputIsReportedWithItsPath) {
  dir_.write("a.txt", kLog);
  auto failing = failing_filesystem_create(fs_.get());
  failing->fail_open.insert("a.txt");
  LogCapture log;
  EXPECT_EQ(convert("a.txt", "a.txt", failing.get()), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(log.messages(),
            (Messages{"Could not open input file a.txt", "Error during conversion of a.txt"}));
  EXPECT_TRUE(state_.events.empty());
}

TEST_F(ConvertFileTest, BufferThatCannotBeAllocatedIsReportedWithItsSize) {
  dir_.write("a.txt", kLog);
  options_.buffer_size = INT64_C(0x3FFFFFFFFFFFFFF0);
  LogCapture log;
  EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(log.messages(), (Messages{"Could not allocate buffer of size 4611686018427387888",
                                      "Error during conversion of a.txt"}));
  EXPECT_TRUE(state_.events.empty());
}

TEST_F(ConvertFileTest, FailedNewFileSkipsRecordsButCallsEndFile) {
  dir_.write("a.txt", kLog);
  state_.new_file_result = false;
  LogCapture log;
  EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(state_.events, (Events{"new_file a.txt a", "end_file a.txt a"}));
  EXPECT_EQ(log.messages(), (Messages{"Error during new file callback", "Error during end file callback",
                                      "Error during conversion of a.txt"}));
}

TEST_F(ConvertFileTest, FailedRecordEndsTheLoopAndFailsTheFile) {
  dir_.write("a.txt", kLog);
  state_.fail_record_at = 1;
  LogCapture log;
  EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(state_.events,
            (Events{"new_file a.txt a", "record 123", "record 18FF1234", "end_file a.txt a"}));
  EXPECT_EQ(log.messages(), (Messages{"Error during handle record callback",
                                      "Error during end file callback",
                                      "Error during conversion of a.txt"}));
}

TEST_F(ConvertFileTest, FailedEndFileFailsTheFile) {
  dir_.write("a.txt", kLog);
  state_.end_file_result = false;
  options_.delete_converted = true;
  LogCapture log;
  EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(log.messages(),
            (Messages{"Error during end file callback", "Error during conversion of a.txt"}));
  EXPECT_TRUE(dir_.exists("a.txt")) << "a failed conversion never deletes its input";
}

TEST_F(ConvertFileTest, WithoutStartAndEndSlotsRecordsAloneDecide) {
  dir_.write("a.txt", kLog);
  state_.with_new_file = false;
  state_.with_end_file = false;
  state_.new_file_result = false;  // never asked
  LogCapture log;
  EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"record 123", "record 18FF1234", "record 7DF"}));
  EXPECT_TRUE(log.messages().empty());
}

TEST_F(ConvertFileTest, HeaderWithoutDataStillStartsAndEndsTheFile) {
  dir_.write("a.txt", "# Value separator: \";\"\nTimestamp;ID\n");
  EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"new_file a.txt a", "end_file a.txt a"}));
}

TEST_F(ConvertFileTest, DeleteConvertedRemovesOnlyAfterSuccess) {
  dir_.write("a.txt", kLog);
  options_.delete_converted = true;
  EXPECT_EQ(convert("a.txt", "a.txt"), STATUS_OK);
  EXPECT_FALSE(dir_.exists("a.txt"));

  dir_.write("b.txt", "not a log\n");
  EXPECT_EQ(convert("b.txt", "b.txt"), STATUS_CONVERSION_FAILED);
  EXPECT_TRUE(dir_.exists("b.txt"));
}

TEST_F(ConvertFileTest, FailedRemovalIsLoggedButStaysASuccess) {
  dir_.write("a.txt", kLog);
  options_.delete_converted = true;
  auto failing = failing_filesystem_create(fs_.get());
  failing->fail_remove.insert("a.txt");
  LogCapture log;
  EXPECT_EQ(convert("a.txt", "a.txt", failing.get()), STATUS_OK);
  EXPECT_EQ(log.messages(), (Messages{"Could not remove input file after conversion: a.txt"}));
  EXPECT_TRUE(dir_.exists("a.txt"));
}

}  // namespace
