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
#include "support/log_capture.h"

// The syntax line up to the inputs; each test appends the inputs' part.
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

static const std::string kUsage = kSyntaxHead + "file(s)/folder(s)\n" + kGlossary;

static std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(CommandLineUsage, NoArgumentsPrintUsageAndSucceed) {
  ToolRun run = run_tool(std::vector<std::string>{});
  EXPECT_EQ(run.out, kUsage);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
}

TEST(CommandLineUsage, EmptyArgumentVectorPrintsUsage) {
  ToolCall call;
  call.empty_argv = true;
  ToolRun run = run_tool(call);
  EXPECT_EQ(run.out, kUsage);
  EXPECT_EQ(run.status, 0);
}

TEST(CommandLineUsage, HelpWinsOverVersionErrorsAndChecks) {
  EXPECT_EQ(run_tool({"--help"}).out, kUsage);
  // Each of these would fail on its own; with "--help" only the usage shows
  // (the syntax line grows with the argument count, so compare the glossary).
  const std::vector<std::vector<std::string>> lines = {
      {"--help", "-h"},
      {"-v", "--help"},
      {"--verbosity=9", "--help"},
      {"-b", "x", "--help"},
      {"--help", "-O", "/nonexistent/out", "a", "sub/b"},
      {"--help", "-b"},
  };
  for (const std::vector<std::string>& args : lines) {
    ToolRun run = run_tool(args);
    SCOPED_TRACE(args.front() + " ... " + args.back());
    EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), kGlossary);
    EXPECT_EQ(run.out.rfind(kSyntaxHead, 0), 0u);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
  }
}

TEST(CommandLineUsage, SyntaxLineRepeatsInputsByArgumentCount) {
  // The inputs entry may take every argument after the tool name, and the
  // syntax line shows that maximum: one optional repetition per argument
  // beyond the first, cut short with "..." from four arguments on.
  const std::string one = "file(s)/folder(s)";
  const std::string more = " [file(s)/folder(s)]";
  EXPECT_EQ(first_line(run_tool({"--help"}).out), kSyntaxHead + one);
  EXPECT_EQ(first_line(run_tool({"--help", "a"}).out), kSyntaxHead + one + more);
  EXPECT_EQ(first_line(run_tool({"--help", "a", "b"}).out), kSyntaxHead + one + more + more);
  EXPECT_EQ(first_line(run_tool({"--help", "a", "b", "c"}).out), kSyntaxHead + one + more + "...");
  EXPECT_EQ(first_line(run_tool({"--help", "a", "b", "c", "d", "e"}).out),
            kSyntaxHead + one + more + "...");
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
    ToolRun run = run_tool(args);
    SCOPED_TRACE(args.front());
    EXPECT_EQ(run.out, "Version: 2.0.11\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
  }
}

TEST(CommandLineErrors, UnknownShortOptionIsReportedByTheParser) {
  // Help has no short form.
  ToolRun run = run_tool({"-h"});
  EXPECT_EQ(run.out, "tracewright: invalid option \"-h\"\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, STATUS_BAD_COMMAND_LINE);
}

TEST(CommandLineErrors, BadNumbersEndTheRunSilently) {
  TempDir dir;
  dir.touch("a.txt");
  const std::string input = dir.path() + "/a.txt";
  const std::vector<std::vector<std::string>> lines = {
      {"--verbosity=6", input},
      {"--verbosity=-1", input},
      {"--verbosity=x", input},
      {"--verbosity", "99", input},
      {"-b", "x", input},
      {"-b", "12abc", input},
      {"-b", "x"},  // the bad number wins over the missing inputs
  };
  for (const std::vector<std::string>& args : lines) {
    ToolRun run = run_tool(args);
    SCOPED_TRACE(args.front() + " " + args[1]);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, STATUS_INVALID_VALUE);
  }
}

TEST(CommandLineErrors, OptionWithoutValueEndsTheRunSilently) {
  const std::vector<std::vector<std::string>> lines = {
      {"a.txt", "-b"}, {"-b"}, {"a.txt", "--verbosity"}, {"a.txt", "-O"}, {"--buffer"},
  };
  for (const std::vector<std::string>& args : lines) {
    ToolRun run = run_tool(args);
    SCOPED_TRACE(args.back());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, STATUS_MISSING_VALUE);
  }
}

