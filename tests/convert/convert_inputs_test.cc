// The walk's failures, which no run on a disk can stage: a stat or an open
// of one path that fails, and inputs that vanish between the listing of
// their folder and their conversion (a card still touched while it is read).
#include "convert/convert_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/exit_status.h"
#include "platform/filesystem.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/recording_plugin.h"
#include "support/temp_dir.h"

using Strings = std::vector<std::string>;

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
      {{"a.txt", "b.txt", "a.txt"}, {"b.txt"}, {}, "", STATUS_INTERNAL_ERROR, {"a.txt"},
       {"F Could not query b.txt for information"}},
      {{"LOG"}, {"LOG/a.txt"}, {}, "", STATUS_INTERNAL_ERROR, {kB, kC, kX},
       {kLs, "F Error during stat of LOG/a.txt, exiting", kLsSub}},
      {{"LOG"}, {}, {"LOG/b.txt"}, "", STATUS_CONVERSION_FAILED, {kA, kC, kX},
       {kLs, "E Could not open input file LOG/b.txt", "E Error during conversion of LOG/b.txt",
        kLsSub}},
      {{"LOG"}, {}, {}, "LOG/b.txt", STATUS_NOT_FOUND, {kA, kC, kX},
       {kLs, "W Could not find input file/folder LOG/b.txt", kLsSub}},
      {{"LOG"}, {}, {}, "LOG/sub", STATUS_NOT_FOUND, {kA, kB, kC},
       {kLs, "W Could not find input file/folder LOG/sub"}},
  };
  for (const auto& walk : walks) {
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "LOG/a.txt", "LOG/b.txt", "LOG/sub/x.txt", "LOG/c.txt"}) {
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
    ConversionOptions options{.delete_converted = true, .no_append_root = false,
                              .non_interactive = false, .buffer_size = -1};
    OutputPluginPtr plugin(recording_plugin_create(&state, input_fs.get(), disk.get(), &options));
    LogCapture log;
    EXPECT_EQ(convert_inputs(plugin.get(), walk.inputs), walk.status);
    Strings ended, lines;
    for (const std::string& event : state.events) {
      if (event.rfind("end_file ", 0) == 0) ended.push_back(event.substr(9, event.find(' ', 9) - 9));
    }
    for (const CapturedLine& line : log.lines()) lines.push_back(line.level + (" " + line.message));
    EXPECT_EQ(ended, walk.ended);
    EXPECT_EQ(lines, walk.log);
    for (const std::string& converted : ended) {
      EXPECT_FALSE(dir.exists(converted.rfind("LOG", 0) == 0 ? "LOG" + converted.substr(7) : converted));
    }
  }
}
