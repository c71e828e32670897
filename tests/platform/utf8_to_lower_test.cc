// utf8_to_lower and its generated range table: the ASCII path, the telling
// rows of the table, the totals it must reach, and malformed input.
#include "platform/str.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace {
struct LowerCaseRow {
  uint16_t first;
  uint16_t last;
  uint16_t mapped_last;
};
}  // namespace

static const LowerCaseRow kRows[] = {
#include "platform/lower_case_table.inc"
};

static std::string utf8(uint32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Expects the code points first..last to map to first+offset..last+offset.
static void expect_run(uint32_t first, uint32_t last, int32_t offset) {
  for (uint32_t cp = first; cp <= last; ++cp) {
    uint32_t lower = static_cast<uint32_t>(static_cast<int32_t>(cp) + offset);
    EXPECT_EQ(utf8_to_lower(utf8(cp)), utf8(lower)) << "U+" << std::hex << cp;
  }
}

static void expect_unchanged(uint32_t cp) {
  EXPECT_EQ(utf8_to_lower(utf8(cp)), utf8(cp)) << "U+" << std::hex << cp;
}

TEST(Utf8ToLower, AsciiAndShortExamples) {
  EXPECT_EQ(utf8_to_lower("TXT"), "txt");
  EXPECT_EQ(utf8_to_lower("Txt"), "txt");
  EXPECT_EQ(utf8_to_lower("tXt"), "txt");
  EXPECT_EQ(utf8_to_lower(""), "");
  EXPECT_EQ(utf8_to_lower("A-Z[@]09_z"), "a-z[@]09_z");
  EXPECT_EQ(utf8_to_lower("\xC3\x80\xC3\x89"), "\xC3\xA0\xC3\xA9");  // ÀÉ → àé
  EXPECT_EQ(utf8_to_lower("\xC8\xBA"), "\xE2\xB1\xA5");  // Ⱥ (2 bytes) → ⱥ (3 bytes)
  EXPECT_EQ(utf8_to_lower("\xC4\xB0"), "i");             // İ → ASCII i
  EXPECT_EQ(utf8_to_lower("\xE2\x85\xAB"), "\xE2\x85\xAB");  // Ⅻ stays
  EXPECT_EQ(utf8_to_lower("\xC7\x85"), "\xC7\x85");          // ǅ stays
}

TEST(Utf8ToLower, WorstCaseGrowthFitsTheReservation) {
  // Every character grows by half: the most the reservation allows.
  std::string upper, lower;
  for (int i = 0; i < 100; ++i) {
    upper += "\xC8\xBA";
    lower += "\xE2\xB1\xA5";
  }
  EXPECT_EQ(utf8_to_lower(upper), lower);
  EXPECT_EQ(utf8_to_lower("Q" + upper), "q" + lower);
}

TEST(Utf8ToLower, TellingRowsOfTheTable) {
  expect_run(0x00C0, 0x00D6, 32);
  expect_unchanged(0x00D7);  // multiplication sign between two runs
  expect_run(0x00D8, 0x00DE, 32);
  for (uint32_t cp = 0x0100; cp <= 0x012E; cp += 2) {
    expect_run(cp, cp, 1);
    expect_unchanged(cp + 1);
  }
  expect_run(0x0130, 0x0130, 0x0069 - 0x0130);
  expect_run(0x0178, 0x0178, 0x00FF - 0x0178);
  expect_run(0x023A, 0x023A, 0x2C65 - 0x023A);
  expect_run(0x0391, 0x03A1, 32);
  expect_unchanged(0x03A2);
  expect_run(0x0400, 0x040F, 80);
  expect_run(0x0410, 0x042F, 32);
  expect_run(0x10A0, 0x10C5, 0x2D00 - 0x10A0);
  expect_run(0x13A0, 0x13EF, 0xAB70 - 0x13A0);
  expect_run(0x1E9E, 0x1E9E, 0x00DF - 0x1E9E);
  expect_run(0x212A, 0x212A, 'k' - 0x212A);
  expect_run(0xA7F5, 0xA7F5, 1);
  expect_unchanged(0xA7F6);
  expect_run(0xFF21, 0xFF3A, 32);
  expect_unchanged(0xFF3B);
  expect_unchanged(0xFF41);
}

TEST(Utf8ToLower, OnlyUpperCaseLettersOfUnicode14Change) {
  expect_unchanged(0x01C5);  // title case
  expect_unchanged(0x1F88);
  expect_unchanged(0x1FBC);
  expect_unchanged(0x216B);  // Roman numeral
  expect_unchanged(0x24B6);  // circled letter
  expect_unchanged(0x1C89);  // added after 14.0
  expect_unchanged(0x00E0);  // already small
  expect_unchanged(0x00B5);
  expect_unchanged(0x10400);  // above U+FFFF, though upper case
  expect_unchanged(0x1E900);
}

TEST(Utf8ToLower, NoCharacterOutsideAsciiBecomesTOrX) {
  for (uint32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string lower = utf8_to_lower(utf8(cp));
    ASSERT_NE(lower, "t") << "U+" << std::hex << cp;
    ASSERT_NE(lower, "x") << "U+" << std::hex << cp;
  }
}

TEST(LowerCaseTable, RowCountAndChangedCodePoints) {
  constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];
  ASSERT_EQ(kRowCount, 1u + 161u);
  EXPECT_EQ(kRows[0].first, 0x41);
  EXPECT_EQ(kRows[0].last, 0x5A);
  EXPECT_EQ(kRows[0].mapped_last, 0x7A);
  EXPECT_EQ(kRows[kRowCount - 1].first, 0xFF21);
  EXPECT_EQ(kRows[kRowCount - 1].last, 0xFF3A);
  // The lookup takes the first row whose last is not below the code point,
  // so rows must be ascending and must not overlap.
  for (size_t i = 1; i < kRowCount; ++i) {
    EXPECT_GT(kRows[i].first, kRows[i - 1].last) << "row " << i;
    EXPECT_LE(kRows[i].first, kRows[i].last) << "row " << i;
  }
  int changed = 0;
  for (uint32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // not encodable
    if (utf8_to_lower(utf8(cp)) != utf8(cp)) ++changed;
  }
  EXPECT_EQ(changed, 1077);
}

