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
#include "convert/exit_status.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "support/temp_dir.h"

// The usage text: the syntax line, whose inputs' part depends on the
// argument count, and the glossary.
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

TEST(CommandLine, UsageVersionOrTheFirstErrorDecidesTheOutputAndTheStatus) {
  TempDir dir;  // the working directory: a.txt and file exist, out does not
  dir.touch("a.txt");
  dir.touch("file");
  const std::string bad_root =
      "tracewright: input file(s)/folder(s) do not share a common root directory\n";
  const std::string bad_out = "tracewright: invalid output directory: \"out\"\n";
  const std::string no_inputs = "tracewright: missing option file(s)/folder(s)\n";
  const std::string version = std::string("Version: ") + TRACEWRIGHT_VERSION + "\n";
  // The usage by argument count: one optional repetition of the inputs per
  // argument beyond the first, cut short with "..." from four arguments on.
  const std::string inputs = kSyntaxHead + "file(s)/folder(s)";
  const std::string more = " [file(s)/folder(s)]";
  const std::string usage_1 = inputs + "\n" + kGlossary;
  const std::string usage_2 = inputs + more + "\n" + kGlossary;
  const std::string usage_3 = inputs + more + more + "\n" + kGlossary;
  const std::string usage_4 = inputs + more + "...\n" + kGlossary;
  constexpr int kBad = STATUS_BAD_COMMAND_LINE;
  const struct {
    std::vector<std::string> args;
    std::string out;
    int status;
  } rows[] = {
      // The usage wins over everything.
      {{}, usage_1, 0},
      {{"--help"}, usage_1, 0},
      {{"--help", "-h"}, usage_2, 0},
      {{"-v", "--help"}, usage_2, 0},
      {{"--help", "-b"}, usage_2, 0},
      {{"--verbosity=9", "--help"}, usage_2, 0},
      {{"-b", "x", "--help"}, usage_3, 0},
      {{"--help", "a", "b", "c"}, usage_4, 0},
      {{"--help", "-O", "out", "a", "sub/b"}, usage_4, 0},
      // The version line wins over every error and check.
      {{"-v"}, version, 0},
      {{"--version"}, version, 0},
      {{"-v", "--foo"}, version, 0},
      {{"-v", "-h"}, version, 0},
      {{"-b", "x", "-v"}, version, 0},
      {{"--verbosity=7", "-v", "a"}, version, 0},
      {{"-v", "-O", "out", "a", "b/c"}, version, 0},
      // Bad numbers and missing values end the run without a word.
      {{"--verbosity=6", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"--verbosity=-1", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"--verbosity=x", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"-b", "x", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"-b", "12abc", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"-b", "x"}, "", STATUS_INVALID_VALUE},  // wins over the missing inputs
      {{"a.txt", "-b"}, "", STATUS_MISSING_VALUE},
      {{"-b"}, "", STATUS_MISSING_VALUE},
      {{"a.txt", "-O"}, "", STATUS_MISSING_VALUE},
      // Everything else prints the list. Help has no short form.
      {{"-h"}, "tracewright: invalid option \"-h\"\n", kBad},
      {{"--foo", "a.txt"}, "tracewright: invalid option \"--foo\"\n", kBad},
      {{"-h", "-b", "x", "a.txt"},
       "tracewright: invalid option \"-h\"\n"
       "tracewright: invalid argument \"x\" to option -b|--buffer=<n>\n",
       kBad},
      {{"-b", "99999999999", "a.txt"},
       "tracewright: integer overflow at option -b|--buffer=<n> (99999999999 is too large)\n",
       kBad},
      {{"a.txt", "-X", "-X"}, "tracewright: extraneous option -X|--no-append-root\n", kBad},
      // A value given to a flag is an invalid option, in order among the errors.
      {{"--help=1"}, "tracewright: invalid option \"--help=1\"\n", kBad},
      {{"--version=1", "a.txt"}, "tracewright: invalid option \"--version=1\"\n", kBad},
      {{"--non-interactive=1", "a.txt"}, "tracewright: invalid option \"--non-interactive=1\"\n",
       kBad},
      {{"a.txt", "--delete-converted="},
       "tracewright: invalid option \"--delete-converted=\"\n", kBad},
      {{"--no-append-root=1", "-b", "x", "a.txt"},
       "tracewright: invalid option \"--no-append-root=1\"\n"
       "tracewright: invalid argument \"x\" to option -b|--buffer=<n>\n",
       kBad},
      {{"-b", "x", "--no-app=1", "a.txt"}, "", STATUS_INVALID_VALUE},
      {{"--input-files=x", "a.txt"}, "tracewright: invalid option \"--input-files=x\"\n", kBad},
      {{"-dO", "--help=1", "a.txt"}, "tracewright: invalid output directory: \"--help=1\"\n",
       kBad},
      {{"-d"}, no_inputs, kBad},
      // The checks: output directory first, then the inputs.
      {{"-O", "out", "a.txt"}, bad_out, kBad},
      {{"-O", "file", "a.txt"}, "tracewright: invalid output directory: \"file\"\n", kBad},
      {{"a.txt", "./b.txt"}, bad_root, kBad},
      {{"a.txt", "--output-directory=out", "sub/b.txt"}, bad_out + bad_root, kBad},
      {{"-O", "out"}, bad_out + no_inputs, kBad},
      // A bad verbosity only counts once the command line is otherwise clean.
      {{"a.txt", "sub/b.txt", "--verbosity=9"}, bad_root, kBad},
  };
  for (const auto& row : rows) {
    ToolRun run = run_tool({.args = row.args, .working_directory = dir.path()});
    SCOPED_TRACE(row.args.empty() ? "(none)" : row.args.front() + " ... " + row.args.back());
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, row.status);
  }
  ToolRun bare = run_tool({.empty_argv = true});
  EXPECT_EQ(bare.out, usage_1);
  EXPECT_EQ(bare.status, 0);
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

