// The reader end to end over in-memory logs: opening and refusing files,
// binding columns, decoding records, line ends, and timestamps that wrap.
#include "input/text/text_log_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/column_decoders.h"
#include "platform/stream.h"
#include "support/memory_stream.h"
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

// The head every test log below shares: ";" between columns, ":" and "."
// inside times, dated by the header.
static std::string header(int time_format) {
  return "# Time: 20240315T101500\n"
         "# Value separator: \";\"\n"
         "# Time format: " + std::to_string(time_format) + "\n"
         "# Time separator: \":\"\n"
         "# Time separator ms: \".\"\n";
}

static std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

static void expect_worked_example_records(const std::vector<Frame>& frames) {
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_DOUBLE_EQ(frames[0].Timestamp, 1710497700.123);
  EXPECT_EQ(frames[0].ID, 0x123u);
  EXPECT_EQ(frames[0].IDE, 0);
  EXPECT_EQ(frames[0].Dir, 0);
  EXPECT_EQ(frames[0].DLC, 2);
  EXPECT_EQ(frames[0].payload, (std::vector<uint8_t>{0x01, 0x02}));

  EXPECT_DOUBLE_EQ(frames[1].Timestamp, 1710497701.999);
  EXPECT_EQ(frames[1].ID, 0x18FF1234u);
  EXPECT_EQ(frames[1].IDE, 1);
  EXPECT_EQ(frames[1].Dir, 1);
  EXPECT_EQ(frames[1].DLC, 8);
  EXPECT_EQ(frames[1].payload,
            (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));

  // Midnight has passed: the day step of time format 3 dates it the next day.
  EXPECT_DOUBLE_EQ(frames[2].Timestamp, 1710547205.0);
  EXPECT_EQ(frames[2].ID, 0x7DFu);
  EXPECT_EQ(frames[2].IDE, 0);
  EXPECT_EQ(frames[2].Dir, 1);
  EXPECT_EQ(frames[2].DLC, 3);
  EXPECT_EQ(frames[2].payload, (std::vector<uint8_t>{0x02, 0x01, 0x10}));

  for (const Frame& frame : frames) {
    EXPECT_EQ(frame.Kind, CAN_DataFrame);
    EXPECT_EQ(frame.BusChannel, 1);
    EXPECT_TRUE(frame.has_data);
  }
}

TEST(TextLogOpen, WorkedExampleFillsEveryHeaderField) {
  ScopedTimeZone utc("UTC0");
  OpenLog log(kWorkedExample);
  ASSERT_NE(log.reader, nullptr);
  const TextLogReader& r = *log.reader;
  EXPECT_EQ(r.stream, log.stream.get());
  EXPECT_EQ(r.LoggerType, 1u);
  EXPECT_STREQ(r.HwRev, "2.1");
  EXPECT_STREQ(r.FwRev, "5.63");
  EXPECT_STREQ(r.LoggerId, "1A2B3C4D");
  EXPECT_EQ(r.SessionNo, 12);
  EXPECT_EQ(r.SplitNo, 3);
  EXPECT_DOUBLE_EQ(r.HeaderTime, 1710497700.0);
  EXPECT_STREQ(r.HeaderTimeText, "20240315T101500");
  EXPECT_EQ(r.ValueSeparator, ';');
  EXPECT_EQ(r.TimeFormat, 3);
  EXPECT_EQ(r.TimeSeparator, ':');
  EXPECT_EQ(r.TimeSeparatorMs, '.');
  EXPECT_EQ(r.DateSeparator, '\0');
  EXPECT_EQ(r.TimeAndDateSeparator, '\0');
  EXPECT_EQ(r.BitRate, 500000);
  EXPECT_EQ(r.SilentMode, 0u);
  EXPECT_EQ(r.CyclicMode, 0u);
  EXPECT_EQ(r.RolloverOffset, 0u);

  EXPECT_EQ(r.ColumnDecoders[0], &text_log_decode_timestamp);
  EXPECT_EQ(r.ColumnDecoders[1], nullptr);
  EXPECT_EQ(r.ColumnDecoders[2], &text_log_decode_type);
  EXPECT_EQ(r.ColumnDecoders[3], &text_log_decode_id);
  EXPECT_EQ(r.ColumnDecoders[4], &text_log_decode_length);
  EXPECT_EQ(r.ColumnDecoders[5], &text_log_decode_data);
  EXPECT_EQ(r.ColumnDecoders[6], nullptr);

  uint32_t first_data_line = static_cast<uint32_t>(std::string(kWorkedExample).find("10:15:00.123"));
  EXPECT_EQ(r.DataStart, first_data_line);
  EXPECT_EQ(stream_tell(log.stream.get()), first_data_line);
}

