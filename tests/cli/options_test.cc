// What no run of the binary shows: the stored buffer size, and a working
// directory that no longer exists. Usage, version, the error list and the
// other options are golden cases (tests/e2e/cases/cli_* and the walks).
#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/config.h"
#include "convert/exit_status.h"
#include "log/log.h"
#include "support/temp_dir.h"

#include <unistd.h>

// Parses `args` into a fresh configuration; the status stays 77 unless set.
static ConfigPtr parse(std::vector<std::string> args, bool* go_on, int* status) {
  ConfigPtr config(config_create());
  args.insert(args.begin(), "tracewright");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  *status = 77;
  *go_on = parse_command_line(config.get(), static_cast<int>(args.size()), argv.data(), status);
  return config;
}

TEST(ParseCommandLine, StoresTheBufferSizeAndFailsRelativeInputsWithoutAWorkingDirectory) {
  // The buffer size changes no output, so only this shows it arrives.
  const int32_t saved_threshold = log_output_level;  // a clean parse sets it
  TempDir dir;
  dir.make_dir("logs");
  bool go_on = false;
  int status = 0;
  EXPECT_EQ(parse({dir.file("logs")}, &go_on, &status)->options.buffer_size, -1);
  EXPECT_TRUE(go_on && status == 77);
  EXPECT_EQ(parse({"-b", "0x10", dir.file("logs")}, &go_on, &status)->options.buffer_size, 16);
  EXPECT_EQ(parse({"--buffer=-5", dir.file("logs")}, &go_on, &status)->options.buffer_size, -5);
  log_set_output_level(saved_threshold);

  // Relative inputs need the working directory; a removed one fails them.
  char saved_cwd[4096];
  ASSERT_NE(getcwd(saved_cwd, sizeof saved_cwd), nullptr);
  dir.make_dir("gone");
  ASSERT_EQ(chdir(dir.file("gone").c_str()) + rmdir(dir.file("gone").c_str()), 0);
  testing::internal::CaptureStdout();
  parse({"a.txt"}, &go_on, &status);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(chdir(saved_cwd), 0);
  EXPECT_FALSE(go_on);
  EXPECT_EQ(status, STATUS_BAD_COMMAND_LINE);
  EXPECT_EQ(out, "tracewright: cannot read the working directory for relative input "
                 "file(s)/folder(s)\n");
}
