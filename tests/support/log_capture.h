// Captures log lines during a test: installs itself as the log sink, lets
// every level through, and restores the default sink and threshold after.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_LOG_CAPTURE_H_
#define TRACEWRIGHT_TESTS_SUPPORT_LOG_CAPTURE_H_

#include <cstdint>
#include <string>
#include <vector>

struct CapturedLine {
  char level;           ///< the level letter
  std::string message;  ///< the text after the context
  std::string line;     ///< the whole line as the sink received it
};

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();

  const std::vector<CapturedLine>& lines() const { return lines_; }
  std::vector<std::string> messages() const;

 private:
  std::vector<CapturedLine> lines_;
  int32_t saved_threshold_;
};

#endif  // TRACEWRIGHT_TESTS_SUPPORT_LOG_CAPTURE_H_