TEST(TextLogNext, WorkedExampleDecodesEveryRecordWithItsRollover) {
  OpenLog log(kWorkedExample);
  ASSERT_NE(log.reader, nullptr);
  expect_worked_example_records(log.frames());
  EXPECT_EQ(log.reader->RolloverOffset, 86400u);
  EXPECT_EQ(log.reader->reference_seconds, 1710497700);
  EXPECT_EQ(log.reader->reference_milliseconds, 123);

  // At the end the record is left as the last line made it.
  BusMessage record{};
  bus_message_clear(&record);
  record.ID = 0xABC;
  EXPECT_EQ(text_log_next(log.reader, &record), 0);
  EXPECT_EQ(record.ID, 0xABCu);
}

TEST(TextLogNext, CarriageReturnLineFeedDecodesLikeLineFeed) {
  std::string crlf = replace_all(kWorkedExample, "\n", "\r\n");
  OpenLog log(crlf);
  ASSERT_NE(log.reader, nullptr);
  EXPECT_EQ(log.reader->ValueSeparator, ';');
  EXPECT_EQ(log.reader->SilentMode, 0u);
  EXPECT_EQ(log.reader->DataStart, crlf.find("10:15:00.123"));
  expect_worked_example_records(log.frames());
}

TEST(TextLogNext, LastLineWithoutLineFeedDecodesLikeOneWithIt) {
  std::string text = kWorkedExample;
  text.pop_back();
  OpenLog log(text);
  ASSERT_NE(log.reader, nullptr);
  expect_worked_example_records(log.frames());

  // The same holds for a title line that ends the file.
  OpenLog title_only("# Value separator: \";\"\nTimestamp;ID");
  ASSERT_NE(title_only.reader, nullptr);
  EXPECT_EQ(title_only.reader->ColumnDecoders[1], &text_log_decode_id);
}

TEST(TextLogNext, LineCutAtItsLimitEndsItsLastFieldThereAndGoesOnAsTheNextLine) {
  std::string data = "1122334455667788" + std::string(183, '0') + "99" + std::string(99, '0');
  OpenLog log("# Value separator: \";\"\nData;ID\n" + data + ";7DF\n");
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].payload,
            (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
  EXPECT_EQ(frames[0].ID, 0u);
  EXPECT_EQ(frames[1].payload, (std::vector<uint8_t>{0x99, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(frames[1].ID, 0x7DFu);
}

TEST(TextLogOpen, RefusesFileWithoutHeaderTitleOrKnownColumn) {
  const char* refused[] = {
      "",                                                  // empty
      "Timestamp;ID\n# Value separator: \";\"\n",           // no "#" line first
      "# Value separator: \";\"\n# Time format: 1\n",       // no title line
      "# Value separator: \";\"\nTime;Foo\n1;2\n",          // no known title
      "# Time format: 1\nTimestamp\n1\n",                  // no value separator
      "# Value separator: ;\nTimestamp;ID\n1;2\n",          // malformed separator
      "# Value separator: \";\"\n\nTimestamp;ID\n1;2\n",    // blank line as title
  };
  for (const char* text : refused) {
    OpenLog log(text);
    EXPECT_EQ(log.reader, nullptr) << text;
  }
  EXPECT_EQ(text_log_open(nullptr), nullptr);
}

TEST(TextLogOpen, ColumnsBindInTitleOrderAndOnlySeven) {
  OpenLog log("# Value separator: \";\"\nTimestamp;Channel;ID;Lost;Lost;Lost;Type;Data\n");
  ASSERT_NE(log.reader, nullptr);
  EXPECT_EQ(log.reader->ColumnDecoders[0], &text_log_decode_timestamp);
  EXPECT_EQ(log.reader->ColumnDecoders[1], nullptr);
  EXPECT_EQ(log.reader->ColumnDecoders[2], &text_log_decode_id);
  EXPECT_EQ(log.reader->ColumnDecoders[6], &text_log_decode_type);

  // "Lost" alone is a known column, so the file opens.
  OpenLog lost_only("# Value separator: \";\"\nLost\n");
  EXPECT_NE(lost_only.reader, nullptr);
}

TEST(TextLogNext, ColumnsDecodeInTheirOwnOrder) {
  OpenLog log("# Value separator: \";\"\nID;Data;Type;Length\n7DF;0102;1;3\n");
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].ID, 0x7DFu);
  // Length comes after Data here, so it has the last word on DLC.
  EXPECT_EQ(frames[0].DLC, 3);
  EXPECT_EQ(frames[0].payload, (std::vector<uint8_t>{0x01, 0x02}));
  EXPECT_EQ(frames[0].IDE, 1);
  EXPECT_EQ(frames[0].Dir, 0);
}

TEST(TextLogNext, UnknownAndSurplusColumnsAreSkipped) {
  OpenLog log(
      "# Value separator: \";\"\n"
      "Timestamp;Channel;ID;Lost;Lost;Lost;Data;ID\n"
      "101500123;999;7DF;a;b;c;0102;FF;123\n");
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].ID, 0x7DFu);
  // The seventh field ends at its separator; what follows is never read.
  EXPECT_EQ(frames[0].payload, (std::vector<uint8_t>{0x01, 0x02}));
}

