// The command line as a user meets it: the real binary's standard output,
// standard error and exit status for usage, version, parser errors and the
// input checks; and, in process, what a clean command line stores.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/config.h"
#include "cli/run_tool.h"
#include "convert/conversion_options.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "support/temp_dir.h"

// The syntax line up to the inputs; the inputs' part depends on the
// argument count.
static const std::string kSyntaxHead =
    "Usage: tracewright [--help] [-v|--version] [--verbosity=<n>] [--non-interactive] "
    "[-d|--delete-converted] [-X|--no-append-root] [-b|--buffer=<n>] "
    "[-O|--output-directory=<string>] [-i|--input-files=<file(s)/folder(s)>] ";

static const std::string kGlossary = R"(
  --help                                   display this help and exit
  -v, --version                            display tool version and exit
  --verbosity=<n>                          verbosity of logging messages from 0 to 4, with 0 being fatal messages only 4 being all messages including debug information. defaults to 1
  --non-interactive                        does not print any progress output
  -d, --delete-converted                   deletes files after conversion if specified
  -X, --no-append-root                     do not add "_out" when converting folders
  -b, --buffer=<n>                         buffer size in bytes. 0 disables and -1 takes entire file
  -O, --output-directory=<string>          where to place the converted files
  -i, --input-files=<file(s)/folder(s)>    list of input files/folders, must have common root
)";

TEST(CommandLineUsage, UsageWinsOverEverythingAndItsSyntaxLineGrowsWithTheArguments) {
  // The inputs entry may take every argument after the tool name, and the
  // syntax line shows that maximum: one optional repetition per argument
  // beyond the first, cut short with "..." from four arguments on.
  const std::string one = "file(s)/folder(s)";
  const std::string more = " [file(s)/folder(s)]";
  const struct {
    std::vector<std::string> args;
    std::string inputs;
  } rows[] = {
      {{}, one},
      {{"--help"}, one},
      {{"--help", "-h"}, one + more},
      {{"-v", "--help"}, one + more},
      {{"--help", "-b"}, one + more},
      {{"--verbosity=9", "--help"}, one + more},
      {{"-b", "x", "--help"}, one + more + more},
      {{"--help", "a", "b", "c"}, one + more + "..."},
      {{"--help", "-O", "/nonexistent/out", "a", "sub/b"}, one + more + "..."},
  };
  for (const auto& row : rows) {
    ToolRun run = run_tool({.args = row.args});
    SCOPED_TRACE(row.args.empty() ? "(none)" : row.args.front() + " ... " + row.args.back());
    EXPECT_EQ(run.out, kSyntaxHead + row.inputs + "\n" + kGlossary);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
  }
  ToolRun bare = run_tool({.empty_argv = true});
  EXPECT_EQ(bare.out, kSyntaxHead + one + "\n" + kGlossary);
  EXPECT_EQ(bare.status, 0);
}

