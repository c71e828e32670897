// The header pass: each key's value rules, the edge values the loggers are
// known to write, and values too long for their fields.
#include "input/text/header_keys.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
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

TEST(TextLogReadHeader, EachKeyFollowsItsValueRule) {
  const struct {
    const char* text;
    const char* fields;
  } rows[] = {
      {"# Logger type: Marrowbox3000\n", "LoggerType=2"},
      // A trailing blank belongs to the value, so the name no longer matches.
      {"# Logger type: Marrowbox3000 \n", ""},
      // An unknown model keeps what an earlier line set.
      {"# Logger type: Marrowbox2000\n# Logger type: Other\n", "LoggerType=1"},
      // A quoted character needs exactly one character between the quotes.
      {"# Value separator: \";\"\n# Time separator: \"\"\n# Time separator ms: \" \"\n"
       "# Date separator: -\n# Time and date separator: \"ab\"\n",
       "ValueSeparator=; TimeSeparatorMs= "},
      {"# Value separator: ;\n", ""},
      {"# Value separator: \"\"\"\n", "ValueSeparator=\""},
      // A later malformed line clears an earlier separator.
      {"# Time separator: \":\"\n# Time separator: \":\" \n", ""},
      // The time format keeps the low byte; one that does not parse clears it.
      {"# Time format: 259\n", "TimeFormat=3"},
      {"# Time format: 0x2\n", "TimeFormat=2"},
      {"# Time format: 3\n# Time format: x\n", ""},
      // Integers are octal or hex by prefix; an unparsable one keeps the old.
      {"# Session No.: 010\n# Split No.: 0x1F\n# Bit-rate: 500000\n# Bit-rate: fast\n",
       "SessionNo=8 SplitNo=31 BitRate=500000"},
      {"# Session No.: -4\n", "SessionNo=-4"},
      // Words are text, ending at a blank and cut to their fields.
      {"# HW rev: 2.1 beta\n# Logger ID: 0000ABCD\n", "HwRev=2.1 LoggerId=0000ABCD"},
      {"# HW rev: ABCDEFGH\n# FW rev: 123456789\n"
       "# Logger ID: 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\n",
       "HwRev=ABCD FwRev=1234 LoggerId=0123456789ABCDEFGHIJK"},
      {"# Time: 20240315T101500 local wall clock\n", "HeaderTimeText=20240315T101500 loc"},
      {"# Time: soon\n", "HeaderTimeText=soon"},
      // Flags take only the lower-case words.
      {"# Silent mode: true\n# Silent mode: TRUE\n# Cyclic mode: true\n# Cyclic mode: false\n",
       "SilentMode=1"},
      // A "#" line without key is ignored; any other line ends the pass, even
      // one that holds a key.
      {"# Recorded on the bench\n# Session No.: 12\nTimestamp;ID\n# Split No.: 3\n",
       "SessionNo=12"},
      {"Note Time: 20240315T101500\n# Session No.: 5\n", ""},
      // The value starts after the first ": " of the line, whatever the key.
      {"# Note: 7 Session No.: 12\n", "SessionNo=7"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(header_text(read_header(row.text)), row.fields) << row.text;
  }
}

TEST(TextLogReadHeader, TimeIsReadAsLocalTimeWithoutSummerTime) {
  const char* saved = getenv("TZ");
  std::string old = saved != nullptr ? saved : "";
  auto header_time = [](const char* zone, const char* text) {
    setenv("TZ", zone, 1);
    tzset();
    return read_header(text).HeaderTime;
  };
  EXPECT_DOUBLE_EQ(header_time("UTC0", "# Time: 20240315T101500\n"), 1710497700.0);
  // Two hours east of UTC: the same wall clock is two hours earlier.
  EXPECT_DOUBLE_EQ(header_time("XYZ-2", "# Time: 20240315T101500\n"), 1710490500.0);
  if (saved != nullptr) {
    setenv("TZ", old.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