TEST(TextLogNext, EveryLineIsARecordEvenBlankOrShortOrHashed) {
  OpenLog log(header(0) +
              "Timestamp;ID;Data\n"
              "\n"
              "10:15:01.000;7DF\n"
              "# not a comment here\n");
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 3u);
  // Blank: dated by the header time and the template alone, no data seen.
  EXPECT_DOUBLE_EQ(frames[0].Timestamp, 1710497700.0);
  EXPECT_EQ(frames[0].ID, 0u);
  EXPECT_FALSE(frames[0].has_data);
  EXPECT_TRUE(frames[0].payload.empty());
  EXPECT_EQ(frames[0].Kind, CAN_DataFrame);
  EXPECT_EQ(frames[0].BusChannel, 1);

  EXPECT_DOUBLE_EQ(frames[1].Timestamp, 1710497701.0);
  EXPECT_EQ(frames[1].ID, 0x7DFu);
  EXPECT_FALSE(frames[1].has_data);
  EXPECT_EQ(frames[2].Kind, CAN_DataFrame);
}

TEST(TextLogNext, SeparatedAndPlainFullTimestampsAgree) {
  OpenLog plain("# Value separator: \";\"\nTimestamp\n20240315101500123\n");
  OpenLog separated(
      "# Value separator: \";\"\n"
      "# Date separator: \"-\"\n"
      "# Time separator: \":\"\n"
      "# Time separator ms: \".\"\n"
      "# Time and date separator: \" \"\n"
      "Timestamp\n"
      "2024-03-15 10:15:00.123\n");
  ASSERT_NE(plain.reader, nullptr);
  ASSERT_NE(separated.reader, nullptr);
  std::vector<Frame> a = plain.frames();
  std::vector<Frame> b = separated.frames();
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_DOUBLE_EQ(a[0].Timestamp, 1710497700.123);
  EXPECT_EQ(a[0].Timestamp, b[0].Timestamp);
}

TEST(TextLogNext, TimeWithoutHeaderDateFallsOnTheFirstDayOf1970) {
  OpenLog log("# Value separator: \";\"\nTimestamp\n101500123\n");
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_DOUBLE_EQ(frames[0].Timestamp, 36900.123);
}

TEST(TextLogNext, OverlongFieldsAreCutAndTheRestOfTheLineStillDecodes) {
  std::string stamp = std::string(150, '9') + "20240315101500123";
  OpenLog log(
      "# Value separator: \";\"\n"
      "# HW rev: 0123456789\n"
      "# Time: 20240315T101500 and then some more text\n"
      "Timestamp;Type;ID;Data\n" +
      stamp + ";9;7DF;0102\n");
  ASSERT_NE(log.reader, nullptr);
  EXPECT_STREQ(log.reader->HwRev, "0123");
  EXPECT_STREQ(log.reader->HeaderTimeText, "20240315T101500 and");
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_DOUBLE_EQ(frames[0].Timestamp, 1710497700.123);
  EXPECT_EQ(frames[0].IDE, 1);
  EXPECT_EQ(frames[0].ID, 0x7DFu);
  EXPECT_EQ(frames[0].payload, (std::vector<uint8_t>{0x01, 0x02}));
}

TEST(TextLogNext, RolloverEdgeCaseAddsOneStepOnce) {
  OpenLog log(header(1) + "Timestamp\n30.000\n10.000\n05.000\n");
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_DOUBLE_EQ(frames[0].Timestamp, 1710497730.0);
  EXPECT_DOUBLE_EQ(frames[1].Timestamp, 1710497770.0);
  EXPECT_DOUBLE_EQ(frames[2].Timestamp, 1710497765.0);
  EXPECT_EQ(log.reader->RolloverOffset, 60u);
}

