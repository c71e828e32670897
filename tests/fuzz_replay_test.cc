// Replays the committed corpus (tests/fuzz/corpus/<target>/: inputs that once
// broke a promise, seeds, hand-picked edges): a fixed fault stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "fuzz/fuzz_targets.h"

TEST(FuzzReplay, EveryTargetKeepsItsPromisesOnEveryCorpusInput) {
  const std::pair<const char*, int (*)(const uint8_t*, size_t)> targets[] = {
      {"text_log_reader", fuzz_text_log_reader_one},
      {"convert_file", fuzz_convert_file_one},
      {"asc_lines", fuzz_asc_lines_one}};
  for (const auto& [name, one] : targets) {
    size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(TRACEWRIGHT_SOURCE_DIR) / "tests/fuzz/corpus" / name)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::string bytes(std::istreambuf_iterator<char>(in), {});
      ++inputs;
      EXPECT_EQ(one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0)
          << entry.path();
    }
    EXPECT_GE(inputs, 20u) << name << ": the seed set alone is larger; was the corpus lost?";
  }
}
