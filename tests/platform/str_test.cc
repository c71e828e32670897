// str_append_stbsp around the spare capacity, and utf8_to_lower: rows whose bytes matter, malformed
// input and a sweep of the whole lower-case table. The traces of whole-tool runs show the rest.
#include "platform/str.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

TEST(StrAppend, StbspAppendsTheWholeTextWhetherTheFirstAttemptFitsOrIsRepeated) {
  for (size_t old_length = 0; old_length < 40; ++old_length) {
    for (long delta : {-1L, 0L, 1L, 3000L}) {
      std::string t(old_length, 'o');
      const long spare = static_cast<long>(t.capacity() - t.size());
      std::string text(static_cast<size_t>(std::max(0L, spare + delta)), 't');
      str_append_stbsp(&t, "%s", text.c_str());
      EXPECT_EQ(t, std::string(old_length, 'o') + text) << old_length << " " << delta;
    }
  }
}

TEST(Utf8ToLower, LowersLettersAndPassesEverythingElseThroughByteForByte) {
  const struct {
    std::string in, out;
  } rows[] = {
      // clang-format off
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
      {"\x80" "A\xE2\x82" "T\xC0\xAF" "X", "\x80" "a\xE2\x82" "t\xC0\xAF" "x"},
      {"\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80\xF0\x8F\xBF\xBF\xFF",
       "\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80\xF0\x8F\xBF\xBF\xFF"},  // overlong, surrogate, big
      {"\xC3\xC3\x80\xF0\x90\x90", "\xC3\xC3\xA0\xF0\x90\x90"},
      {std::string("A\xC3\x80", 2), "a\xC3"},  // ends inside a sequence
      // clang-format on
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
