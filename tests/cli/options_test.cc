// What no run of the binary shows: the stored buffer size, and a working
// directory that no longer exists. Usage, version, the error list and the
// other options are golden cases (tests/e2e/cases/cli_* and the walks).
#include "cli/options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/config.h"
#include "convert/exit_status.h"
#include "log/log.h"
#include "support/temp_dir.h"

#include <unistd.h>

TEST(ParseCommandLine, StoresTheBufferSizeAndFailsRelativeInputsWithoutAWorkingDirectory) {
  const int32_t saved_threshold = log_output_level;  // a clean parse sets it
  TempDir dir;
  int status = 77;
  auto parse = [&](std::vector<std::string> args) {  // the stored buffer size, or 0 to stop
    ConfigPtr config(config_create());
    std::vector<char*> argv{const_cast<char*>("tracewright")};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return parse_command_line(config.get(), static_cast<int>(argv.size() - 1), argv.data(), &status)
               ? config->options.buffer_size
               : 0;
  };
  EXPECT_EQ((std::vector<int64_t>{parse({dir.path()}), parse({"-b", "0x10", dir.path()}),
                                  parse({"--buffer=-5", dir.path()})}),
            (std::vector<int64_t>{-1, 16, -5}));
  EXPECT_EQ(status, 77);
  EXPECT_EQ(ConfigPtr(config_create())->options.buffer_size, -1);  // the default before parsing
  log_set_output_level(saved_threshold);
  // Relative inputs need the working directory; a removed one fails them.
  char saved_cwd[4096];
  ASSERT_NE(getcwd(saved_cwd, sizeof saved_cwd), nullptr);
  ASSERT_EQ(mkdir(dir.file("gone").c_str(), 0700), 0);
  ASSERT_EQ(chdir(dir.file("gone").c_str()), 0);
  ASSERT_EQ(rmdir(dir.file("gone").c_str()), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(parse({"a.txt"}), 0);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(chdir(saved_cwd), 0);
  EXPECT_EQ(status, STATUS_BAD_COMMAND_LINE);
  EXPECT_EQ(
      out, "tracewright: cannot read the working directory for relative input file(s)/folder(s)\n");
}
