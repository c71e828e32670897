#include "cli/run_tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

static std::string read_back(FILE* file) {
  std::string text;
  rewind(file);
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  fclose(file);
  return text;
}

ToolRun run_tool(const ToolCall& call) {
  // Everything the child needs is prepared before the fork: only
  // async-signal-safe calls run between fork and exec.
  std::string name = TRACEWRIGHT_BINARY;
  std::vector<std::string> args = call.args;
  std::vector<char*> argv;
  if (!call.empty_argv) argv.push_back(name.data());
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  char* envp[] = {nullptr};
  const char* cwd = call.working_directory.empty() ? nullptr : call.working_directory.c_str();
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int out_fd = out != nullptr ? fileno(out) : -1;
  int err_fd = err != nullptr ? fileno(err) : -1;

  pid_t child = fork();
  if (child == 0) {
    if (out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(250);
    if (cwd != nullptr && chdir(cwd) != 0) _exit(251);
    if (cwd != nullptr && call.remove_working_directory && rmdir(cwd) != 0) _exit(252);
    execve(TRACEWRIGHT_BINARY, argv.data(), envp);
    _exit(253);
  }
  ToolRun run{"", "", -1};
  int wait_status = 0;
  if (child < 0 || waitpid(child, &wait_status, 0) != child) {
    ADD_FAILURE() << "could not run " << TRACEWRIGHT_BINARY;
  } else if (WIFEXITED(wait_status)) {
    run.status = WEXITSTATUS(wait_status);
  }
  if (out != nullptr) run.out = read_back(out);
  if (err != nullptr) run.err = read_back(err);
  return run;
}