TEST(TextLogNext, BackwardJitterBelowHalfAStepAddsNothing) {
  OpenLog log(header(1) + "Timestamp\n10.000\n50.000\n25.500\n20.000\n");
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_DOUBLE_EQ(frames[2].Timestamp, 1710497725.5);
  EXPECT_DOUBLE_EQ(frames[3].Timestamp, 1710497720.0);
  EXPECT_EQ(log.reader->RolloverOffset, 0u);
}

TEST(TextLogNext, TimestampReferenceBelongsToEachFile) {
  // The second file starts earlier in the minute than the first one did;
  // decoding the first must not make it look wrapped.
  std::string first = header(1) + "Timestamp\n30.000\n40.000\n";
  std::string second = header(1) + "Timestamp\n10.000\n20.000\n";

  OpenLog alone(second);
  ASSERT_NE(alone.reader, nullptr);
  EXPECT_EQ(alone.reader->reference_seconds, 0);
  EXPECT_FALSE(alone.reader->has_previous);
  std::vector<Frame> alone_frames = alone.frames();

  OpenLog before(first);
  ASSERT_NE(before.reader, nullptr);
  ASSERT_EQ(before.frames().size(), 2u);
  OpenLog after(second);
  ASSERT_NE(after.reader, nullptr);
  std::vector<Frame> after_frames = after.frames();

  ASSERT_EQ(alone_frames.size(), 2u);
  ASSERT_EQ(after_frames.size(), 2u);
  EXPECT_DOUBLE_EQ(alone_frames[0].Timestamp, 1710497710.0);
  EXPECT_DOUBLE_EQ(alone_frames[1].Timestamp, 1710497720.0);
  EXPECT_EQ(after_frames[0].Timestamp, alone_frames[0].Timestamp);
  EXPECT_EQ(after_frames[1].Timestamp, alone_frames[1].Timestamp);
  EXPECT_EQ(after.reader->RolloverOffset, 0u);
}

// A log of records `period` seconds apart over `span` seconds from the
// header time 10:15:00, each timestamp written by `field` from the time of
// day in seconds and its milliseconds. Checks every decoded time.
template <typename FieldWriter>
static void expect_times_across_wraps(int time_format, int period, int span,
                                      uint32_t expected_offset, FieldWriter field) {
  constexpr int64_t kStart = 1710497700;  // 2024-03-15 10:15:00 UTC
  constexpr int kStartOfDay = 10 * 3600 + 15 * 60;
  std::string text = header(time_format) + "Timestamp;ID\n";
  std::vector<double> expected;
  for (int elapsed = 0; elapsed < span; elapsed += period) {
    int milliseconds = (elapsed * 37) % 1000;
    text += field((kStartOfDay + elapsed) % 86400, milliseconds) + ";1\n";
    expected.push_back(static_cast<double>(kStart + elapsed) + milliseconds * 0.001);
  }
  OpenLog log(text);
  ASSERT_NE(log.reader, nullptr);
  std::vector<Frame> frames = log.frames();
  ASSERT_EQ(frames.size(), expected.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_DOUBLE_EQ(frames[i].Timestamp, expected[i]) << "record " << i;
    if (i > 0) {
      EXPECT_LT(frames[i - 1].Timestamp, frames[i].Timestamp) << "record " << i;
    }
  }
  EXPECT_EQ(log.reader->RolloverOffset, expected_offset);
}

TEST(TextLogNext, SecondsOnlyTimesWrapEveryMinute) {
  expect_times_across_wraps(1, 7, 5 * 60, 4 * 60, [](int time_of_day, int ms) {
    char text[32];
    snprintf(text, sizeof text, "%02d.%03d", time_of_day % 60, ms);
    return std::string(text);
  });
  // The same without any separator in the field.
  expect_times_across_wraps(1, 7, 5 * 60, 4 * 60, [](int time_of_day, int ms) {
    char text[32];
    snprintf(text, sizeof text, "%02d%03d", time_of_day % 60, ms);
    return std::string(text);
  });
}

TEST(TextLogNext, MinutesAndSecondsTimesWrapEveryHour) {
  expect_times_across_wraps(2, 97, 3 * 3600, 3 * 3600, [](int time_of_day, int ms) {
    char text[32];
    snprintf(text, sizeof text, "%02d:%02d.%03d", time_of_day % 3600 / 60, time_of_day % 60, ms);
    return std::string(text);
  });
}

TEST(TextLogNext, TimesOfDayWrapEveryMidnight) {
  expect_times_across_wraps(3, 3 * 3600 + 17 * 60, 3 * 86400, 3 * 86400,
                            [](int time_of_day, int ms) {
                              char text[32];
                              snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", time_of_day / 3600,
                                       time_of_day % 3600 / 60, time_of_day % 60, ms);
                              return std::string(text);
                            });
}
