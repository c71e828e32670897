// The string appends: C library and stb_sprintf formatting, with growth past
// the spare capacity, and the hex dump with its n = 0 rule.
#include "platform/str.h"

#include <gtest/gtest.h>

#include <string>

TEST(StrAppendPrintf, AppendsPrecisionLimitedTextAfterTheOldText) {
  std::string s = "dir=";
  str_append_printf(&s, "%.*s/%s", 3, "abcdef", "x");
  EXPECT_EQ(s, "dir=abc/x");
}

TEST(StrAppendPrintf, GrowsForLongTextsAndAppendsNothingForEmptyOnes) {
  std::string s = "head";
  std::string long_text(1000, 'L');
  str_append_printf(&s, "%s|%d", long_text.c_str(), 42);
  EXPECT_EQ(s, "head" + long_text + "|42");
  str_append_printf(&s, "%s", "");
  EXPECT_EQ(s.size(), 4u + 1000u + 3u);
  str_append_printf(&s, " %4d", 2021);
  EXPECT_EQ(s.substr(s.size() - 5), " 2021");
  EXPECT_EQ(s.c_str()[s.size()], '\0');
}

TEST(StrAppendStbsp, TextsAroundTheSpareCapacityArriveWhole) {
  // Texts one or two bytes shorter than, as long as and longer than the
  // storage left behind the old text: the first format attempt either fits
  // or must be repeated after growing.
  for (size_t old_length = 0; old_length < 40; ++old_length) {
    for (int delta = -2; delta <= 2; ++delta) {
      std::string s(old_length, 'o');
      long length = static_cast<long>(s.capacity() - s.size()) + delta;
      if (length < 0) continue;
      std::string text(static_cast<size_t>(length), 't');
      str_append_stbsp(&s, "%s", text.c_str());
      EXPECT_EQ(s, std::string(old_length, 'o') + text)
          << "old " << old_length << ", text " << length;
      EXPECT_EQ(s.c_str()[s.size()], '\0');
    }
  }
}

TEST(StrAppendStbsp, FormatsNumbersTheStbWay) {
  std::string s = "x";
  str_append_stbsp(&s, "% 11.6f|", 3.14159265);
  str_append_stbsp(&s, "% 11.6f|", -0.5);
  str_append_stbsp(&s, "% 12.6f %d %x  %s d %d ", 1.25, 1, 0x3c, "Rx", 8);
  str_append_stbsp(&s, "%8X|", 0x1FFFFFFFu);
  EXPECT_EQ(s, "x   3.141593|  -0.500000|    1.250000 1 3c  Rx d 8 1FFFFFFF|");
}

TEST(StrAppendStbsp, LongTextPastCapacityAndEmptyText) {
  std::string s = "start ";
  s.shrink_to_fit();
  std::string long_text(3000, 'z');
  str_append_stbsp(&s, "%s %d", long_text.c_str(), -7);
  EXPECT_EQ(s, "start " + long_text + " -7");
  size_t before = s.size();
  str_append_stbsp(&s, "%s", "");
  EXPECT_EQ(s.size(), before);
  EXPECT_EQ(s.c_str()[s.size()], '\0');
}

TEST(StrAppendHex, UpperCasePairsSingleSpacedWithoutTrailingSpace) {
  struct Row {
    std::string prefix;
    std::basic_string<uint8_t> bytes;
    std::string expected;
  };
  const Row rows[] = {
      {"d 3 ", {0x00, 0x0F, 0xA0}, "d 3 00 0F A0"},
      {"", {0x01, 0xAB, 0xFF}, "01 AB FF"},
      {"x ", {0x7E}, "x 7E"},
      // No bytes: the blank that ends the line format is taken back.
      {"d 0 ", {}, "d 0"},
      {"", {}, ""},
  };
  for (const Row& row : rows) {
    std::string s = row.prefix;
    str_append_hex(&s, row.bytes.data(), row.bytes.size());
    EXPECT_EQ(s, row.expected) << "prefix: '" << row.prefix << "'";
  }
}

TEST(StrAppendHex, EveryByteValueGetsItsTwoDigits) {
  std::basic_string<uint8_t> bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<uint8_t>(b));
  std::string s;
  str_append_hex(&s, bytes.data(), bytes.size());
  ASSERT_EQ(s.size(), 256u * 3 - 1);
  EXPECT_EQ(s.substr(0, 11), "00 01 02 03");
  EXPECT_EQ(s.substr(3 * 0x9A, 2), "9A");
  EXPECT_EQ(s.substr(3 * 0xC5, 2), "C5");
  EXPECT_EQ(s.substr(s.size() - 5), "FE FF");
}
