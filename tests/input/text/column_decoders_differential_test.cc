// The hand-written readings of the column decoders against their C library
// references: fields as loggers write them, and millions of generated hostile
// ones (blanks, signs, "0x" prefixes, overflowing digit runs, stray bytes,
// out-of-range calendar fields). Every record must come out byte for byte
// the same.
#include "input/text/column_decoders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/text_log_reader.h"
#include "support/differential.h"

namespace {

/// Deterministic text generator over weighted alphabets.
class Texts {
 public:
  explicit Texts(uint64_t seed) : rng_(seed) {}

  size_t below(size_t n) { return static_cast<size_t>(rng_() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }

  std::string from(const std::string& alphabet, size_t min_length, size_t max_length) {
    std::string text;
    size_t length = min_length + below(max_length - min_length + 1);
    for (size_t i = 0; i < length; ++i) text.push_back(alphabet[below(alphabet.size())]);
    return text;
  }

  template <typename T, size_t N>
  const T& pick(const T (&items)[N]) { return items[below(N)]; }

  uint64_t bits() { return rng_(); }

 private:
  std::mt19937_64 rng_;
};

const std::string kHexDigits = "0123456789abcdefABCDEF";
const std::string kDecimalDigits = "0123456789";
// Characters that sscanf treats specially, or that a damaged line may hold.
const std::string kHostile = " \t\v\f\r+-xXgG;.:/Tz\x7f\x80\xff";

/// Runs both decoders on a fresh record each and compares the whole records.
void expect_same_record(ColumnDecoder fast, ColumnDecoder reference, const std::string& field) {
  TextLogReader reader{};
  BusMessage fast_record{};
  BusMessage reference_record{};
  bus_message_clear(&fast_record);
  bus_message_clear(&reference_record);
  fast(&reader, field.c_str(), &fast_record);
  reference(&reader, field.c_str(), &reference_record);
  // DataBytes points into each record itself; compare where it points.
  bool fast_points_home = fast_record.DataBytes == fast_record.CAN.Payload;
  bool reference_points_home = reference_record.DataBytes == reference_record.CAN.Payload;
  ASSERT_EQ(fast_points_home, reference_points_home) << '"' << field << '"';
  fast_record.DataBytes = nullptr;
  reference_record.DataBytes = nullptr;
  ASSERT_EQ(memcmp(&fast_record, &reference_record, sizeof fast_record), 0)
      << '"' << field << "\": ID " << fast_record.ID << " vs " << reference_record.ID
      << ", DLC " << int{fast_record.CAN.DLC} << " vs " << int{reference_record.CAN.DLC};
}

}  // namespace

TEST(TextLogDecodeId, FastReadingMatchesSscanfOnLoggerAndHostileFields) {
  const char* const fixed[] = {
      "", "0", "7DF", "7df", "18FF1234", "0x18FF1234", "0X7df", "0x", "0X", "0xg", "0x0x5",
      "00x5", " 7DF", "\t7DF", "\v\f 7", "+7DF", "-1", "-0x10", "+0x", "FFFFFFFF", "100000000",
      "123456789", "FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF0", "1FFFFFFFFFFFFFFFFFFFF",
      "000000000000000000000001", "7DF;", "7DF\r", "7DFx", "g", "x", " ", "-", "+", "- 1",
  };
  for (const char* field : fixed) {
    expect_same_record(text_log_decode_id, text_log_decode_id_reference, field);
  }

  Texts texts(1);
  const char* const prefixes[] = {"", "", "", " ", "\t", "+", "-", "0x", "0X", "-0x", " 0x", "00"};
  const char* const suffixes[] = {"", "", "", ";", " ", "x", "g", "\r", "0x", "-"};
  size_t count = differential_count(400000);
  for (size_t i = 0; i < count; ++i) {
    std::string field;
    switch (i % 4) {
      case 0: {  // as a logger writes it: 11- or 29-bit, upper case, no padding
        uint32_t id = static_cast<uint32_t>(texts.bits() & (texts.chance(60) ? 0x7FF : 0x1FFFFFFF));
        char text[16];
        snprintf(text, sizeof text, texts.chance(90) ? "%X" : "%08x", id);
        field = text;
        break;
      }
      case 1:
        field = std::string(texts.pick(prefixes)) + texts.from(kHexDigits, 0, 20) +
                texts.pick(suffixes);
        break;
      case 2:
        field = texts.from(kHexDigits + kHostile, 0, 12);
        break;
      case 3:  // runs around the fast path's eight-digit limit
        field = texts.from(kHexDigits, 7, 10);
        break;
    }
    expect_same_record(text_log_decode_id, text_log_decode_id_reference, field);
  }
}

TEST(TextLogDecodeLength, FastReadingMatchesSscanfOnLoggerAndHostileFields) {
  const char* const fixed[] = {
      "", "0", "8", "08", "255", "256", "300", "999999999", "1000000000", "4294967295",
      "4294967296", "18446744073709551615", "18446744073709551616", "99999999999999999999999",
      "-1", "-256", "+8", " 8", "\t8", "0x10", "8;", "8\r", "x", " ", "-", "+ 8",
  };
  for (const char* field : fixed) {
    expect_same_record(text_log_decode_length, text_log_decode_length_reference, field);
  }

  Texts texts(2);
  const char* const prefixes[] = {"", "", "", " ", "\t", "+", "-", "0x", "-0", " +"};
  const char* const suffixes[] = {"", "", ";", " ", "x", ".", "\r"};
  size_t count = differential_count(300000);
  for (size_t i = 0; i < count; ++i) {
    std::string field;
    switch (i % 3) {
      case 0:
        field = std::to_string(texts.chance(85) ? 8 : texts.below(9));
        break;
      case 1:
        field = std::string(texts.pick(prefixes)) + texts.from(kDecimalDigits, 0, 24) +
                texts.pick(suffixes);
        break;
      case 2:
        field = texts.from(kDecimalDigits + kHostile, 0, 12);
        break;
    }
    expect_same_record(text_log_decode_length, text_log_decode_length_reference, field);
  }
}

TEST(TextLogDecodeData, FastReadingMatchesSscanfOnLoggerAndHostileFields) {
  const char* const fixed[] = {
      "", "0", "01", "0102", "ABC", "1122334455667788", "112233445566778899AA", "0x", "0x0x",
      "x0", " 1", "1 ", "  12", "-1", "+1", "-F", "1-", "zz", "\r", "01\r", "0\r", "\t\t\t1",
      " 1 2 3 4 5 6 7 8 9", "ffFFfF", "0X1", "G1", "1G",
  };
  for (const char* field : fixed) {
    expect_same_record(text_log_decode_data, text_log_decode_data_reference, field);
  }

  Texts texts(3);
  size_t count = differential_count(250000);
  for (size_t i = 0; i < count; ++i) {
    std::string field;
    switch (i % 3) {
      case 0: {  // as a logger writes it: mostly 8 bytes, upper case
        size_t bytes = texts.chance(85) ? 8 : texts.below(9);
        field = texts.from("0123456789ABCDEF", 2 * bytes, 2 * bytes);
        break;
      }
      case 1:
        field = texts.from(kHexDigits + kHostile, 0, 20);
        break;
      case 2:  // hex runs with a few hostile characters dropped in
        field = texts.from(kHexDigits, 0, 18);
        for (size_t k = texts.below(3); k > 0 && !field.empty(); --k) {
          field[texts.below(field.size())] = kHostile[texts.below(kHostile.size())];
        }
        break;
    }
    expect_same_record(text_log_decode_data, text_log_decode_data_reference, field);
  }
}

TEST(TextLogComposeTimeText, FastCompositionMatchesTheReferenceForAnySeparators) {
  Texts texts(4);
  // Separators a logger uses, none, and ones that collide with digits or
  // with each other.
  const char separators[] = {'\0', '\0', ':', '.', '-', '/', ' ', ';', 'T', '0', '5', '9', 'x'};
  const std::string alphabet = kDecimalDigits + kDecimalDigits + ":.-/ ;T\tx";
  size_t count = differential_count(300000);
  for (size_t i = 0; i < count; ++i) {
    TextLogReader reader{};
    reader.ValueSeparator = texts.pick(separators);
    reader.TimeSeparator = texts.pick(separators);
    reader.TimeSeparatorMs = texts.pick(separators);
    reader.DateSeparator = texts.pick(separators);
    reader.TimeAndDateSeparator = texts.pick(separators);
    std::string header = texts.from(alphabet, 0, sizeof reader.HeaderTimeText - 1);
    memcpy(reader.HeaderTimeText, header.data(), header.size());
    std::string field = texts.from(alphabet, 0, 40);
    // Half the readers carry the header's part ready-made, as opened ones do.
    if (i % 2 == 1) text_log_prepare_time_prefix(&reader);
    char fast[TEXT_LOG_TIME_TEXT_SIZE];
    char reference[TEXT_LOG_TIME_TEXT_SIZE];
    memset(fast, '?', sizeof fast);
    memset(reference, '!', sizeof reference);
    text_log_compose_time_text(&reader, field.c_str(), fast);
    text_log_compose_time_text_reference(&reader, field.c_str(), reference);
    ASSERT_EQ(std::string(fast, sizeof fast), std::string(reference, sizeof reference))
        << "header \"" << header << "\" field \"" << field << '"';
  }
}

static void expect_same_time(const std::string& text) {
  ASSERT_EQ(text.size(), TEXT_LOG_TIME_DIGITS);
  int64_t fast_seconds = -1;
  int64_t reference_seconds = -2;
  uint32_t fast_milliseconds = 1;
  uint32_t reference_milliseconds = 2;
  text_log_parse_time_text(text.c_str(), &fast_seconds, &fast_milliseconds);
  text_log_parse_time_text_reference(text.c_str(), &reference_seconds, &reference_milliseconds);
  ASSERT_EQ(fast_seconds, reference_seconds) << text;
  ASSERT_EQ(fast_milliseconds, reference_milliseconds) << text;
}

TEST(TextLogParseTimeText, FastCalendarMatchesTimegmOnEveryFieldEdge) {
  // Every month from 00 to 99 against the year and day edges, with the
  // largest hour, minute and second: month 0 and 13 and up carry into the
  // year, day 0 and day 99 into the month before and after.
  const char* const years[] = {"0000", "0001", "0399", "0400", "1899", "1900", "1969", "1970",
                               "1999", "2000", "2024", "2100", "9998", "9999"};
  const char* const days[] = {"00", "01", "28", "29", "30", "31", "32", "99"};
  const char* const clocks[] = {"000000000", "235959999", "240000000", "596099123",
                                "999999999", "000060000", "000099000"};
  for (const char* year : years) {
    for (int month = 0; month <= 99; ++month) {
      for (const char* day : days) {
        for (const char* clock : clocks) {
          char text[TEXT_LOG_TIME_TEXT_SIZE];
          snprintf(text, sizeof text, "%s%02d%s%s", year, month, day, clock);
          expect_same_time(text);
        }
      }
    }
  }
}

TEST(TextLogParseTimeText, FastCalendarMatchesTimegmOnRandomDigitsAndHostileTexts) {
  Texts texts(5);
  size_t count = differential_count(600000);
  for (size_t i = 0; i < count; ++i) {
    std::string text;
    switch (i % 4) {
      case 0:  // any 17 digits: every field from 0 to its width's maximum
      case 1:
        text = texts.from(kDecimalDigits, TEXT_LOG_TIME_DIGITS, TEXT_LOG_TIME_DIGITS);
        break;
      case 2: {  // dates a logger writes, from 1970 to 2099
        char buffer[TEXT_LOG_TIME_TEXT_SIZE];
        snprintf(buffer, sizeof buffer, "%04zu%02zu%02zu%02zu%02zu%02zu%03zu",
                 1970 + texts.below(130), 1 + texts.below(12), 1 + texts.below(31),
                 texts.below(24), texts.below(60), texts.below(60), texts.below(1000));
        text = buffer;
        break;
      }
      case 3: {  // digits with blanks, signs, neighbours of the digits and high bytes
        static const char kStrays[] = " +-x\t./:\x00\x7f\x80\xb0\xb9\xc0\xff";
        text = texts.from(kDecimalDigits, TEXT_LOG_TIME_DIGITS, TEXT_LOG_TIME_DIGITS);
        for (size_t k = 1 + texts.below(3); k > 0; --k) {
          text[texts.below(text.size())] = kStrays[texts.below(sizeof kStrays - 1)];
        }
        break;
      }
    }
    expect_same_time(text);
  }
}
