// Replays the committed fuzz corpus (tests/fuzz/corpus/<target>/: every
// input that once broke a promise, plus a small seed set) through the same
// target bodies that the libFuzzer builds run, so a fixed fault stays fixed
// in every ordinary test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace {

struct CorpusInput {
  std::string name;
  std::string bytes;
};

std::vector<CorpusInput> corpus_of(const std::string& target) {
  std::vector<CorpusInput> inputs;
  std::filesystem::path folder =
      std::filesystem::path(TRACEWRIGHT_SOURCE_DIR) / "tests/fuzz/corpus" / target;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    inputs.push_back({entry.path().filename().string(), bytes.str()});
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const CorpusInput& a, const CorpusInput& b) { return a.name < b.name; });
  return inputs;
}

const uint8_t* data_of(const CorpusInput& input) {
  return reinterpret_cast<const uint8_t*>(input.bytes.data());
}

// The seed set alone has this many files; fewer means the corpus was lost.
constexpr size_t kMinimumCorpus = 20;

TEST(FuzzReplay, TextLogReaderKeepsItsPromisesOnEveryCorpusInput) {
  std::vector<CorpusInput> corpus = corpus_of("text_log_reader");
  ASSERT_GE(corpus.size(), kMinimumCorpus);
  for (const CorpusInput& input : corpus) {
    EXPECT_EQ(fuzz_text_log_reader_one(data_of(input), input.bytes.size()), 0) << input.name;
  }
}

TEST(FuzzReplay, ConvertFileKeepsItsPromisesOnEveryCorpusInput) {
  std::vector<CorpusInput> corpus = corpus_of("convert_file");
  ASSERT_GE(corpus.size(), kMinimumCorpus);
  for (const CorpusInput& input : corpus) {
    EXPECT_EQ(fuzz_convert_file_one(data_of(input), input.bytes.size()), 0) << input.name;
  }
}

TEST(FuzzReplay, AscLineBuildersAgreeOnEveryCorpusInput) {
  std::vector<CorpusInput> corpus = corpus_of("asc_lines");
  ASSERT_GE(corpus.size(), kMinimumCorpus);
  for (const CorpusInput& input : corpus) {
    EXPECT_EQ(fuzz_asc_lines_one(data_of(input), input.bytes.size()), 0) << input.name;
  }
}

}  // namespace