TEST(LowerCaseTable, CommittedTableIsWhatTheScriptGenerates) {
  if (access("/usr/share/unicode/UnicodeData.txt", R_OK) != 0 ||
      access("/usr/share/unicode/DerivedAge.txt", R_OK) != 0) {
    GTEST_SKIP() << "Debian's unicode-data is not installed";
  }
  std::string source_dir = TRACEWRIGHT_SOURCE_DIR;
  std::string command = "python3 " + source_dir + "/scripts/gen_lower_case_table.py";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string generated;
  char chunk[4096];
  size_t n = 0;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) generated.append(chunk, n);
  ASSERT_EQ(pclose(pipe), 0) << command;
  std::ifstream committed_file(source_dir + "/platform/lower_case_table.inc", std::ios::binary);
  std::string committed((std::istreambuf_iterator<char>(committed_file)),
                        std::istreambuf_iterator<char>());
  EXPECT_EQ(generated, committed);
}

TEST(Utf8ToLower, MalformedBytesPassThroughUnchanged) {
  struct Row {
    std::string input;
    std::string expected;
  };
  const Row rows[] = {
      {"\x80" "A", "\x80" "a"},                  // stray continuation byte
      {"A\xC3", "a\xC3"},                        // cut short by the end
      {"\xE2\x82" "T", "\xE2\x82" "t"},          // cut short by an ASCII byte
      {"\xC0\xAF" "X", "\xC0\xAF" "x"},          // overlong "/"
      {"\xE0\x80\xAF", "\xE0\x80\xAF"},          // overlong, three bytes
      {"\xED\xA0\x80", "\xED\xA0\x80"},          // surrogate
      {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},  // above U+10FFFF
      {"\xFF\xFE", "\xFF\xFE"},
      {"\xC3\xC3\x80", "\xC3\xC3\xA0"},          // a bad lead, then À
  };
  for (const Row& row : rows) {
    EXPECT_EQ(utf8_to_lower(row.input), row.expected);
  }
}

TEST(Utf8ToLower, NeverReadsPastTheText) {
  // The view ends inside a two-byte sequence whose continuation byte
  // follows in memory: it must not be used.
  const std::string storage = "A\xC3\x80";
  EXPECT_EQ(utf8_to_lower(std::string_view(storage.data(), 2)), "a\xC3");
  EXPECT_EQ(utf8_to_lower(std::string_view(storage.data(), 3)), "a\xC3\xA0");
}