TEST(CommandLineErrors, MissingInputsAreNamedByTheirPlaceholder) {
  ToolRun run = run_tool({"-d"});
  EXPECT_EQ(run.out, "tracewright: missing option file(s)/folder(s)\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, STATUS_BAD_COMMAND_LINE);
}

TEST(CommandLineErrors, OtherParserErrorsPrintTheList) {
  ToolRun unknown = run_tool({"--foo", "a.txt"});
  EXPECT_EQ(unknown.out, "tracewright: invalid option \"--foo\"\n");
  EXPECT_EQ(unknown.status, STATUS_BAD_COMMAND_LINE);

  ToolRun overflow = run_tool({"-b", "99999999999", "a.txt"});
  EXPECT_EQ(overflow.out,
            "tracewright: integer overflow at option -b|--buffer=<n> (99999999999 is too large)\n");
  EXPECT_EQ(overflow.status, STATUS_BAD_COMMAND_LINE);

  // The first error decides alone: an invalid option ahead of a bad number
  // prints both lines.
  ToolRun mixed = run_tool({"-h", "-b", "x", "a.txt"});
  EXPECT_EQ(mixed.out,
            "tracewright: invalid option \"-h\"\n"
            "tracewright: invalid argument \"x\" to option -b|--buffer=<n>\n");
  EXPECT_EQ(mixed.status, STATUS_BAD_COMMAND_LINE);
}

TEST(CommandLineErrors, OutputDirectoryMustBeAnExistingFolder) {
  TempDir dir;
  dir.touch("a.txt");
  dir.touch("file");
  ToolCall call;
  call.working_directory = dir.path();
  for (const char* value : {"out", "file", "", "a.txt/"}) {
    call.args = {"-O", value, "a.txt"};
    ToolRun run = run_tool(call);
    EXPECT_EQ(run.out, "tracewright: invalid output directory: \"" + std::string(value) + "\"\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, STATUS_BAD_COMMAND_LINE);
  }
}

TEST(CommandLineErrors, BothCheckFailuresPrintOutputDirectoryFirst) {
  TempDir dir;
  ToolCall call;
  call.working_directory = dir.path();
  call.args = {"a.txt", "--output-directory=out", "sub/b.txt"};
  ToolRun run = run_tool(call);
  EXPECT_EQ(run.out,
            "tracewright: invalid output directory: \"out\"\n"
            "tracewright: input file(s)/folder(s) do not share a common root directory\n");
  EXPECT_EQ(run.status, STATUS_BAD_COMMAND_LINE);

  call.args = {"-O", "out"};
  run = run_tool(call);
  EXPECT_EQ(run.out,
            "tracewright: invalid output directory: \"out\"\n"
            "tracewright: missing option file(s)/folder(s)\n");
  EXPECT_EQ(run.status, STATUS_BAD_COMMAND_LINE);
}

TEST(CommandLineErrors, InputsWithoutCommonRootFail) {
  TempDir dir;
  ToolCall call;
  call.working_directory = dir.path();
  call.args = {"a.txt", "./b.txt"};
  ToolRun run = run_tool(call);
  EXPECT_EQ(run.out, "tracewright: input file(s)/folder(s) do not share a common root directory\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, STATUS_BAD_COMMAND_LINE);
}

// The message that follows the log line's context, or the whole text when
// it has no level letter where expected.
static std::string log_message(const std::string& line, char* level) {
  // "MM-DD hh:mm:ss.mmm PPPPP TTTTT L message"
  size_t pos = 18;
  for (int field = 0; field < 2; ++field) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
  }
  if (pos + 3 > line.size()) return line;
  *level = line[pos + 1];
  return line.substr(pos + 3);
}

TEST(CommandLineInputRoot, MissingParentFolderEndsWithNotFoundAndOneError) {
  TempDir dir;
  ToolCall call;
  call.working_directory = dir.path();
  call.args = {"missing_dir/a.txt"};
  ToolRun run = run_tool(call);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, STATUS_NOT_FOUND);
  ASSERT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  char level = 0;
  EXPECT_EQ(log_message(run.err, &level),
            "Could not open input folder \"" + dir.path() + "/missing_dir\"\n");
  EXPECT_EQ(level, 'E');

  // ".." alone leaves an empty root, which cannot be opened either.
  call.args = {".."};
  run = run_tool(call);
  EXPECT_EQ(run.status, STATUS_NOT_FOUND);
  EXPECT_EQ(log_message(run.err, &level), "Could not open input folder \"\"\n");
}

TEST(CommandLineInputRoot, MissingParentFolderLineObeysVerbosity) {
  TempDir dir;
  ToolCall call;
  call.working_directory = dir.path();
  call.args = {"--verbosity=0", "missing_dir/a.txt"};
  ToolRun quiet = run_tool(call);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.status, STATUS_NOT_FOUND);

  call.args = {"--verbosity=4", "missing_dir/a.txt"};
  ToolRun loud = run_tool(call);
  char level = 0;
  EXPECT_EQ(log_message(loud.err, &level),
            "Could not open input folder \"" + dir.path() + "/missing_dir\"\n");
  EXPECT_EQ(loud.status, STATUS_NOT_FOUND);
}

TEST(CommandLineInputRoot, UnreadableWorkingDirectoryFailsOnlyRelativeInputs) {
  TempDir dir;
  dir.make_dir("gone");
  ToolCall call;
  call.working_directory = dir.path() + "/gone";
  call.remove_working_directory = true;
  call.args = {"a.txt"};
  ToolRun relative = run_tool(call);
  EXPECT_EQ(relative.out,
            "tracewright: cannot read the working directory for relative input "
            "file(s)/folder(s)\n");
  EXPECT_EQ(relative.status, STATUS_BAD_COMMAND_LINE);

  // Absolute inputs pass the check; this one then fails on its missing
  // folder, which proves the run got past the command line.
  dir.make_dir("gone");
  call.args = {dir.path() + "/missing/a.txt"};
  ToolRun absolute = run_tool(call);
  EXPECT_EQ(absolute.out, "");
  EXPECT_EQ(absolute.status, STATUS_NOT_FOUND);
  char level = 0;
  EXPECT_EQ(log_message(absolute.err, &level),
            "Could not open input folder \"" + dir.path() + "/missing\"\n");
}

