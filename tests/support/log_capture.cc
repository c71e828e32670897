#include "support/log_capture.h"

#include "log/log.h"

// The context is "MM-DD hh:mm:ss.mmm PPPPP TTTTT L " with ids of at least
// five columns; the level letter is the first field after the two ids.
static size_t context_end(const std::string& line, char* level) {
  size_t pos = 18;  // behind "MM-DD hh:mm:ss.mmm"
  for (int field = 0; field < 2; ++field) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
  }
  ++pos;  // the blank before the letter
  *level = pos < line.size() ? line[pos] : '\0';
  return pos + 2;
}

LogCapture::LogCapture(int32_t threshold) : saved_threshold_(log_output_level) {
  log_set_output_level(threshold);
  log_set_sink(&LogCapture::sink, this);
}

LogCapture::~LogCapture() {
  log_set_sink(nullptr, nullptr);
  log_set_output_level(saved_threshold_);
}

int LogCapture::sink(char* start, char* end, void* arg) {
  auto* self = static_cast<LogCapture*>(arg);
  CapturedLine captured;
  captured.line.assign(start, end);
  size_t message_start = context_end(captured.line, &captured.level);
  captured.message = message_start <= captured.line.size()
                         ? captured.line.substr(message_start)
                         : std::string();
  self->lines_.push_back(std::move(captured));
  return static_cast<int>(end - start);
}

std::vector<std::string> LogCapture::messages() const {
  std::vector<std::string> out;
  for (const CapturedLine& l : lines_) out.push_back(l.message);
  return out;
}
