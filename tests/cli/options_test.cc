// What a clean command line stores, and the one check a golden case cannot
// reach: a working directory that no longer exists. Usage, version and the
// error list are golden cases (tests/e2e/cases/cli_*).
#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/config.h"
#include "convert/exit_status.h"
#include "log/log.h"
#include "platform/filesystem.h"
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

TEST(ParseCommandLine, StoresTheOptionsAndSetsTheThresholdFromTheVerbosity) {
  const int32_t saved_threshold = log_output_level;
  TempDir dir;
  dir.make_dir("logs");
  dir.make_dir("out");
  bool go_on = false;
  int status = 0;
  ConfigPtr plain = parse({dir.file("logs")}, &go_on, &status);
  EXPECT_TRUE(go_on && status == 77);
  EXPECT_FALSE(plain->options.delete_converted || plain->options.no_append_root ||
               plain->options.non_interactive);
  EXPECT_EQ(plain->options.buffer_size, -1);
  EXPECT_EQ(plain->input_fs->root, dir.path());
  EXPECT_EQ(plain->output_fs, plain->input_fs);
  EXPECT_EQ(log_output_level, LOG_ERROR);

  ConfigPtr full = parse({"-d", "-X", "--non-interactive", "-b", "0x10", "-O", dir.file("out"),
                          "-i", dir.file("logs"), dir.file("logs")}, &go_on, &status);
  EXPECT_TRUE(go_on && full->options.delete_converted && full->options.no_append_root &&
              full->options.non_interactive);
  EXPECT_EQ(full->options.buffer_size, 16);
  EXPECT_EQ(full->inputs, (std::vector<std::string>{"logs", "logs"}));
  EXPECT_EQ(full->output_fs->root, dir.file("out"));

  const int32_t expected[] = {LOG_FATAL, LOG_ERROR, LOG_WARN, LOG_INFO, LOG_VERBOSE, LOG_VERBOSE};
  for (int verbosity = 0; verbosity <= 5; ++verbosity) {
    parse({"--verbosity=" + std::to_string(verbosity), dir.file("logs")}, &go_on, &status);
    EXPECT_EQ(log_output_level, expected[verbosity]) << "verbosity " << verbosity;
  }
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
