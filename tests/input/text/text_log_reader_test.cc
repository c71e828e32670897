// What no trace shows: the header fields handed to plug-ins, the header time
// as local time, and the rollover rule's edges. Records, columns, line ends
// and refusals are checked end to end by the golden cases, and the fast
// paths against their references by the reader's fuzz target.
#include "input/text/text_log_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "input/text/column_decoders.h"
#include "input/text/header_keys.h"
#include "platform/stream.h"
#include "support/memory_stream.h"

// Runs the header pass alone over `text`; the fields that differ from a
// zeroed reader come back as "Name=value" separated by blanks.
static std::string header_fields(const std::string& text, double* header_time = nullptr) {
  StreamPtr stream(memory_stream_create(text));
  TextLogReader r{};
  r.stream = stream.get();
  text_log_read_header(&r);
  if (header_time != nullptr) *header_time = r.HeaderTime;
  auto n = [](int64_t v) { return v != 0 ? std::to_string(v) : ""; };
  auto c = [](char v) { return std::string(v != '\0', v); };
  const std::pair<const char*, std::string> fields[] = {
      {"LoggerType", n(r.LoggerType)},
      {"HwRev", r.HwRev},
      {"FwRev", r.FwRev},
      {"LoggerId", r.LoggerId},
      {"SessionNo", n(r.SessionNo)},
      {"SplitNo", n(r.SplitNo)},
      {"HeaderTimeText", r.HeaderTimeText},
      {"ValueSeparator", c(r.ValueSeparator)},
      {"TimeFormat", n(r.TimeFormat)},
      {"TimeSeparator", c(r.TimeSeparator)},
      {"TimeSeparatorMs", c(r.TimeSeparatorMs)},
      {"DateSeparator", c(r.DateSeparator)},
      {"TimeAndDateSeparator", c(r.TimeAndDateSeparator)},
      {"BitRate", n(r.BitRate)},
      {"SilentMode", n(r.SilentMode)},
      {"CyclicMode", n(r.CyclicMode)}};
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!value.empty()) out += (out.empty() ? "" : " ") + std::string(name) + "=" + value;
  }
  return out;
}

TEST(TextLogReadHeader, EachKeyFollowsItsValueRule) {
  const struct {
    const char* text;
    const char* fields;
  } rows[] = {
      {"# Logger type: Marrowbox1000\n# HW rev: 2.1\n# FW rev: 5.63\n# Silent mode: true\n# Cyclic "
       "mode: true\n"
       "# Time separator: \":\"\n# Date separator: \"-\"\n# Time and date separator: \" \"\n",
       "HwRev=2.1 FwRev=5.63 TimeSeparator=: DateSeparator=- TimeAndDateSeparator=  SilentMode=1 "
       "CyclicMode=1"},
      {"# Logger type: Marrowbox3000\n", "LoggerType=2"},
      {"# Logger type: Marrowbox3000 \n", ""},  // a trailing blank is part of the name
      {"# Logger type: Marrowbox2000\n# Logger type: Other\n", "LoggerType=1"},
      {"# Logger type: Marrowbox2000\n# Logger type: Marrowbox1000\n", ""},
      // A quoted character needs exactly one character between the quotes;
      // a later malformed line clears an earlier separator.
      {"# Value separator: \";\"\n# Time separator: \"\"\n# Time separator ms: \" \"\n# Date "
       "separator: -\n"
       "# Time and date separator: \"ab\"\n",
       "ValueSeparator=; TimeSeparatorMs= "},
      {"# Value separator: \"\"\"\n", "ValueSeparator=\""},
      {"# Date separator: \"-x\n", ""},
      {"# Time separator: \":\"\n# Time separator: \":\" \n", ""},
      // The time format keeps the low byte; one that does not parse clears it.
      {"# Time format: 259\n", "TimeFormat=3"},
      {"# Time format: 0x2\n", "TimeFormat=2"},
      {"# Time format: 3\n# Time format: x\n", ""},
      // Integers are octal or hex by prefix; an unparsable one keeps the old.
      {"# Session No.: 010\n# Split No.: 0x1F\n# Bit-rate: 500000\n# Bit-rate: fast\n# Split No.: "
       "x\n# Session No.: y\n",
       "SessionNo=8 SplitNo=31 BitRate=500000"},
      {"# Session No.: -4\n", "SessionNo=-4"},
      {"# HW rev: 2.1 beta\n# Logger ID: 0000ABCD\n", "HwRev=2.1 LoggerId=0000ABCD"},
      {"# HW rev: ABCDEFGH\n# FW rev: 123456789\n# Logger ID: "
       "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\n",
       "HwRev=ABCD FwRev=1234 LoggerId=0123456789ABCDEFGHIJK"},
      {"# Time: 20240315T101500 local wall clock\n", "HeaderTimeText=20240315T101500 loc"},
      {"# Time: 20240315T101500\n# Time: soon\n",
       "HeaderTimeText=soon"},  // nothing left of the first
      {"# Silent mode: true\n# Silent mode: TRUE\n# Cyclic mode: true\n# Cyclic mode: false\n",
       "SilentMode=1"},
      // A "#" line without key is ignored; any other line ends the pass.
      {"# Recorded on the bench\n# Session No.: 12\nTimestamp;ID\n# Split No.: 3\n",
       "SessionNo=12"},
      // The value starts after the first ": " of the line, whatever the key.
      {"# Note: 7 Session No.: 12\n", "SessionNo=7"},
  };
  for (const auto& row : rows) EXPECT_EQ(header_fields(row.text), row.fields) << row.text;
}

