// The header pass: each key's value rules, the edge values the loggers are
// known to write, and values too long for their fields.
#include "input/text/header_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "input/text/text_log_reader.h"
#include "platform/stream.h"
#include "support/memory_stream.h"
#include "text_log_fixture.h"

// Runs the header pass alone over `text` and returns the filled reader.
static TextLogReader read_header(const std::string& text) {
  StreamPtr stream(memory_stream_create(text));
  TextLogReader reader{};
  reader.stream = stream.get();
  text_log_read_header(&reader);
  reader.stream = nullptr;
  return reader;
}

TEST(TextLogReadHeader, LoggerTypeNeedsTheExactModelName) {
  EXPECT_EQ(read_header("# Logger type: Marrowbox3000\n").LoggerType, 2u);
  EXPECT_EQ(read_header("# Logger type: Marrowbox2000\n").LoggerType, 1u);
  // A trailing blank belongs to the value, so the name no longer matches.
  EXPECT_EQ(read_header("# Logger type: Marrowbox3000 \n").LoggerType, 0u);
  // An unknown model keeps what an earlier line set.
  EXPECT_EQ(read_header("# Logger type: Marrowbox2000\n# Logger type: Other\n").LoggerType, 1u);
}

TEST(TextLogReadHeader, QuotedCharacterNeedsExactlyOneCharacterInQuotes) {
  TextLogReader reader = read_header(
      "# Value separator: \";\"\n"
      "# Time separator: \"\"\n"
      "# Time separator ms: \" \"\n"
      "# Date separator: -\n"
      "# Time and date separator: \"ab\"\n");
  EXPECT_EQ(reader.ValueSeparator, ';');
  EXPECT_EQ(reader.TimeSeparator, '\0');
  EXPECT_EQ(reader.TimeSeparatorMs, ' ');
  EXPECT_EQ(reader.DateSeparator, '\0');
  EXPECT_EQ(reader.TimeAndDateSeparator, '\0');

  EXPECT_EQ(read_header("# Value separator: ;\n").ValueSeparator, '\0');
  EXPECT_EQ(read_header("# Value separator: \"\"\"\n").ValueSeparator, '"');
  // A later malformed line clears an earlier separator.
  EXPECT_EQ(read_header("# Time separator: \":\"\n# Time separator: \":\" \n").TimeSeparator, '\0');
}

TEST(TextLogReadHeader, TimeFormatKeepsLowByteAndUnparsableClearsIt) {
  EXPECT_EQ(read_header("# Time format: 259\n").TimeFormat, 3);
  EXPECT_EQ(read_header("# Time format: 0x2\n").TimeFormat, 2);
  EXPECT_EQ(read_header("# Time format: 3\n# Time format: x\n").TimeFormat, 0);
}

TEST(TextLogReadHeader, IntegersTakeOctalAndHexAndKeepOldValueWhenUnparsable) {
  TextLogReader reader = read_header(
      "# Session No.: 010\n"
      "# Split No.: 0x1F\n"
      "# Bit-rate: 500000\n"
      "# Bit-rate: fast\n");
  EXPECT_EQ(reader.SessionNo, 8);
  EXPECT_EQ(reader.SplitNo, 31);
  EXPECT_EQ(reader.BitRate, 500000);
  EXPECT_EQ(read_header("# Session No.: -4\n").SessionNo, -4);
}

TEST(TextLogReadHeader, WordsAreStoredAsTextAndCutToTheirFields) {
  TextLogReader reader = read_header(
      "# HW rev: 2.1 beta\n"
      "# FW rev: 5.63\n"
      "# Logger ID: 0000ABCD\n");
  EXPECT_STREQ(reader.HwRev, "2.1");
  EXPECT_STREQ(reader.FwRev, "5.63");
  EXPECT_STREQ(reader.LoggerId, "0000ABCD");

  TextLogReader longer = read_header(
      "# HW rev: ABCDEFGH\n"
      "# FW rev: 123456789\n"
      "# Logger ID: 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\n");
  EXPECT_STREQ(longer.HwRev, "ABCD");
  EXPECT_STREQ(longer.FwRev, "1234");
  EXPECT_STREQ(longer.LoggerId, "0123456789ABCDEFGHIJK");
}

TEST(TextLogReadHeader, FlagsTakeOnlyLowerCaseWords) {
  TextLogReader reader = read_header(
      "# Silent mode: true\n"
      "# Silent mode: TRUE\n"
      "# Cyclic mode: true\n"
      "# Cyclic mode: false\n");
  EXPECT_EQ(reader.SilentMode, 1u);
  EXPECT_EQ(reader.CyclicMode, 0u);
}

TEST(TextLogReadHeader, TimeIsReadAsLocalTimeWithoutSummerTime) {
  {
    ScopedTimeZone utc("UTC0");
    TextLogReader reader = read_header("# Time: 20240315T101500\n");
    EXPECT_DOUBLE_EQ(reader.HeaderTime, 1710497700.0);
    EXPECT_STREQ(reader.HeaderTimeText, "20240315T101500");
  }
  {
    // Two hours east of UTC: the same wall clock is two hours earlier.
    ScopedTimeZone east("XYZ-2");
    EXPECT_DOUBLE_EQ(read_header("# Time: 20240315T101500\n").HeaderTime, 1710490500.0);
  }
}

TEST(TextLogReadHeader, TimeTextIsKeptWhateverTheParseAndCutToItsField) {
  ScopedTimeZone utc("UTC0");
  TextLogReader reader = read_header("# Time: 20240315T101500 local wall clock\n");
  EXPECT_STREQ(reader.HeaderTimeText, "20240315T101500 loc");
  EXPECT_DOUBLE_EQ(reader.HeaderTime, 1710497700.0);

  EXPECT_STREQ(read_header("# Time: soon\n").HeaderTimeText, "soon");
}

TEST(TextLogReadHeader, CarriageReturnsDoNotReachTheValues) {
  TextLogReader reader = read_header(
      "# Logger type: Marrowbox3000\r\n"
      "# Value separator: \";\"\r\n"
      "# Silent mode: true\r\n");
  EXPECT_EQ(reader.LoggerType, 2u);
  EXPECT_EQ(reader.ValueSeparator, ';');
  EXPECT_EQ(reader.SilentMode, 1u);
}

TEST(TextLogReadHeader, LinesWithoutKeyAreIgnoredAndOtherLinesEndThePass) {
  TextLogReader reader = read_header(
      "# Recorded on the test bench\n"
      "# Session No.: 12\n"
      "Timestamp;ID\n"
      "# Split No.: 3\n");
  EXPECT_EQ(reader.SessionNo, 12);
  EXPECT_EQ(reader.SplitNo, 0);

  // The key alone does not make a header line: the "#" does.
  EXPECT_STREQ(read_header("Note Time: 20240315T101500\n# Session No.: 5\n").HeaderTimeText, "");
}

TEST(TextLogReadHeader, ValueStartsAfterTheFirstColonBlankOfTheLine) {
  // The value of a line is the same for every key it holds.
  EXPECT_EQ(read_header("# Note: 7 Session No.: 12\n").SessionNo, 7);
}
