// The string appends: C library and stb_sprintf formatting, with growth past
// the spare capacity, and the hex dump with its n = 0 rule.
#include "platform/str.h"

#include <gtest/gtest.h>

#include <string>

TEST(StrAppendPrintf, AppendsAfterTheOldText) {
  std::string s = "dir=";
  str_append_printf(&s, "%.*s/%s", 3, "abcdef", "x");
  str_append_printf(&s, "%s", "");
  EXPECT_EQ(s, "dir=abc/x");
  EXPECT_EQ(s.c_str()[s.size()], '\0');
}

TEST(StrAppendStbsp, TextsAroundTheSpareCapacityArriveWhole) {
  // Texts one or two bytes shorter than, as long as and longer than the
  // storage left behind the old text: the first format attempt either fits
  // or must be repeated after growing.
  for (size_t old_length = 0; old_length < 40; ++old_length) {
    for (int delta : {-2, -1, 0, 1, 2, 3000}) {
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

TEST(StrAppendHex, UpperCasePairsSingleSpacedWithoutTrailingSpace) {
  const struct {
    std::string prefix;
    std::basic_string<uint8_t> bytes;
    std::string expected;
  } rows[] = {
      {"d 3 ", {0x00, 0x0F, 0xA0}, "d 3 00 0F A0"},
      {"", {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, "01 23 45 67 89 AB CD EF"},
      {"", {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}, "FE DC BA 98 76 54 32 10"},
      // No bytes: the blank that ends the line format is taken back.
      {"d 0 ", {}, "d 0"},
      {"", {}, ""},
  };
  for (const auto& row : rows) {
    std::string s = row.prefix;
    str_append_hex(&s, row.bytes.data(), row.bytes.size());
    EXPECT_EQ(s, row.expected) << "prefix: '" << row.prefix << "'";
  }
}
