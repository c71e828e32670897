// The walk while something else changes the input tree under it: a card is
// read while the logger or the user still touches it, so files vanish or
// turn unreadable between the listing of their folder and their conversion.
// A plug-in whose end_file removes inputs makes that happen at a known point.
#include "convert/convert_inputs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

const char kLog[] = "# Value separator: \";\"\nTimestamp;ID\n0;1\n";

struct InterferenceState {
  /// Output paths in the order end_file saw them.
  std::vector<std::string> ended;
  /// Removed (files and whole folders, relative to the input root) when the
  /// first file ends.
  std::vector<std::string> remove_after_first;
  std::string input_root;
};

struct InterferingPlugin : OutputPlugin {
  InterferenceState* state;
};

}  // namespace

static bool interfering_handle_record(OutputPlugin*, const BusMessage*) { return true; }

static bool interfering_end_file(OutputPlugin* plugin, std::string_view output_path, size_t) {
  InterferenceState* state = static_cast<InterferingPlugin*>(plugin)->state;
  state->ended.emplace_back(output_path);
  if (state->ended.size() == 1) {
    for (const std::string& rel : state->remove_after_first) {
      std::filesystem::remove_all(state->input_root + "/" + rel);
    }
  }
  return true;
}

static const OutputPluginOps kInterferingOps = {
    .destroy = nullptr,  // the state belongs to the test
    .init = nullptr,
    .handle_record = interfering_handle_record,
    .new_file = nullptr,  // nothing to prepare per file
    .end_file = interfering_end_file,
};

namespace {

class ConvertInputsInterference : public ::testing::Test {
 protected:
  void SetUp() override {
    fs_.reset(filesystem_create(dir_.path()));
    ASSERT_NE(fs_, nullptr);
    options_.buffer_size = -1;
    state_.input_root = dir_.path();
  }

  int run(const std::vector<std::string>& inputs, FileSystem* input_fs = nullptr) {
    auto* plugin = static_cast<InterferingPlugin*>(calloc(1, sizeof(InterferingPlugin)));
    plugin->ops = &kInterferingOps;
    plugin->state = &state_;
    OutputPluginPtr bound(plugin);
    EXPECT_TRUE(output_plugin_init(plugin, input_fs != nullptr ? input_fs : fs_.get(),
                                   fs_.get(), &options_));
    return convert_inputs(plugin, inputs);
  }

  TempDir dir_;
  FileSystemPtr fs_;
  ConversionOptions options_{};
  InterferenceState state_;
};

using Paths = std::vector<std::string>;
using Messages = std::vector<std::string>;

TEST_F(ConvertInputsInterference, FileRemovedAfterTheListingIsReportedMissingAndTheWalkGoesOn) {
  for (const char* f : {"LOG/a.txt", "LOG/b.txt", "LOG/c.txt"}) dir_.write(f, kLog);
  state_.remove_after_first = {"LOG/b.txt"};
  LogCapture log;
  EXPECT_EQ(run({"LOG"}), STATUS_NOT_FOUND);
  EXPECT_EQ(state_.ended, (Paths{"LOG_out/a.txt", "LOG_out/c.txt"}));
  EXPECT_EQ(log.messages(), (Messages{"ls: LOG", "Could not find input file/folder LOG/b.txt"}));
}

TEST_F(ConvertInputsInterference, FolderRemovedAfterTheListingIsReportedMissingAndTheWalkGoesOn) {
  for (const char* f : {"LOG/a.txt", "LOG/sub/x.txt", "LOG/z.txt"}) dir_.write(f, kLog);
  state_.remove_after_first = {"LOG/sub"};
  LogCapture log;
  EXPECT_EQ(run({"LOG"}), STATUS_NOT_FOUND);
  EXPECT_EQ(state_.ended, (Paths{"LOG_out/a.txt", "LOG_out/z.txt"}));
  EXPECT_EQ(log.messages(), (Messages{"ls: LOG", "Could not find input file/folder LOG/sub"}));
  EXPECT_FALSE(dir_.exists("LOG_out/sub")) << "no output folder for a folder that is gone";
}

TEST_F(ConvertInputsInterference, FileThatCannotBeOpenedAfterItsStatFailsAloneAndTheWalkGoesOn) {
  for (const char* f : {"LOG/a.txt", "LOG/b.txt", "LOG/c.txt"}) dir_.write(f, kLog);
  auto failing = failing_filesystem_create(fs_.get());
  failing->fail_open.insert("LOG/b.txt");
  LogCapture log;
  EXPECT_EQ(run({"LOG"}, failing.get()), STATUS_CONVERSION_FAILED);
  EXPECT_EQ(state_.ended, (Paths{"LOG_out/a.txt", "LOG_out/c.txt"}));
  EXPECT_EQ(log.messages(), (Messages{"ls: LOG", "Could not open input file LOG/b.txt",
                                      "Error during conversion of LOG/b.txt"}));
  EXPECT_TRUE(dir_.exists("LOG/b.txt"));
}

TEST_F(ConvertInputsInterference, RemovedFileIsNotDeletedAgainAndOthersAreWithDeleteConverted) {
  for (const char* f : {"LOG/a.txt", "LOG/b.txt", "LOG/c.txt"}) dir_.write(f, kLog);
  options_.delete_converted = true;
  state_.remove_after_first = {"LOG/b.txt"};
  LogCapture log;
  EXPECT_EQ(run({"LOG"}), STATUS_NOT_FOUND);
  EXPECT_EQ(state_.ended, (Paths{"LOG_out/a.txt", "LOG_out/c.txt"}));
  EXPECT_EQ(log.messages(), (Messages{"ls: LOG", "Could not find input file/folder LOG/b.txt"}));
  EXPECT_FALSE(dir_.exists("LOG/a.txt"));
  EXPECT_FALSE(dir_.exists("LOG/c.txt"));
}

}  // namespace
