// The walk: output root names, depth-first name order, the ORed status, and
// what happens with missing paths, odd file types, failed stats and links
// that lead back into the walk.
#include "convert/convert_inputs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/conversion_options.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/recording_plugin.h"
#include "support/temp_dir.h"

namespace {

const char kLog[] = "# Value separator: \";\"\nTimestamp;ID\n0;1\n";

class ConvertInputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs_.reset(filesystem_create(dir_.path()));
    ASSERT_NE(fs_, nullptr);
    options_.buffer_size = -1;
    state_.with_new_file = false;  // keep the events to one line per file
  }

  int run(const std::vector<std::string>& inputs, FileSystem* input_fs = nullptr) {
    OutputPluginPtr plugin(recording_plugin_create(
        &state_, input_fs != nullptr ? input_fs : fs_.get(), fs_.get(), &options_));
    return convert_inputs(plugin.get(), inputs);
  }

  TempDir dir_;
  FileSystemPtr fs_;
  ConversionOptions options_{};
  RecordingState state_;
};

using Events = std::vector<std::string>;
using Messages = std::vector<std::string>;

TEST_F(ConvertInputsTest, FoldersGetOutSuffixAndAreWalkedInByteOrder) {
  for (const char* f : {"LOG/b.txt", "LOG/B.txt", "LOG/a/z.txt", "LOG/.h.txt", "LOG/ab.txt", "top.TXT"}) {
    dir_.write(f, kLog);
  }
  LogCapture log(LOG_INFO);
  EXPECT_EQ(run({"LOG", "top.TXT"}), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"record 1", "end_file LOG_out/.h.txt LOG_out/.h",
                                   "record 1", "end_file LOG_out/B.txt LOG_out/B",
                                   "record 1", "end_file LOG_out/a/z.txt LOG_out/a/z",
                                   "record 1", "end_file LOG_out/ab.txt LOG_out/ab",
                                   "record 1", "end_file LOG_out/b.txt LOG_out/b",
                                   "record 1", "end_file top.TXT top"}));
  EXPECT_EQ(log.messages(), (Messages{"ls: LOG", "ls: LOG/a"}));
}

TEST_F(ConvertInputsTest, NoAppendRootKeepsFolderNames) {
  dir_.write("LOG/a.txt", kLog);
  options_.no_append_root = true;
  EXPECT_EQ(run({"LOG"}), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"record 1", "end_file LOG/a.txt LOG/a"}));
}

TEST_F(ConvertInputsTest, EmptyRootNameBecomesOutAlone) {
  dir_.write("a.txt", kLog);
  EXPECT_EQ(run({""}), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"record 1", "end_file _out/a.txt _out/a"}));
}

TEST_F(ConvertInputsTest, MissingInputIsWarnedAndOredWithFailures) {
  dir_.write("bad.txt", "not a log\n");
  dir_.write("good.txt", kLog);
  LogCapture log;
  EXPECT_EQ(run({"bad.txt", "gone", "good.txt"}), STATUS_CONVERSION_FAILED | STATUS_NOT_FOUND);
  ASSERT_EQ(log.lines().size(), 3u);
  EXPECT_EQ(log.lines()[2].level, 'W');
  EXPECT_EQ(log.lines()[2].message, "Could not find input file/folder gone");
  EXPECT_EQ(state_.events.back(), "end_file good.txt good") << "the walk goes on after failures";
}

TEST_F(ConvertInputsTest, FifoIsAnInternalErrorWithoutMessage) {
  ASSERT_EQ(mkfifo(dir_.file("pipe.txt").c_str(), 0600), 0);
  LogCapture log;
  EXPECT_EQ(run({"pipe.txt"}), STATUS_INTERNAL_ERROR);
  EXPECT_TRUE(log.messages().empty());
}

