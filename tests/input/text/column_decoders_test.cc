// The column decoders one by one, the timestamp composition from its table,
// and the rollover rule over sequences of short timestamps.
#include "input/text/column_decoders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/text_log_reader.h"
#include "text_log_fixture.h"

static Frame decode(ColumnDecoder decoder, const char* field) {
  TextLogReader reader{};
  BusMessage record{};
  bus_message_clear(&record);
  decoder(&reader, field, &record);
  return frame_of(record);
}

TEST(TextLogDecodeType, FirstCharacterSetsExtendedAndDirection) {
  struct Row { const char* field; uint8_t ide; uint8_t dir; };
  const Row rows[] = {
      {"0", 0, 0}, {"1", 1, 0}, {"8", 0, 1}, {"9", 1, 1},
      {"90", 1, 1}, {"2", 0, 0}, {"", 0, 0}, {" 9", 0, 0},
  };
  for (const Row& row : rows) {
    Frame frame = decode(text_log_decode_type, row.field);
    EXPECT_EQ(frame.IDE, row.ide) << row.field;
    EXPECT_EQ(frame.Dir, row.dir) << row.field;
  }
}

TEST(TextLogDecodeId, ReadsHexWithOptionalPrefix) {
  EXPECT_EQ(decode(text_log_decode_id, "7DF").ID, 0x7DFu);
  EXPECT_EQ(decode(text_log_decode_id, "0x18FF1234").ID, 0x18FF1234u);
  EXPECT_EQ(decode(text_log_decode_id, "18ff1234").ID, 0x18FF1234u);
  EXPECT_EQ(decode(text_log_decode_id, "").ID, 0u);
  EXPECT_EQ(decode(text_log_decode_id, "zz").ID, 0u);
}

TEST(TextLogDecodeLength, ReadsDecimalModulo256AndLeavesDataAlone) {
  EXPECT_EQ(decode(text_log_decode_length, "3").DLC, 3);
  EXPECT_EQ(decode(text_log_decode_length, "300").DLC, 44);
  EXPECT_EQ(decode(text_log_decode_length, "x").DLC, 0);
  Frame frame = decode(text_log_decode_length, "8");
  EXPECT_FALSE(frame.has_data);
  EXPECT_TRUE(frame.payload.empty());
}

