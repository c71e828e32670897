// Helpers for the text log reader's tests: header fields and records as
// text, and a reader over a log held in memory.
#ifndef TRACEWRIGHT_TESTS_INPUT_TEXT_TEXT_LOG_FIXTURE_H_
#define TRACEWRIGHT_TESTS_INPUT_TEXT_TEXT_LOG_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "convert/bus_message.h"
#include "input/text/text_log_reader.h"
#include "platform/stream.h"
#include "support/memory_stream.h"

/// The time to the millisecond, ID, IDE, Dir, DLC, then "-" when no data
/// field was seen (DataBytes is not the Payload), then the DataLength bytes:
/// "1710497700.123 123 ide0 dir0 dlc2 01 02".
inline std::string record_text(const BusMessage& record) {
  char text[64];
  snprintf(text, sizeof text, "%.3f %X ide%u dir%u dlc%u", record.Timestamp, record.ID,
           record.CAN.IDE, record.CAN.Dir, record.CAN.DLC);
  std::string result = text;
  if (record.DataBytes != record.CAN.Payload) result += " -";
  for (uint64_t i = 0; i < record.DataLength && i < CAN_PAYLOAD_CAPACITY; ++i) {
    snprintf(text, sizeof text, " %02X", record.CAN.Payload[i]);
    result += text;
  }
  return result;
}

/// The header fields that differ from a zeroed reader, as "Name=value"
/// separated by blanks. HeaderTime is left out: it depends on the time zone.
inline std::string header_text(const TextLogReader& r) {
  std::string text;
  auto add = [&text](const char* name, bool set, const std::string& value) {
    if (set) text += (text.empty() ? "" : " ") + std::string(name) + "=" + value;
  };
  auto number = [&add](const char* name, int64_t v) { add(name, v != 0, std::to_string(v)); };
  auto word = [&add](const char* name, const char* v) { add(name, v[0] != '\0', v); };
  auto character = [&add](const char* name, char v) { add(name, v != '\0', std::string(1, v)); };
  number("LoggerType", r.LoggerType);
  word("HwRev", r.HwRev);
  word("FwRev", r.FwRev);
  word("LoggerId", r.LoggerId);
  number("SessionNo", r.SessionNo);
  number("SplitNo", r.SplitNo);
  word("HeaderTimeText", r.HeaderTimeText);
  character("ValueSeparator", r.ValueSeparator);
  number("TimeFormat", r.TimeFormat);
  character("TimeSeparator", r.TimeSeparator);
  character("TimeSeparatorMs", r.TimeSeparatorMs);
  character("DateSeparator", r.DateSeparator);
  character("TimeAndDateSeparator", r.TimeAndDateSeparator);
  number("BitRate", r.BitRate);
  number("SilentMode", r.SilentMode);
  number("CyclicMode", r.CyclicMode);
  return text;
}

/// A reader over an in-memory copy of `text`; `reader` is null when the file
/// is refused.
struct OpenLog {
  explicit OpenLog(std::string_view text)
      : stream(memory_stream_create(text)), reader(text_log_open(stream.get())) {}
  ~OpenLog() { text_log_close(reader); }
  OpenLog(const OpenLog&) = delete;
  OpenLog& operator=(const OpenLog&) = delete;

  /// Rewinds as the pipeline does and decodes every record into one reused
  /// record, as the pipeline does too: one line of record_text each.
  std::string records() {
    std::string result;
    if (reader == nullptr) return "<refused>";
    text_log_rewind(reader);
    BusMessage record{};
    while (text_log_next(reader, &record) == 1) {
      // Every record comes from the same template.
      EXPECT_EQ(record.Kind, CAN_DataFrame);
      EXPECT_EQ(record.CAN.BusChannel, 1);
      result += record_text(record) + "\n";
    }
    return result;
  }

  StreamPtr stream;
  TextLogReader* reader;
};

#endif  // TRACEWRIGHT_TESTS_INPUT_TEXT_TEXT_LOG_FIXTURE_H_