TEST_F(ConvertInputsTest, FailedTopLevelStatEndsTheWalk) {
  dir_.write("a.txt", kLog);
  dir_.write("b.txt", kLog);
  auto failing = failing_filesystem_create(fs_.get());
  failing->fail_stat.insert("b.txt");
  LogCapture log;
  EXPECT_EQ(run({"a.txt", "b.txt", "a.txt"}, failing.get()), STATUS_INTERNAL_ERROR);
  EXPECT_EQ(log.messages(), (Messages{"Could not query b.txt for information"}));
  EXPECT_EQ(log.lines()[0].level, 'F');
  EXPECT_EQ(state_.events.size(), 2u) << "only the first input was converted";
}

TEST_F(ConvertInputsTest, FailedStatInsideTheWalkIsNotASuccess) {
  dir_.write("LOG/a.txt", kLog);
  dir_.write("LOG/b.txt", kLog);
  auto failing = failing_filesystem_create(fs_.get());
  failing->fail_stat.insert("LOG/a.txt");
  LogCapture log(LOG_WARN);
  EXPECT_EQ(run({"LOG"}, failing.get()), STATUS_INTERNAL_ERROR);
  EXPECT_EQ(log.messages(), (Messages{"Error during stat of LOG/a.txt, exiting"}));
  EXPECT_EQ(state_.events, (Events{"record 1", "end_file LOG_out/b.txt LOG_out/b"}))
      << "the rest of the folder is still converted";
}

TEST_F(ConvertInputsTest, LinkBackToAnAncestorIsSkippedOnce) {
  dir_.write("LOG/a.txt", kLog);
  dir_.write("LOG/sub/b.txt", kLog);
  dir_.write("other/c.txt", kLog);
  ASSERT_EQ(symlink("..", dir_.file("LOG/sub/up").c_str()), 0);
  ASSERT_EQ(symlink("../../other", dir_.file("LOG/sub/side").c_str()), 0);
  LogCapture log(LOG_WARN);
  EXPECT_EQ(run({"LOG"}), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"record 1", "end_file LOG_out/a.txt LOG_out/a",
                                   "record 1", "end_file LOG_out/sub/b.txt LOG_out/sub/b",
                                   "record 1", "end_file LOG_out/sub/side/c.txt LOG_out/sub/side/c"}))
      << "a link to a folder outside the current path is still followed";
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0].level, 'W');
  EXPECT_EQ(log.lines()[0].message, "Skipping LOG/sub/up: it leads back into a folder being converted");
}

TEST_F(ConvertInputsTest, FolderWithoutLogsCreatesNothing) {
  dir_.write("LOG/notes.csv", "x\n");
  ASSERT_EQ(mkdir(dir_.file("LOG/empty").c_str(), 0700), 0);
  EXPECT_EQ(run({"LOG"}), STATUS_OK);
  EXPECT_FALSE(dir_.exists("LOG_out"));
}

}  // namespace

namespace {

TEST_F(ConvertInputsTest, SecondInputWithTheSameStemIsRefusedAndKept) {
  dir_.write("LOG/a.TXT", kLog);
  dir_.write("LOG/a.txt", kLog);
  options_.delete_converted = true;
  LogCapture log(LOG_WARN);
  EXPECT_EQ(run({"LOG"}), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(state_.events, (Events{"record 1", "end_file LOG_out/a.TXT LOG_out/a"}));
  EXPECT_EQ(log.messages(), (Messages{"Output of LOG/a.txt would overwrite that of LOG/a.TXT",
                                      "Error during conversion of LOG/a.txt"}));
  EXPECT_FALSE(dir_.exists("LOG/a.TXT"));
  EXPECT_TRUE(dir_.exists("LOG/a.txt")) << "an input that was not converted is never deleted";
}

TEST_F(ConvertInputsTest, SameInputNamedTwiceConvertsTwice) {
  dir_.write("a.txt", kLog);
  EXPECT_EQ(run({"a.txt", "a.txt"}), STATUS_OK);
  EXPECT_EQ(state_.events, (Events{"record 1", "end_file a.txt a", "record 1", "end_file a.txt a"}));
}

}  // namespace