TEST(CommandLineVersion, VersionPrintsOnlyItsLineWhateverElseIsGiven) {
  const std::vector<std::vector<std::string>> lines = {
      {"-v"},
      {"--version"},
      {"-v", "--foo"},
      {"-v", "-h"},
      {"-b", "x", "-v"},
      {"--verbosity=7", "-v", "a"},
      {"-v", "-O", "/nonexistent/out", "a", "b/c"},
  };
  for (const std::vector<std::string>& args : lines) {
    ToolRun run = run_tool({.args = args});
    SCOPED_TRACE(args.front());
    EXPECT_EQ(run.out, "Version: 2.0.11\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
  }
}

TEST(CommandLineErrors, FirstErrorDecidesTheListAndTheStatus) {
  TempDir dir;  // the working directory: a.txt and file exist, out does not
  dir.touch("a.txt");
  dir.touch("file");
  const std::string bad_root =
      "tracewright: input file(s)/folder(s) do not share a common root directory\n";
  const std::string bad_out = "tracewright: invalid output directory: \"out\"\n";
  const std::string no_inputs = "tracewright: missing option file(s)/folder(s)\n";
  const struct {
    std::vector<std::string> args;
    std::string out;
    int status;
  } rows[] = {
      // Bad numbers and missing values end the run without a word.
      {{"--verbosity=6", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"--verbosity=-1", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"--verbosity=x", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"-b", "x", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"-b", "12abc", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"-b", "x"}, "", STATUS_INVALID_VALUE},  // wins over the missing inputs
      {{"a.txt", "-b"}, "", STATUS_MISSING_VALUE},
      {{"-b"}, "", STATUS_MISSING_VALUE},
      {{"--buffer"}, "", STATUS_MISSING_VALUE},
      {{"a.txt", "--verbosity"}, "", STATUS_MISSING_VALUE},
      {{"a.txt", "-O"}, "", STATUS_MISSING_VALUE},
      // Everything else prints the list. Help has no short form.
      {{"-h"}, "tracewright: invalid option \"-h\"\n", STATUS_BAD_COMMAND_LINE},
      {{"--foo", "a.txt"}, "tracewright: invalid option \"--foo\"\n", STATUS_BAD_COMMAND_LINE},
      {{"-h", "-b", "x", "a.txt"},
       "tracewright: invalid option \"-h\"\n"
       "tracewright: invalid argument \"x\" to option -b|--buffer=<n>\n",
       STATUS_BAD_COMMAND_LINE},
      {{"-b", "99999999999", "a.txt"},
       "tracewright: integer overflow at option -b|--buffer=<n> (99999999999 is too large)\n",
       STATUS_BAD_COMMAND_LINE},
      {{"a.txt", "-X", "-X"}, "tracewright: extraneous option -X|--no-append-root\n",
       STATUS_BAD_COMMAND_LINE},
      {{"-d"}, no_inputs, STATUS_BAD_COMMAND_LINE},
      // The checks: output directory first, then the inputs.
      {{"-O", "out", "a.txt"}, bad_out, STATUS_BAD_COMMAND_LINE},
      {{"-O", "file", "a.txt"}, "tracewright: invalid output directory: \"file\"\n",
       STATUS_BAD_COMMAND_LINE},
      {{"-O", "", "a.txt"}, "tracewright: invalid output directory: \"\"\n",
       STATUS_BAD_COMMAND_LINE},
      {{"-O", "a.txt/", "a.txt"}, "tracewright: invalid output directory: \"a.txt/\"\n",
       STATUS_BAD_COMMAND_LINE},
      {{"a.txt", "./b.txt"}, bad_root, STATUS_BAD_COMMAND_LINE},
      {{"a.txt", "--output-directory=out", "sub/b.txt"}, bad_out + bad_root,
       STATUS_BAD_COMMAND_LINE},
      {{"-O", "out"}, bad_out + no_inputs, STATUS_BAD_COMMAND_LINE},
      // A bad verbosity only counts once the command line is otherwise clean.
      {{"a.txt", "sub/b.txt", "--verbosity=9"}, bad_root, STATUS_BAD_COMMAND_LINE},
  };
  for (const auto& row : rows) {
    ToolRun run = run_tool({.args = row.args, .working_directory = dir.path()});
    SCOPED_TRACE(row.args.front() + " ... " + row.args.back());
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, row.status);
  }
}

// The message of a one-line error log, or the whole text when it is not one.
static std::string error_message(const std::string& err) {
  size_t letter = err.find(" E ");  // "MM-DD hh:mm:ss.mmm PPPPP TTTTT E message"
  if (letter == std::string::npos || err.find('\n') != err.size() - 1) return err;
  return err.substr(letter + 3);
}

TEST(CommandLineInputRoot, UnopenableRootEndsWithNotFoundAndOneErrorLine) {
  TempDir dir;
  const std::string missing = "Could not open input folder \"" + dir.path() + "/missing_dir\"\n";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } rows[] = {
      {{"missing_dir/a.txt"}, missing},
      {{".."}, "Could not open input folder \"\"\n"},  // an empty root
      {{"--verbosity=0", "missing_dir/a.txt"}, ""},
      {{"--verbosity=4", "missing_dir/a.txt"}, missing},
  };
  for (const auto& row : rows) {
    ToolRun run = run_tool({.args = row.args, .working_directory = dir.path()});
    SCOPED_TRACE(row.args.front());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(error_message(run.err), row.message);
    EXPECT_EQ(run.status, STATUS_NOT_FOUND);
  }
}

