// The reader end to end over in-memory logs: opening and refusing files,
// binding columns, decoding records, line ends, and timestamps that wrap.
#include "input/text/text_log_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/column_decoders.h"
#include "platform/stream.h"
#include "text_log_fixture.h"

static const char kWorkedExample[] =
    "# Logger type: Marrowbox2000\n"
    "# HW rev: 2.1\n"
    "# FW rev: 5.63\n"
    "# Logger ID: 1A2B3C4D\n"
    "# Session No.: 12\n"
    "# Split No.: 3\n"
    "# Time: 20240315T101500\n"
    "# Value separator: \";\"\n"
    "# Time format: 3\n"
    "# Time separator: \":\"\n"
    "# Time separator ms: \".\"\n"
    "# Date separator: \"\"\n"
    "# Time and date separator: \"\"\n"
    "# Bit-rate: 500000\n"
    "# Silent mode: false\n"
    "# Cyclic mode: false\n"
    "Timestamp;Lost;Type;ID;Length;Data\n"
    "10:15:00.123;0;0;123;2;0102\n"
    "10:15:01.999;0;9;18FF1234;8;1122334455667788\n"
    "00:00:05.000;0;8;7DF;3;020110\n";

static const std::string kSemicolon = "# Value separator: \";\"\n";

// The head of the logs with short times: ";" between columns, ":" and "."
// inside times, dated by the header.
static std::string header(int time_format) {
  return "# Time: 20240315T101500\n" + kSemicolon +
         "# Time format: " + std::to_string(time_format) + "\n"
         "# Time separator: \":\"\n"
         "# Time separator ms: \".\"\n";
}

/// The decoder bound to each slot, or "refused" for a null reader.
static std::string slots_of(const TextLogReader* reader) {
  if (reader == nullptr) return "refused";
  std::string text;
  for (ColumnDecoder decoder : reader->ColumnDecoders) {
    text += decoder == &text_log_decode_timestamp ? "time "
            : decoder == &text_log_decode_type    ? "type "
            : decoder == &text_log_decode_id      ? "id "
            : decoder == &text_log_decode_length  ? "length "
            : decoder == &text_log_decode_data    ? "data "
                                                  : "- ";
  }
  text.pop_back();
  return text;
}

TEST(TextLogReader, WorkedExampleGivesItsHeaderSlotsAndRecordsWhateverTheLineEnds) {
  const std::string lf = kWorkedExample;
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? "\r\n" : std::string(1, c);
  for (const std::string& text : {lf, crlf, lf.substr(0, lf.size() - 1)}) {
    OpenLog log(text);
    ASSERT_NE(log.reader, nullptr);
    EXPECT_EQ(header_text(*log.reader),
              "LoggerType=1 HwRev=2.1 FwRev=5.63 LoggerId=1A2B3C4D SessionNo=12 SplitNo=3 "
              "HeaderTimeText=20240315T101500 ValueSeparator=; TimeFormat=3 TimeSeparator=: "
              "TimeSeparatorMs=. BitRate=500000");
    EXPECT_EQ(slots_of(log.reader), "time - type id length data -");
    EXPECT_EQ(log.reader->DataStart, text.find("10:15:00.123"));
    EXPECT_EQ(stream_tell(log.stream.get()), log.reader->DataStart);
    // Midnight has passed before the last line: the day step of time format
    // 3 dates it the next day.
    EXPECT_EQ(log.records(),
              "1710497700.123 123 ide0 dir0 dlc2 01 02\n"
              "1710497701.999 18FF1234 ide1 dir1 dlc8 11 22 33 44 55 66 77 88\n"
              "1710547205.000 7DF ide0 dir1 dlc3 02 01 10\n");
    EXPECT_EQ(log.reader->RolloverOffset, 86400u);
    EXPECT_EQ(log.reader->reference_seconds, 1710497700);
    EXPECT_EQ(log.reader->reference_milliseconds, 123);

    // At the end the record is left as the last line made it.
    BusMessage record{};
    record.ID = 0xABC;
    EXPECT_EQ(text_log_next(log.reader, &record), 0);
    EXPECT_EQ(record.ID, 0xABCu);
  }
}

TEST(TextLogOpen, BindsColumnsInTitleOrderOrRefusesTheFile) {
  const struct {
    std::string text;
    const char* slots;
  } rows[] = {
      // Only seven titles count.
      {kSemicolon + "Timestamp;Channel;ID;Lost;Lost;Lost;Type;Data\n", "time - id - - - type"},
      {kSemicolon + "Lost\n", "- - - - - - -"},  // a known column all the same
      {kSemicolon + "Timestamp;ID", "time id - - - - -"},  // the title line ends the file
      {"", "refused"},
      {"Timestamp;ID\n" + kSemicolon, "refused"},               // no "#" line first
      {kSemicolon + "# Time format: 1\n", "refused"},           // no title line
      {kSemicolon + "Time;Foo\n1;2\n", "refused"},              // no known title
      {"# Time format: 1\nTimestamp\n1\n", "refused"},          // no value separator
      {"# Value separator: ;\nTimestamp;ID\n1;2\n", "refused"},  // malformed separator
      {kSemicolon + "\nTimestamp;ID\n1;2\n", "refused"},        // blank line as title
  };
  for (const auto& row : rows) {
    OpenLog log(row.text);
    EXPECT_EQ(slots_of(log.reader), row.slots) << row.text;
  }
  EXPECT_EQ(text_log_open(nullptr), nullptr);
}

