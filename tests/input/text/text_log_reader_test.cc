// What no trace shows: the header fields handed to plug-ins and the header time as local time.
// Golden cases check the rest end to end; the fuzz target checks the fast paths.
#include "input/text/text_log_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "input/text/header_keys.h"
#include "platform/stream.h"
#include "support/memory_stream.h"

// The reader after the header pass alone over `text`.
static TextLogReader header_of(const char* text) {
  StreamPtr stream(memory_stream_create(text));
  TextLogReader reader{};
  reader.stream = stream.get();
  text_log_read_header(&reader);
  return reader;
}

TEST(TextLogReadHeader, EachKeyFollowsItsValueRule) {
  // The fields: LoggerType|HwRev|FwRev|LoggerId|SessionNo|SplitNo|BitRate|SilentMode|
  // CyclicMode|HeaderTimeText.
  // clang-format off
  const struct { const char* text; const char* fields; } rows[] = {
      // Only the exact model names count; an unknown one keeps the earlier.
      {"# Logger type: Marrowbox3000\n", "2||||0|0|0|0|0|"},
      {"# Logger type: Marrowbox2000\n# Logger type: Other\n", "1||||0|0|0|0|0|"},
      {"# Logger type: Marrowbox2000\n# Logger type: Marrowbox1000\n", "0||||0|0|0|0|0|"},
      // Texts are cut to their field; integers are octal or hex by prefix, and
      // one that does not parse keeps the old; flags are exact lower-case words.
      {"# HW rev: 2.1 beta\n# FW rev: 123456789\n# Logger ID: 0123456789ABCDEFGHIJKLMN\n"
       "# Session No.: 010\n# Split No.: 0x1F\n# Split No.: x\n# Bit-rate: 500000\n"
       "# Silent mode: true\n# Cyclic mode: true\n# Cyclic mode: false\n# Cyclic mode: TRUE\n"
       "# Time: 20240315T101500 local wall clock\n",
       "0|2.1|1234|0123456789ABCDEFGHIJK|8|31|500000|1|0|20240315T101500 loc"},
      // A "#" line without key is ignored, any other line ends the pass; the
      // value starts after the line's first ": ", whatever the key.
      {"# Recorded on the bench\n# Note: 7 Session No.: 12\nTimestamp;ID\n# Split No.: 3\n",
       "0||||7|0|0|0|0|"},
  };
  // clang-format on
  for (const auto& row : rows) {
    TextLogReader r = header_of(row.text);
    char fields[128];
    snprintf(fields, sizeof fields, "%u|%s|%s|%s|%d|%d|%d|%u|%u|%s", r.LoggerType, r.HwRev, r.FwRev,
             r.LoggerId, r.SessionNo, r.SplitNo, r.BitRate, r.SilentMode, r.CyclicMode,
             r.HeaderTimeText);
    EXPECT_STREQ(fields, row.fields) << row.text;
  }
}

TEST(TextLogReadHeader, TimeIsReadAsLocalTimeWithoutSummerTime) {
  const char* saved = getenv("TZ");
  const std::string old = saved != nullptr ? saved : "";
  // Two hours east of UTC the same wall clock is two hours earlier; in July a
  // zone with summer time still counts its standard offset; nothing parsed is
  // day 0 of month 0 of the year 0.
  // clang-format off
  const struct { const char* zone; const char* text; double time; } rows[] = {
      {"XYZ-2", "# Time: 20240315T101500\n", 1710490500.0},
      {"CET-1CEST,M3.5.0,M10.5.0/3", "# Time: 20240715T101500\n", 1721034900.0},
      {"UTC0", "# Time: soon\n", -62169984000.0},
  };
  // clang-format on
  for (const auto& row : rows) {
    setenv("TZ", row.zone, 1);
    tzset();
    EXPECT_DOUBLE_EQ(header_of(row.text).HeaderTime, row.time) << row.zone;
  }
  saved != nullptr ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ");
  tzset();
}
