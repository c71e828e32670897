// Helpers for the text log reader's tests: open a log held in memory, take
// its records as plain values, and pin the time zone for local-time checks.
#ifndef TRACEWRIGHT_TESTS_INPUT_TEXT_TEXT_LOG_FIXTURE_H_
#define TRACEWRIGHT_TESTS_INPUT_TEXT_TEXT_LOG_FIXTURE_H_

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/text_log_reader.h"
#include "platform/stream.h"
#include "support/memory_stream.h"

/// One decoded record as plain values. `has_data` tells whether DataBytes
/// pointed at the record's Payload (it is null when no data field was seen).
struct Frame {
  double Timestamp = 0;
  uint32_t ID = 0;
  uint32_t Kind = 0;
  uint8_t IDE = 0;
  uint8_t Dir = 0;
  uint8_t BusChannel = 0;
  uint8_t DLC = 0;
  bool has_data = false;
  std::vector<uint8_t> payload;  ///< the DataLength bytes
};

inline Frame frame_of(const BusMessage& record) {
  Frame frame;
  frame.Timestamp = record.Timestamp;
  frame.ID = record.ID;
  frame.Kind = record.Kind;
  frame.IDE = record.CAN.IDE;
  frame.Dir = record.CAN.Dir;
  frame.BusChannel = record.CAN.BusChannel;
  frame.DLC = record.CAN.DLC;
  frame.has_data = record.DataBytes == record.CAN.Payload;
  frame.payload.assign(record.CAN.Payload, record.CAN.Payload + record.DataLength);
  return frame;
}

/// A reader over an in-memory copy of `text`; `reader` is null when the file
/// is refused.
struct OpenLog {
  explicit OpenLog(std::string_view text)
      : stream(memory_stream_create(text)), reader(text_log_open(stream.get())) {}
  ~OpenLog() { text_log_close(reader); }
  OpenLog(const OpenLog&) = delete;
  OpenLog& operator=(const OpenLog&) = delete;

  /// Rewinds as the pipeline does and decodes every record.
  std::vector<Frame> frames() {
    std::vector<Frame> result;
    text_log_rewind(reader);
    BusMessage record{};
    while (text_log_next(reader, &record) == 1) result.push_back(frame_of(record));
    return result;
  }

  StreamPtr stream;
  TextLogReader* reader;
};

/// Sets TZ for the life of the object and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

#endif  // TRACEWRIGHT_TESTS_INPUT_TEXT_TEXT_LOG_FIXTURE_H_