TEST(TextLogDecodeData, CountsDigitPairsUpToEightBytes) {
  struct Row { const char* field; std::vector<uint8_t> bytes; };
  const Row rows[] = {
      {"0102", {0x01, 0x02}},
      {"ABC", {0xAB, 0x0C}},
      {"", {}},
      {"1122334455667788", {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
      {"112233445566778899AA", {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
      // A pair that is not hex is a 0 byte that still counts.
      {"01zz03", {0x01, 0x00, 0x03}},
      {"ff", {0xFF}},
  };
  for (const Row& row : rows) {
    Frame frame = decode(text_log_decode_data, row.field);
    EXPECT_TRUE(frame.has_data) << row.field;
    EXPECT_EQ(frame.payload, row.bytes) << row.field;
    EXPECT_EQ(frame.DLC, row.bytes.size()) << row.field;
  }
}

static std::string compose(const TextLogReader& reader, const char* field) {
  char text[TEXT_LOG_TIME_TEXT_SIZE];
  memset(text, '?', sizeof text);
  text_log_compose_time_text(&reader, field, text);
  return std::string(text, strnlen(text, sizeof text));
}

TEST(TextLogComposeTimeText, HeaderFillsTheFrontAndFieldTheEnd) {
  TextLogReader reader{};
  strcpy(reader.HeaderTimeText, "20240315T101500");
  reader.TimeSeparator = ':';
  reader.TimeSeparatorMs = '.';
  EXPECT_EQ(compose(reader, "10:15:00.123"), "20240315101500123");
  EXPECT_EQ(compose(reader, "00:00:05.000"), "20240315000005000");
  EXPECT_EQ(compose(reader, "59.999"), "20240315101559999");
  EXPECT_EQ(compose(reader, ""), "20240315101500000");

  TextLogReader bare{};
  EXPECT_EQ(compose(bare, "101500123"), "19700101101500123");
  EXPECT_EQ(compose(bare, ""), "19700101000000000");
  EXPECT_EQ(compose(bare, "20240315101500123"), "20240315101500123");
}

TEST(TextLogComposeTimeText, EverySeparatorAndTheLetterTAreRemoved) {
  TextLogReader reader{};
  reader.ValueSeparator = ';';
  reader.DateSeparator = '-';
  reader.TimeSeparator = ':';
  reader.TimeSeparatorMs = '.';
  reader.TimeAndDateSeparator = ' ';
  EXPECT_EQ(compose(reader, "2024-03-15 10:15:00.123"), "20240315101500123");
  EXPECT_EQ(compose(reader, "2024-03-15T10:15:00.123"), "20240315101500123");
  // Only the capital letter is a separator.
  EXPECT_EQ(compose(reader, "10t15"), "19700101000010t15");
}

TEST(TextLogComposeTimeText, SurplusDigitsAreDroppedFromTheFront) {
  TextLogReader reader{};
  reader.DateSeparator = '-';
  reader.TimeSeparator = ':';
  reader.TimeSeparatorMs = '.';
  reader.TimeAndDateSeparator = ' ';
  EXPECT_EQ(compose(reader, "9920240315101500123"), "20240315101500123");
  EXPECT_EQ(compose(reader, "1999-12-31 2024-03-15 10:15:00.123"), "20240315101500123");
  std::string long_field = std::string(180, '7') + "20240315101500123";
  EXPECT_EQ(compose(reader, long_field.c_str()), "20240315101500123");

  // Of a header time text, the first 17 digits count.
  strcpy(reader.HeaderTimeText, "2024-03-15 10:15:00");
  reader.TimeAndDateSeparator = '\0';
  EXPECT_EQ(compose(reader, "123"), "20240315 10150123");
}

TEST(TextLogParseTimeText, ReadsUtcCalendarFieldsAndNormalises) {
  struct Row { const char* text; int64_t seconds; uint32_t milliseconds; };
  const Row rows[] = {
      {"20240315101500123", 1710497700, 123},
      {"19700101101500123", 36900, 123},
      {"19700101000000000", 0, 0},
      // Second 60 is the next minute's first.
      {"20240315101560000", 1710497760, 0},
      // Parsing stops at the first bad component; it and the rest count 0.
      {"2024031510x500123", 1710496800, 0},
  };
  for (const Row& row : rows) {
    int64_t seconds = -1;
    uint32_t milliseconds = 1;
    text_log_parse_time_text(row.text, &seconds, &milliseconds);
    EXPECT_EQ(seconds, row.seconds) << row.text;
    EXPECT_EQ(milliseconds, row.milliseconds) << row.text;
  }
}

// Places a sequence of whole seconds and returns the corrected ones.
static std::vector<int64_t> place_all(TextLogReader* reader, const std::vector<int64_t>& seconds) {
  std::vector<int64_t> placed;
  for (int64_t s : seconds) placed.push_back(text_log_place_time(reader, s, 0));
  return placed;
}

constexpr int64_t kMinute = 1710497700;  // 2024-03-15 10:15:00 UTC

TEST(TextLogPlaceTime, FirstWrapIsCaughtByTheReference) {
  TextLogReader reader{};
  reader.TimeFormat = 1;
  EXPECT_EQ(place_all(&reader, {kMinute + 30, kMinute + 10, kMinute + 5}),
            (std::vector<int64_t>{kMinute + 30, kMinute + 70, kMinute + 65}));
  EXPECT_EQ(reader.RolloverOffset, 60u);
  EXPECT_EQ(reader.reference_seconds, kMinute + 30);
  EXPECT_EQ(reader.previous_seconds, kMinute + 65);
}

TEST(TextLogPlaceTime, EveryLaterWrapIsCaughtByThePreviousRecord) {
  TextLogReader reader{};
  reader.TimeFormat = 1;
  EXPECT_EQ(place_all(&reader, {kMinute + 0, kMinute + 50, kMinute + 5, kMinute + 55,
                                kMinute + 2, kMinute + 40, kMinute + 1}),
            (std::vector<int64_t>{kMinute, kMinute + 50, kMinute + 65, kMinute + 115,
                                  kMinute + 122, kMinute + 160, kMinute + 181}));
  EXPECT_EQ(reader.RolloverOffset, 180u);
}

TEST(TextLogPlaceTime, StepBackOfAtMostHalfAStepAddsNothing) {
  TextLogReader reader{};
  reader.TimeFormat = 1;
  EXPECT_EQ(place_all(&reader, {kMinute + 10, kMinute + 50, kMinute + 25, kMinute + 20}),
            (std::vector<int64_t>{kMinute + 10, kMinute + 50, kMinute + 25, kMinute + 20}));
  EXPECT_EQ(reader.RolloverOffset, 0u);
  // From 20, a record at 19 is near; from 50 it would have wrapped.
  EXPECT_EQ(text_log_place_time(&reader, kMinute + 19, 0), kMinute + 19);
}

TEST(TextLogPlaceTime, StepFollowsTheTimeFormat) {
  struct Row { uint8_t time_format; int64_t step; };
  const Row rows[] = {{1, 60}, {2, 3600}, {3, 86400}, {0, 0}, {4, 0}};
  for (const Row& row : rows) {
    TextLogReader reader{};
    reader.TimeFormat = row.time_format;
    EXPECT_EQ(place_all(&reader, {kMinute, kMinute - 1}),
              (std::vector<int64_t>{kMinute, kMinute - 1 + row.step}))
        << int{row.time_format};
    EXPECT_EQ(reader.RolloverOffset, static_cast<uint32_t>(row.step)) << int{row.time_format};
  }
}

TEST(TextLogPlaceTime, ReferenceStaysUnsetAfterTheEpochItself) {
  // The reference counts as unset while both its parts are 0, so a first
  // record at exactly 1970-01-01 00:00:00.000 leaves it to the next one.
  TextLogReader reader{};
  EXPECT_EQ(text_log_place_time(&reader, 0, 0), 0);
  EXPECT_EQ(text_log_place_time(&reader, 36900, 123), 36900);
  EXPECT_EQ(reader.reference_seconds, 36900);
  EXPECT_EQ(reader.reference_milliseconds, 123);
}
