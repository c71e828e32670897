#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tracewright-XXXXXX").string();
  path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string& rel, const std::string& contents) const {
  fs::create_directories(fs::path(file(rel)).parent_path());
  std::ofstream(file(rel), std::ios::binary) << contents;
}

std::string TempDir::read(const std::string& rel) const {
  std::ifstream in(file(rel), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return in ? bytes.str() : "<missing>";
}

bool TempDir::exists(const std::string& rel) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(file(rel), ignored));
}

void TempDir::make_dir(const std::string& rel) const {
  EXPECT_EQ(mkdir(file(rel).c_str(), 0700), 0) << "could not create " << rel;
}
