#include "support/scoped_temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

ScopedTempDir::ScopedTempDir() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = (tmp != nullptr && tmp[0] != '\0') ? tmp : "/tmp";
  pattern += "/tracewright-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScopedTempDir::file(std::string_view rel) const {
  std::string full = path_;
  full += '/';
  full += rel;
  return full;
}

bool ScopedTempDir::write_file(std::string_view rel, std::string_view contents) const {
  std::ofstream out(file(rel), std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  return static_cast<bool>(out);
}

std::string ScopedTempDir::read_file(std::string_view rel) const {
  std::ifstream in(file(rel), std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
