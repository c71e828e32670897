#include "support/log_capture.h"

#include <algorithm>
#include <cstdio>

#include "log/log.h"

LogCapture::LogCapture() : saved_threshold_(log_output_level) {
  log_set_output_level(0);
  log_set_sink(
      [](char* start, char* end, void* self) {
        // The context is "MM-DD hh:mm:ss.mmm PPPPP TTTTT L "; ids may be wider.
        std::string line(start, end);
        char level = '\0';
        int letter_end = 0;
        sscanf(line.c_str(), "%*s %*s %*d %*d %c%n", &level, &letter_end);
        std::string message = line.substr(std::min<size_t>(line.size(), letter_end + 1));
        static_cast<LogCapture*>(self)->lines_.push_back({level, message, line});
        return static_cast<int>(end - start);
      },
      this);
}

LogCapture::~LogCapture() {
  log_set_sink(nullptr, nullptr);
  log_set_output_level(saved_threshold_);
}

std::vector<std::string> LogCapture::messages() const {
  std::vector<std::string> out;
  for (const CapturedLine& l : lines_) out.push_back(l.message);
  return out;
}