TEST(CommandLineInputRoot, UnreadableWorkingDirectoryFailsRelativeInputs) {
  TempDir dir;
  dir.make_dir("gone");
  ToolRun run = run_tool({.args = {"a.txt"},
                          .working_directory = dir.path() + "/gone",
                          .remove_working_directory = true});
  EXPECT_EQ(run.out,
            "tracewright: cannot read the working directory for relative input "
            "file(s)/folder(s)\n");
  EXPECT_EQ(run.status, STATUS_BAD_COMMAND_LINE);
}

// In process: parses a clean command line into a fresh configuration.
static ConfigPtr parse(std::vector<std::string> args) {
  ConfigPtr config(config_create());
  args.insert(args.begin(), "tracewright");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int status = 77;
  const int argc = static_cast<int>(args.size());
  EXPECT_TRUE(parse_command_line(config.get(), argc, argv.data(), &status));
  EXPECT_EQ(status, 77);  // untouched on success
  return config;
}

TEST(ParseCommandLine, StoresTheOptionsAndSetsTheThresholdFromTheVerbosity) {
  const int32_t saved_threshold = log_output_level;
  TempDir dir;
  dir.make_dir("logs");
  dir.make_dir("out");
  const std::string logs = dir.file("logs");
  const std::string out = dir.file("out");

  ConfigPtr plain = parse({logs});
  const ConversionOptions& defaults = plain->options;
  EXPECT_FALSE(defaults.delete_converted || defaults.no_append_root || defaults.non_interactive);
  EXPECT_EQ(defaults.buffer_size, -1);
  ASSERT_NE(plain->input_fs, nullptr);
  EXPECT_EQ(plain->input_fs->root, dir.path());
  EXPECT_EQ(plain->output_fs, plain->input_fs);
  EXPECT_EQ(log_output_level, LOG_ERROR);

  ConfigPtr full =
      parse({"-d", "-X", "--non-interactive", "-b", "0x10", "-O", out, "-i", logs, logs});
  const ConversionOptions& given = full->options;
  EXPECT_TRUE(given.delete_converted && given.no_append_root && given.non_interactive);
  EXPECT_EQ(given.buffer_size, 16);
  EXPECT_EQ(full->inputs, (std::vector<std::string>{"logs", "logs"}));
  ASSERT_NE(full->output_fs, nullptr);
  EXPECT_EQ(full->output_fs->root, out);
  EXPECT_EQ(parse({"--buffer=-5", logs})->options.buffer_size, -5);

  const int32_t expected[] = {LOG_FATAL, LOG_ERROR, LOG_WARN, LOG_INFO, LOG_VERBOSE, LOG_VERBOSE};
  for (int verbosity = 0; verbosity <= 5; ++verbosity) {
    log_set_output_level(0);
    parse({"--verbosity=" + std::to_string(verbosity), logs});
    EXPECT_EQ(log_output_level, expected[verbosity]) << "verbosity " << verbosity;
  }
  log_set_output_level(saved_threshold);
}