TEST(TextLogNext, EveryFrameLineDecodesIntoOneRecord) {
  const std::string cut_line = "1;1122334455667788" + std::string(181, '0') + "7DF;99\n";
  const std::string separated =
      kSemicolon +
      "# Date separator: \"-\"\n"
      "# Time separator: \":\"\n"
      "# Time separator ms: \".\"\n"
      "# Time and date separator: \" \"\n";
  const struct {
    std::string text;
    std::string records;
    uint32_t rollover;
  } rows[] = {
      // Each column decodes in its own order: Length after Data has the last
      // word on DLC.
      {kSemicolon + "ID;Data;Type;Length\n7DF;0102;1;3\n", "0.000 7DF ide1 dir0 dlc3 01 02\n", 0},
      // Unknown and surplus columns are skipped; the seventh field ends at its
      // separator. Without a header time the day is 1970-01-01.
      {kSemicolon +
           "Timestamp;Channel;ID;Lost;Lost;Lost;Data;ID\n101500123;9;7DF;a;b;c;0102;FF;1\n",
       "36900.123 7DF ide0 dir0 dlc2 01 02\n", 0},
      // A short line with a separator is a record, made afresh; lines
      // without one, and "#" lines, are none.
      {kSemicolon + "ID;Data\n123;0102\n\n7DF\n# a comment;\n1;\n",
       "0.000 123 ide0 dir0 dlc2 01 02\n0.000 1 ide0 dir0 dlc0\n", 0},
      // A line is cut at 199 bytes; its last field ends there and the rest
      // is the next line.
      {kSemicolon + "ID;Data\n" + cut_line,
       "0.000 1 ide0 dir0 dlc8 11 22 33 44 55 66 77 88\n0.000 7DF ide0 dir0 dlc1 99\n", 0},
      // Separators make no difference; an overlong field keeps its last digits.
      {kSemicolon + "Timestamp\n20240315101500123\n", "1710497700.123 0 ide0 dir0 dlc0 -\n", 0},
      {separated + "Timestamp\n2024-03-15 10:15:00.123\n", "1710497700.123 0 ide0 dir0 dlc0 -\n",
       0},
      {kSemicolon + "Timestamp\n" + std::string(150, '9') + "20240315101500123\n",
       "1710497700.123 0 ide0 dir0 dlc0 -\n", 0},
      // Behind the first record: wrapped, one step added once.
      {header(1) + "Timestamp\n30.000\n10.000\n05.000\n",
       "1710497730.000 0 ide0 dir0 dlc0 -\n1710497770.000 0 ide0 dir0 dlc0 -\n"
       "1710497765.000 0 ide0 dir0 dlc0 -\n",
       60},
  };
  for (const auto& row : rows) {
    OpenLog log(row.text);
    ASSERT_NE(log.reader, nullptr) << row.text;
    EXPECT_EQ(log.records(), row.records) << row.text;
    EXPECT_EQ(log.reader->RolloverOffset, row.rollover) << row.text;
  }
}

TEST(TextLogNext, TimestampReferenceBelongsToEachFile) {
  // The second file starts earlier in the minute than the first one did;
  // decoding the first must not make it look wrapped.
  OpenLog first(header(1) + "Timestamp\n30.000\n40.000\n");
  EXPECT_EQ(first.records(),
            "1710497730.000 0 ide0 dir0 dlc0 -\n1710497740.000 0 ide0 dir0 dlc0 -\n");
  OpenLog second(header(1) + "Timestamp\n10.000\n20.000\n");
  EXPECT_EQ(second.records(),
            "1710497710.000 0 ide0 dir0 dlc0 -\n1710497720.000 0 ide0 dir0 dlc0 -\n");
}

TEST(TextLogNext, ShortTimesWrapAtEveryStepOfTheirFormat) {
  constexpr int64_t kStart = 1710497700;  // 2024-03-15 10:15:00 UTC
  constexpr int kStartOfDay = 10 * 3600 + 15 * 60;
  const struct {
    int time_format;
    int period;  // seconds between records, over `span` seconds
    int span;
    bool dot;      // a "." before the milliseconds
    size_t width;  // the end of "hh:mm:ss.mmm" that is written
    uint32_t rollover;
  } rows[] = {
      {1, 7, 5 * 60, true, 6, 4 * 60},  // seconds only: every minute
      {1, 7, 5 * 60, false, 5, 4 * 60},
      {2, 97, 3 * 3600, true, 9, 3 * 3600},  // minutes and seconds: every hour
      {3, 3 * 3600 + 17 * 60, 3 * 86400, true, 12, 3 * 86400},  // times of day: every midnight
  };
  for (const auto& row : rows) {
    std::string text = header(row.time_format) + "Timestamp;ID\n";
    std::string expected;
    for (int elapsed = 0; elapsed < row.span; elapsed += row.period) {
      int t = (kStartOfDay + elapsed) % 86400;
      int ms = (elapsed * 37) % 1000;
      char field[32];
      snprintf(field, sizeof field, "%02d:%02d:%02d%s%03d", t / 3600, t % 3600 / 60, t % 60,
               row.dot ? "." : "", ms);
      text += std::string(field + strlen(field) - row.width) + ";1\n";
      char record[64];
      snprintf(record, sizeof record, "%lld.%03d 1 ide0 dir0 dlc0 -\n",
               static_cast<long long>(kStart + elapsed), ms);
      expected += record;
    }
    OpenLog log(text);
    ASSERT_NE(log.reader, nullptr);
    EXPECT_EQ(log.records(), expected) << "time format " << row.time_format;
    EXPECT_EQ(log.reader->RolloverOffset, row.rollover);
  }
}
