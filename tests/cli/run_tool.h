// Runs the real tracewright binary in a child process and collects what a
// user would see: standard output, standard error and the exit status.
#ifndef TRACEWRIGHT_TESTS_CLI_RUN_TOOL_H_
#define TRACEWRIGHT_TESTS_CLI_RUN_TOOL_H_

#include <string>
#include <vector>

struct ToolRun {
  std::string out;  ///< standard output, byte for byte
  std::string err;  ///< standard error, byte for byte
  int status;       ///< exit status; -1 when the child did not exit normally
};

struct ToolCall {
  std::vector<std::string> args{};  ///< the arguments after the tool name
  std::string working_directory{};  ///< empty: the test's own
  /// Removes the (empty) working directory after entering it, so that the
  /// child cannot read it back.
  bool remove_working_directory = false;
  /// Starts the child with an empty argument vector (not even a tool name).
  bool empty_argv = false;
};

ToolRun run_tool(const ToolCall& call);

#endif  // TRACEWRIGHT_TESTS_CLI_RUN_TOOL_H_
