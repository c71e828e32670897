// The column decoders one by one, the timestamp composition from its
// template, and the rollover rule over sequences of short timestamps.
#include "input/text/column_decoders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/text_log_reader.h"
#include "text_log_fixture.h"

TEST(TextLogDecoders, EachFillsItsPartOfTheRecord) {
  const struct {
    ColumnDecoder decoder;
    const char* field;
    const char* record;
  } rows[] = {
      // The first character of the type sets IDE and Dir; any other nothing.
      {text_log_decode_type, "1", "0.000 0 ide1 dir0 dlc0 -"},
      {text_log_decode_type, "8", "0.000 0 ide0 dir1 dlc0 -"},
      {text_log_decode_type, "90", "0.000 0 ide1 dir1 dlc0 -"},
      {text_log_decode_type, "2", "0.000 0 ide0 dir0 dlc0 -"},
      {text_log_decode_type, " 9", "0.000 0 ide0 dir0 dlc0 -"},
      {text_log_decode_type, "", "0.000 0 ide0 dir0 dlc0 -"},
      // Identifiers are hexadecimal, "0x" allowed; lengths are decimal modulo
      // 256 and leave the data alone.
      {text_log_decode_id, "0x18ff1234", "0.000 18FF1234 ide0 dir0 dlc0 -"},
      {text_log_decode_length, "300", "0.000 0 ide0 dir0 dlc44 -"},
      // Data: up to eight digit pairs, counted into DLC; a pair that is not
      // hex is a 0 byte that still counts.
      {text_log_decode_data, "ABC", "0.000 0 ide0 dir0 dlc2 AB 0C"},
      {text_log_decode_data, "", "0.000 0 ide0 dir0 dlc0"},
      {text_log_decode_data, "112233445566778899AA",
       "0.000 0 ide0 dir0 dlc8 11 22 33 44 55 66 77 88"},
      {text_log_decode_data, "01zz03", "0.000 0 ide0 dir0 dlc3 01 00 03"},
      {text_log_decode_data, "ff", "0.000 0 ide0 dir0 dlc1 FF"},
  };
  for (const auto& row : rows) {
    TextLogReader reader{};
    BusMessage record{};
    row.decoder(&reader, row.field, &record);
    EXPECT_EQ(record_text(record), row.record) << row.field;
  }
}

TEST(TextLogComposeTimeText, HeaderFillsTheFrontAndTheFieldTheEndWithoutSeparators) {
  TextLogReader bare{};
  TextLogReader colons{};
  strcpy(colons.HeaderTimeText, "20240315T101500");
  colons.TimeSeparator = ':';
  colons.TimeSeparatorMs = '.';
  TextLogReader all = colons;
  all.HeaderTimeText[0] = '\0';
  all.ValueSeparator = ';';
  all.DateSeparator = '-';
  all.TimeAndDateSeparator = ' ';
  // Of a header time text the first 17 characters count, separators removed.
  TextLogReader spaced = all;
  strcpy(spaced.HeaderTimeText, "2024-03-15 10:15:00");
  spaced.TimeAndDateSeparator = '\0';
  const struct {
    const TextLogReader* reader;
    const char* field;
    const char* text;
  } rows[] = {
      {&colons, "", "20240315101500000"},
      {&bare, "", "19700101000000000"},
      {&all, "2024-03-15T10:15:00.123", "20240315101500123"},
      {&all, "10t15", "19700101000010t15"},  // only the capital letter separates
      {&all, "1999-12-31 2024-03-15 10:15:00.123", "20240315101500123"},  // the last 17 count
      {&spaced, "123", "20240315 10150123"},
  };
  for (const auto& row : rows) {
    char text[TEXT_LOG_TIME_TEXT_SIZE];
    memset(text, '?', sizeof text);
    text_log_compose_time_text(row.reader, row.field, text);
    EXPECT_EQ(std::string(text, strnlen(text, sizeof text)), row.text) << row.field;
  }
}

TEST(TextLogPlaceTime, StepsOnceWhenBehindTheFirstRecordTheHeaderTimeOrThePrevious) {
  constexpr int64_t m = 1710497700;  // 2024-03-15 10:15:00 UTC
  const struct {
    uint8_t time_format;
    std::vector<int64_t> seconds;
    std::vector<int64_t> placed;
    uint32_t rollover;
    int64_t header = 0;  // the header time's seconds; 0: no header time
  } rows[] = {
      // Jitter: at most half a step back adds nothing; more is a wrap.
      {1, {m + 10, m + 50, m + 20}, {m + 10, m + 50, m + 20}, 0},
      {1, {m + 10, m + 50, m + 19}, {m + 10, m + 50, m + 79}, 60},
      // Behind the first record by one second is jitter, by two a wrap.
      {1, {m + 10, m + 9, m + 8}, {m + 10, m + 9, m + 68}, 60},
      // A first record half a step behind the header time is jitter; one
      // second more and the file began just before a wrap.
      {1, {m}, {m}, 0, m + 30},
      {1, {m - 1}, {m + 59}, 60, m + 30},
      // Time formats without a step never wrap.
      {0, {m, m - 1}, {m, m - 1}, 0},
      {4, {m, m - 1}, {m, m - 1}, 0},
      // The reference counts as unset while both its parts are 0, so a first
      // record at exactly the epoch leaves it to the next one.
      {1, {0, 36900, 36890}, {0, 36900, 36950}, 60},
  };
  for (const auto& row : rows) {
    TextLogReader reader{};
    reader.TimeFormat = row.time_format;
    reader.has_header_seconds = row.header != 0;
    reader.header_seconds = row.header;
    std::vector<int64_t> placed;
    for (int64_t s : row.seconds) placed.push_back(text_log_place_time(&reader, s, 0));
    EXPECT_EQ(placed, row.placed) << "time format " << int{row.time_format};
    EXPECT_EQ(reader.RolloverOffset, row.rollover);
  }
}
