// The hidden names beside a trace, in one place for the trace and its runs.
#include "output/temporary_names.h"

#include "platform/path.h"
#include "platform/str.h"

#include <unistd.h>

static std::string hidden_sibling(std::string_view trace_path, const char* suffix) {
  std::string hidden(path_dir_prefix(trace_path));
  std::string_view name = path_basename(trace_path).substr(0, 200);
  // The thread's id, not the process's: workers of one run may reach one
  // folder through a link, and no live thread of any process has another's
  // id. In the main thread it is the process id.
  str_append_printf(&hidden, ".%.*s.%ld.%s", static_cast<int>(name.size()), name.data(),
                    static_cast<long>(gettid()), suffix);
  return hidden;
}

std::string temporary_trace_path(std::string_view trace_path) {
  return hidden_sibling(trace_path, "tmp");
}

std::string temporary_run_prefix(std::string_view trace_path) {
  return hidden_sibling(trace_path, "run");
}
