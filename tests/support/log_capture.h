// Captures log lines during a test: installs itself as the log sink, lets
// every level through, and restores the default sink and threshold after.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_LOG_CAPTURE_H_
#define TRACEWRIGHT_TESTS_SUPPORT_LOG_CAPTURE_H_

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "log/log.h"

struct LogCapture {
  std::vector<std::string> lines;  ///< whole lines, as the sink receives them
  const int32_t saved_threshold = log_output_level;

  LogCapture() {
    log_set_output_level(0);
    auto keep = [](char* start, char* end, void* self) {
      static_cast<LogCapture*>(self)->lines.emplace_back(start, end);
      return static_cast<int>(end - start);
    };
    log_set_sink(keep, this);
  }
  ~LogCapture() {
    log_set_sink(nullptr, nullptr);
    log_set_output_level(saved_threshold);
  }
  /// Each line's text behind its context "MM-DD hh:mm:ss.mmm PPPPP TTTTT L "
  /// (the ids may be wider).
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
      int letter_end = 0;
      sscanf(line.c_str(), "%*s %*s %*d %*d %*c%n", &letter_end);
      out.push_back(line.substr(std::min<size_t>(line.size(), letter_end + 1)));
    }
    return out;
  }
};

#endif  // TRACEWRIGHT_TESTS_SUPPORT_LOG_CAPTURE_H_
