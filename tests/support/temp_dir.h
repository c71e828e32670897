// A temporary folder per test, removed with everything in it afterwards.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_TEMP_DIR_H_
#define TRACEWRIGHT_TESTS_SUPPORT_TEMP_DIR_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tracewright-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }
  std::string file(const std::string& rel) const { return path_ + "/" + rel; }
  /// Writes `contents` to rel, creating its folders.
  void write(const std::string& rel, const std::string& contents) const {
    std::filesystem::create_directories(std::filesystem::path(file(rel)).parent_path());
    std::ofstream(file(rel), std::ios::binary) << contents;
  }
  bool exists(const std::string& rel) const {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(file(rel), ignored));
  }

 private:
  std::string path_;
};

#endif  // TRACEWRIGHT_TESTS_SUPPORT_TEMP_DIR_H_