TEST(TextLogReadHeader, TimeIsReadAsLocalTimeWithoutSummerTime) {
  const char* saved = getenv("TZ");
  const std::string old = saved != nullptr ? saved : "";
  // Two hours east of UTC the same wall clock is two hours earlier; in July a
  // zone with summer time still counts its standard offset; nothing parsed is
  // day 0 of month 0 of the year 0.
  const struct {
    const char* zone;
    const char* text;
    double time;
  } rows[] = {
      {"UTC0", "# Time: 20240315T101500\n", 1710497700.0},
      {"XYZ-2", "# Time: 20240315T101500\n", 1710490500.0},
      {"CET-1CEST,M3.5.0,M10.5.0/3", "# Time: 20240715T101500\n", 1721034900.0},
      {"UTC0", "# Time: soon\n", -62169984000.0},
  };
  for (const auto& row : rows) {
    setenv("TZ", row.zone, 1);
    tzset();
    double time = 0;
    header_fields(row.text, &time);
    EXPECT_DOUBLE_EQ(time, row.time) << row.zone;
  }
  saved != nullptr ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(TextLogPlaceTime, StepsOnceWhenBehindTheFirstRecordTheHeaderTimeOrThePrevious) {
  constexpr int64_t m = 1710497700;  // 2024-03-15 10:15:00 UTC
  // {time format, seconds, placed, rollover, header seconds (0: none)}
  const struct {
    uint8_t time_format;
    std::vector<int64_t> seconds, placed;
    uint32_t rollover;
    int64_t header = 0;
  } rows[] = {
      {1,
       {m + 10, m + 50, m + 20},
       {m + 10, m + 50, m + 20},
       0},  // at most half a step back is jitter
      {1, {m + 10, m + 50, m + 19}, {m + 10, m + 50, m + 79}, 60},
      {2, {m + 10, m + 1810, m + 9}, {m + 10, m + 1810, m + 3609}, 3600},
      {1,
       {m + 10, m + 9, m + 8},
       {m + 10, m + 9, m + 68},
       60},                      // behind the first by 1 s is jitter, by 2 a wrap
      {1, {m}, {m}, 0, m + 30},  // against the header time likewise
      {1, {m - 1}, {m + 59}, 60, m + 30},
      {3, {m - 43201}, {m + 43199}, 86400, m},
      {0, {m, m - 1}, {m, m - 1}, 0},
      {4, {m, m - 1}, {m, m - 1}, 0},  // formats without a step never wrap
      {1,
       {0, 36900, 36890},
       {0, 36900, 36950},
       60},  // a first record at the epoch leaves the reference unset
  };
  for (const auto& row : rows) {
    TextLogReader reader{};
    reader.TimeFormat = row.time_format;
    reader.has_header_seconds = row.header != 0;
    reader.header_seconds = row.header;
    std::vector<int64_t> placed;
    for (int64_t s : row.seconds) placed.push_back(text_log_place_time(&reader, s, 0));
    EXPECT_EQ(placed, row.placed) << "row " << (&row - rows);
    EXPECT_EQ(reader.RolloverOffset, row.rollover) << "row " << (&row - rows);
  }
}
