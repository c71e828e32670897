#include "cli/run_tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ToolRun run_tool(const ToolCall& call) {
  TempDir capture;
  const std::string out_path = capture.path() + "/stdout";
  const std::string err_path = capture.path() + "/stderr";

  // Everything the child needs is prepared before the fork: only
  // async-signal-safe calls run between fork and exec.
  std::string name = TRACEWRIGHT_BINARY;
  std::vector<std::string> args = call.args;
  std::vector<char*> argv;
  if (!call.empty_argv) {
    argv.push_back(name.data());
    for (std::string& arg : args) argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  char* envp[] = {nullptr};

  pid_t child = fork();
  if (child == 0) {
    int out_fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(250);
    if (!call.working_directory.empty()) {
      if (chdir(call.working_directory.c_str()) != 0) _exit(251);
      if (call.remove_working_directory && rmdir(call.working_directory.c_str()) != 0) _exit(252);
    }
    execve(TRACEWRIGHT_BINARY, argv.data(), envp);
    _exit(253);
  }
  ToolRun run{"", "", -1};
  int wait_status = 0;
  if (child < 0 || waitpid(child, &wait_status, 0) != child) {
    ADD_FAILURE() << "could not run " << TRACEWRIGHT_BINARY;
    return run;
  }
  if (WIFEXITED(wait_status)) run.status = WEXITSTATUS(wait_status);
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  return run;
}

ToolRun run_tool(const std::vector<std::string>& args) {
  ToolCall call;
  call.args = args;
  return run_tool(call);
}
