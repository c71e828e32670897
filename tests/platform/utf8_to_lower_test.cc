// utf8_to_lower and its generated range table: the telling rows of the
// table, the totals it must reach, its regeneration, and malformed input.
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
  if (cp < 0x80) return std::string(1, static_cast<char>(cp));
  const int tail = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;  // continuation bytes
  const uint32_t lead[] = {0, 0xC0, 0xE0, 0xF0};
  std::string out(1, static_cast<char>(lead[tail] | (cp >> (6 * tail))));
  for (int i = tail - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F));
  return out;
}

TEST(Utf8ToLower, TellingExamples) {
  const struct {
    std::string in;
    std::string out;
  } rows[] = {
      {"TXT", "txt"},
      {"tXt", "txt"},
      {"", ""},
      {"A-Z[@]09_z", "a-z[@]09_z"},
      {"\xC3\x80\xC3\x89", "\xC3\xA0\xC3\xA9"},  // ÀÉ → àé
      {"\xC8\xBA", "\xE2\xB1\xA5"},              // Ⱥ (2 bytes) → ⱥ (3 bytes)
      {"\xC4\xB0", "i"},                         // İ → ASCII i
      {"\xE2\x85\xAB", "\xE2\x85\xAB"},          // Ⅻ stays
      {"\xC7\x85", "\xC7\x85"},                  // ǅ stays
  };
  for (const auto& row : rows) EXPECT_EQ(utf8_to_lower(row.in), row.out) << row.in;

  // Every character grows by half: the most the reservation allows.
  std::string upper = "Q", lower = "q";
  for (int i = 0; i < 100; ++i) upper += "\xC8\xBA", lower += "\xE2\xB1\xA5";
  EXPECT_EQ(utf8_to_lower(upper), lower);
}

TEST(Utf8ToLower, TellingRowsOfTheTable) {
  const struct {
    uint32_t first, last;
    int32_t offset;  // 0: unchanged
    uint32_t step = 1;
  } runs[] = {
      {0x00C0, 0x00D6, 32},
      {0x00D8, 0x00DE, 32},
      {0x0100, 0x012E, 1, 2},  // alternating capitals and small letters
      {0x0101, 0x012F, 0, 2},
      {0x0130, 0x0130, 0x0069 - 0x0130},
      {0x0178, 0x0178, 0x00FF - 0x0178},
      {0x023A, 0x023A, 0x2C65 - 0x023A},
      {0x0391, 0x03A1, 32},
      {0x0400, 0x040F, 80},
      {0x0410, 0x042F, 32},
      {0x10A0, 0x10C5, 0x2D00 - 0x10A0},
      {0x13A0, 0x13EF, 0xAB70 - 0x13A0},
      {0x1E9E, 0x1E9E, 0x00DF - 0x1E9E},
      {0x212A, 0x212A, 'k' - 0x212A},
      {0xA7F5, 0xA7F5, 1},
      {0xFF21, 0xFF3A, 32},
  };
  for (const auto& row : runs) {
    for (uint32_t cp = row.first; cp <= row.last; cp += row.step) {
      uint32_t lower = static_cast<uint32_t>(static_cast<int32_t>(cp) + row.offset);
      EXPECT_EQ(utf8_to_lower(utf8(cp)), utf8(lower)) << "U+" << std::hex << cp;
    }
  }
  // Between and beside the runs; small, title case, numerals, circled
  // letters, letters added after Unicode 14, and capitals above U+FFFF.
  for (uint32_t cp : {0x00D7, 0x03A2, 0xA7F6, 0xFF3B, 0xFF41, 0x00E0, 0x00B5,
                      0x01C5, 0x1F88, 0x1FBC, 0x216B, 0x24B6, 0x1C89, 0x10400, 0x1E900}) {
    EXPECT_EQ(utf8_to_lower(utf8(cp)), utf8(cp)) << "U+" << std::hex << cp;
  }
}

TEST(LowerCaseTable, RowCountAndChangedCodePoints) {
  constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];
  EXPECT_EQ(kRowCount, 1u + 161u);
  int changed = 0;
  for (uint32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // not encodable
    std::string lower = utf8_to_lower(utf8(cp));
    if (lower != utf8(cp)) ++changed;
    // An extension must not turn into "txt" through a foreign letter.
    EXPECT_TRUE(lower != "t" && lower != "x") << "U+" << std::hex << cp;
  }
  EXPECT_EQ(changed, 1077);
}

TEST(LowerCaseTable, CommittedTableIsWhatTheScriptGenerates) {
  if (access("/usr/share/unicode/UnicodeData.txt", R_OK) != 0 ||
      access("/usr/share/unicode/DerivedAge.txt", R_OK) != 0) {
    GTEST_SKIP() << "Debian's unicode-data is not installed";
  }
  const std::string source_dir = TRACEWRIGHT_SOURCE_DIR;
  const std::string command = "python3 " + source_dir + "/scripts/gen_lower_case_table.py";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string generated;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) generated.append(chunk, n);
  ASSERT_EQ(pclose(pipe), 0) << command;
  std::ifstream committed(source_dir + "/platform/lower_case_table.inc", std::ios::binary);
  EXPECT_EQ(generated, std::string(std::istreambuf_iterator<char>(committed), {}));
}

TEST(Utf8ToLower, MalformedBytesPassThroughAndTheViewIsNeverOverrun) {
  const struct {
    std::string in;
    std::string out;
  } rows[] = {
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
  for (const auto& row : rows) EXPECT_EQ(utf8_to_lower(row.in), row.out);

  // The view ends inside a sequence whose continuation byte follows in memory.
  const std::string storage = "A\xC3\x80";
  EXPECT_EQ(utf8_to_lower(std::string_view(storage.data(), 2)), "a\xC3");
}
