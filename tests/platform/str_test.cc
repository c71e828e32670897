// String building and utf8_to_lower: the rows whose bytes matter, malformed
// input, and a sweep of the whole lower-case table.
#include "platform/str.h"

#include <gtest/gtest.h>

#include <string>

TEST(StrAppend, PrintfStbspAndHexAppendWholeTextsBehindTheOldOne) {
  std::string s = "dir=";
  str_append_printf(&s, "%.*s/%s", 3, "abcdef", "x");
  EXPECT_EQ(s, "dir=abc/x");
  // Texts around the spare capacity: the first attempt fits or is repeated.
  for (size_t old_length = 0; old_length < 40; ++old_length) {
    for (int delta : {-1, 0, 1, 3000}) {
      std::string t(old_length, 'o');
      std::string text(static_cast<size_t>(
                           std::max<long>(0, static_cast<long>(t.capacity() - t.size()) + delta)),
                       't');
      str_append_stbsp(&t, "%s", text.c_str());
      EXPECT_EQ(t, std::string(old_length, 'o') + text) << old_length << " " << delta;
    }
  }
  const uint8_t bytes[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0x10};
  std::string hex = "d 3 ",
              none = "d 0 ";  // no bytes: the blank that ends the format is taken back
  str_append_hex(&hex, bytes, sizeof bytes);
  str_append_hex(&none, bytes, 0);
  EXPECT_EQ(hex + "|" + none, "d 3 01 23 45 67 89 AB CD EF FE 10|d 0");
}

TEST(Utf8ToLower, LowersLettersAndPassesEverythingElseThroughByteForByte) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"A-Z[@]09_z", "a-z[@]09_z"},
      {"\xC3\x80\xC3\x89", "\xC3\xA0\xC3\xA9"},                              // ÀÉ
      {"\xC8\xBA\xC8\xBA\xC8\xBA", "\xE2\xB1\xA5\xE2\xB1\xA5\xE2\xB1\xA5"},  // grows by half
      {"\xC4\xB0\xC5\xB8\xE1\xBA\x9E", "i\xC3\xBF\xC3\x9F"},                 // İŸẞ
      {"\xC4\x80\xC4\x81\xE2\x84\xAA", "\xC4\x81\xC4\x81k"},                 // Āā K (Kelvin)
      {"\xEF\xBC\xA1\xEA\x9F\xB5", "\xEF\xBD\x81\xEA\x9F\xB6"},              // Ａ, U+A7F5
      {"\xE1\x82\xA0\xE1\x8E\xA0", "\xE2\xB4\x80\xEA\xAD\xB0"},              // Georgian, Cherokee
      {"\xC7\x85\xE2\x85\xAB\xC3\x97", "\xC7\x85\xE2\x85\xAB\xC3\x97"},      // ǅ Ⅻ ×
      // Four bytes pass unchanged (U+10400, U+10440, U+20000, U+10FFFF); a bad byte passes alone.
      {"\xF0\x90\x90\x80\xF0\x90\x91\x80\xF0\xA0\x80\x80\xF4\x8F\xBF\xBF",
       "\xF0\x90\x90\x80\xF0\x90\x91\x80\xF0\xA0\x80\x80\xF4\x8F\xBF\xBF"},
      {"\x80"
       "A\xE2\x82"
       "T\xC0\xAF"
       "X",
       "\x80"
       "a\xE2\x82"
       "t\xC0\xAF"
       "x"},
      {"\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80\xFF",
       "\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80\xFF"},
      {"\xC3\xC3\x80\xF0\x90\x90", "\xC3\xC3\xA0\xF0\x90\x90"},
      {std::string("A\xC3\x80", 2), "a\xC3"},  // ends inside a sequence
  };
  for (const auto& row : rows) EXPECT_EQ(utf8_to_lower(row.in), row.out) << row.in;
  // Exactly 1077 code points of the plane change, none into "t" or "x".
  int changed = 0;
  for (uint32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // not encodable
    const int tail = cp < 0x800 ? 1 : 2;
    std::string in(1, static_cast<char>((tail == 1 ? 0xC0 : 0xE0) | (cp >> (6 * tail))));
    for (int i = tail - 1; i >= 0; --i) in += static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F));
    std::string lower = utf8_to_lower(in);
    changed += lower != in;
    EXPECT_TRUE(lower != "t" && lower != "x") << std::hex << cp;
  }
  EXPECT_EQ(changed, 1077);
}