TEST(CommandLineStatus, FirstErrorDecidesTheStatus) {
  struct Row {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Row> rows = {
      {{}, STATUS_OK},
      {{"--version"}, STATUS_OK},
      {{"/nonexistent/dir/a.txt"}, STATUS_NOT_FOUND},
      {{"/x", "-b"}, STATUS_MISSING_VALUE},
      {{"/x", "-b", "1x"}, STATUS_INVALID_VALUE},
      {{"/x", "--verbosity=6"}, STATUS_INVALID_VALUE},
      {{"/x", "-X", "-X"}, STATUS_BAD_COMMAND_LINE},  // given twice
      {{"/x", "-O", "/nonexistent/out"}, STATUS_BAD_COMMAND_LINE},
      {{"/x", "/y/z"}, STATUS_BAD_COMMAND_LINE},
      // A bad verbosity only counts once the command line is otherwise clean.
      {{"/x", "/y/z", "--verbosity=9"}, STATUS_BAD_COMMAND_LINE},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.empty() ? std::string("(none)") : row.args.back());
    EXPECT_EQ(run_tool(row.args).status, row.status);
  }
}

// In process: what a clean command line leaves in the configuration.
class ParseCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_threshold_ = log_output_level;
    dir_.make_dir("logs");
    dir_.make_dir("out");
    config_.reset(config_create());
    ASSERT_NE(config_, nullptr);
  }
  void TearDown() override { log_set_output_level(saved_threshold_); }
  bool parse(std::vector<std::string> args, int* status) {
    args.insert(args.begin(), "tracewright");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return parse_command_line(config_.get(), static_cast<int>(args.size()), argv.data(), status);
  }
  std::string logs() const { return dir_.path() + "/logs"; }

  TempDir dir_;
  ConfigPtr config_;
  int32_t saved_threshold_ = 0;
};

TEST_F(ParseCommandLine, DefaultsWithoutOptions) {
  int status = 77;
  ASSERT_TRUE(parse({logs()}, &status));
  EXPECT_EQ(status, 77);  // untouched on success
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

TEST_F(ParseCommandLine, FlagsBufferAndOutputDirectoryAreStored) {
  int status = 0;
  const std::string out = dir_.path() + "/out";
  ASSERT_TRUE(parse({"-d", "-X", "--non-interactive", "-b", "0x10", "-O", out, logs()}, &status));
  EXPECT_TRUE(config_->options.delete_converted);
  EXPECT_TRUE(config_->options.no_append_root);
  EXPECT_TRUE(config_->options.non_interactive);
  EXPECT_EQ(config_->options.buffer_size, 16);
  EXPECT_EQ(config_->output_directory, out);
  ASSERT_NE(config_->output_fs, nullptr);
  EXPECT_NE(config_->output_fs, config_->input_fs);
  EXPECT_EQ(config_->output_fs->root, out);
}

TEST_F(ParseCommandLine, BufferKeepsItsSign) {
  int status = 0;
  ASSERT_TRUE(parse({"--buffer=-5", logs()}, &status));
  EXPECT_EQ(config_->options.buffer_size, -5);
}

TEST_F(ParseCommandLine, InputFilesFlagIsFollowedByInputs) {
  int status = 0;
  ASSERT_TRUE(parse({"-i", logs(), dir_.path() + "/out"}, &status));
  EXPECT_EQ(config_->inputs, (std::vector<std::string>{"logs", "out"}));
}

TEST_F(ParseCommandLine, VerbositySetsTheThreshold) {
  const int32_t expected[] = {LOG_FATAL, LOG_ERROR, LOG_WARN, LOG_INFO, LOG_VERBOSE, LOG_VERBOSE};
  for (int verbosity = 0; verbosity <= 5; ++verbosity) {
    config_.reset(config_create());
    ASSERT_NE(config_, nullptr);
    log_set_output_level(0);
    int status = 0;
    ASSERT_TRUE(parse({"--verbosity=" + std::to_string(verbosity), logs()}, &status));
    EXPECT_EQ(log_output_level, expected[verbosity]) << "verbosity " << verbosity;
  }
}

TEST_F(ParseCommandLine, UnopenableInputRootStopsWithNotFound) {
  LogCapture capture;
  int status = 0;
  EXPECT_FALSE(parse({dir_.path() + "/missing/a.txt"}, &status));
  EXPECT_EQ(status, STATUS_NOT_FOUND);
  EXPECT_EQ(config_->input_fs, nullptr);
  EXPECT_EQ(config_->output_fs, nullptr);
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].level, 'E');
  EXPECT_EQ(capture.lines()[0].message,
            "Could not open input folder \"" + dir_.path() + "/missing\"");
}