TEST(CommandLineInputRoot, UnreadableWorkingDirectoryFailsOnlyRelativeInputs) {
  TempDir dir;
  dir.make_dir("gone");
  ToolCall call{.args = {"a.txt"},
                .working_directory = dir.path() + "/gone",
                .remove_working_directory = true};
  ToolRun relative = run_tool(call);
  EXPECT_EQ(relative.out,
            "tracewright: cannot read the working directory for relative input "
            "file(s)/folder(s)\n");
  EXPECT_EQ(relative.status, STATUS_BAD_COMMAND_LINE);

  // An absolute input gets past the command line and fails on its folder.
  dir.make_dir("gone");
  call.args = {dir.path() + "/missing/a.txt"};
  ToolRun absolute = run_tool(call);
  EXPECT_EQ(absolute.out, "");
  EXPECT_EQ(error_message(absolute.err),
            "Could not open input folder \"" + dir.path() + "/missing\"\n");
  EXPECT_EQ(absolute.status, STATUS_NOT_FOUND);
}

// In process: what a clean command line leaves in the configuration.
class ParseCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_threshold_ = log_output_level;
    dir_.make_dir("logs");
    dir_.make_dir("out");
  }
  void TearDown() override { log_set_output_level(saved_threshold_); }
  // Parses into a fresh configuration; the status stays 77 unless set.
  bool parse(std::vector<std::string> args) {
    config_.reset(config_create());
    status_ = 77;
    args.insert(args.begin(), "tracewright");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return config_ != nullptr &&
           parse_command_line(config_.get(), static_cast<int>(args.size()), argv.data(), &status_);
  }

  TempDir dir_;
  const std::string logs_ = dir_.path() + "/logs";
  const std::string out_ = dir_.path() + "/out";
  ConfigPtr config_;
  int status_ = 0;
  int32_t saved_threshold_ = 0;
};

TEST_F(ParseCommandLine, DefaultsWithoutOptions) {
  ASSERT_TRUE(parse({logs_}));
  EXPECT_EQ(status_, 77);
  EXPECT_FALSE(config_->options.delete_converted);
  EXPECT_FALSE(config_->options.no_append_root);
  EXPECT_FALSE(config_->options.non_interactive);
  EXPECT_EQ(config_->options.buffer_size, -1);
  EXPECT_EQ(config_->output_directory, "");
  EXPECT_EQ(config_->input_root, dir_.path());
  EXPECT_EQ(config_->inputs, std::vector<std::string>{"logs"});
  ASSERT_NE(config_->input_fs, nullptr);
  EXPECT_EQ(config_->input_fs->root, dir_.path());
  EXPECT_EQ(config_->output_fs, config_->input_fs);
  EXPECT_EQ(log_output_level, LOG_ERROR);
}

TEST_F(ParseCommandLine, OptionsAreStored) {
  ASSERT_TRUE(parse({"-d", "-X", "--non-interactive", "-b", "0x10", "-O", out_, "-i", logs_, out_}));
  EXPECT_TRUE(config_->options.delete_converted);
  EXPECT_TRUE(config_->options.no_append_root);
  EXPECT_TRUE(config_->options.non_interactive);
  EXPECT_EQ(config_->options.buffer_size, 16);
  EXPECT_EQ(config_->inputs, (std::vector<std::string>{"logs", "out"}));
  EXPECT_EQ(config_->output_directory, out_);
  ASSERT_NE(config_->output_fs, nullptr);
  EXPECT_NE(config_->output_fs, config_->input_fs);
  EXPECT_EQ(config_->output_fs->root, out_);

  ASSERT_TRUE(parse({"--buffer=-5", logs_}));
  EXPECT_EQ(config_->options.buffer_size, -5);
}

TEST_F(ParseCommandLine, VerbositySetsTheThreshold) {
  const int32_t expected[] = {LOG_FATAL, LOG_ERROR, LOG_WARN, LOG_INFO, LOG_VERBOSE, LOG_VERBOSE};
  for (int verbosity = 0; verbosity <= 5; ++verbosity) {
    log_set_output_level(0);
    ASSERT_TRUE(parse({"--verbosity=" + std::to_string(verbosity), logs_}));
    EXPECT_EQ(log_output_level, expected[verbosity]) << "verbosity " << verbosity;
  }
}
